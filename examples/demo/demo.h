// The demo host's sections: each subsystem's file registers one, and main runs them in order.
#pragma once

#include <cstdio>
#include <string>

namespace demo {

using Section = int (*)(); // returns 0 when the section went as expected

struct Registration {
    Registration(int order, const char* title, Section run);
};

// printf-style line of the account, indented under the current section.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the demo saves a picture of that name: $KORUTIL_DEMO_PICTURES, or korutil-demo in
// the temporary directory; made when first asked for.
std::string picturePath(const char* name);

} // namespace demo
