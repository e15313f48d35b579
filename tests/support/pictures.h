// Pictures of what a drawing test got. A test that fails on pixels saves the bitmap (or the
// screen) as a PNG and names the file in its failure message; with KORUTIL_TEST_PICTURES set
// to a directory, every call saves there, so that a person can look at the drawings.
#pragma once

#include <korutil/platform.h>

#include <string>

namespace korutil::test {

// Where pictures go: $KORUTIL_TEST_PICTURES, or the build's test-pictures directory.
std::string pictureDir();

// Saves the picture as <dir>/<test suite>.<test name>.<label>.png and returns the path
// (empty if it could not be written); on Windows a .bmp instead.
std::string savePicture(HBITMAP bitmap, const std::string& label);
std::string saveScreen(const std::string& label);

// Saves the picture only when the current test has failed, or always when
// KORUTIL_TEST_PICTURES is set; returns the failure note to add to a message.
std::string pictureOnFailure(HBITMAP bitmap, const std::string& label);
std::string screenOnFailure(const std::string& label);

} // namespace korutil::test
