// The drawing tests expect the standard Windows colour scheme, the Linux layer's default. A
// Windows system may run another one (Wine's default is lighter), so the test program sets
// the colours the helpers draw with before any test runs.
#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <iterator>

namespace {

const int kElements[] = {COLOR_BTNFACE,    COLOR_BTNSHADOW, COLOR_BTNTEXT, COLOR_BTNHIGHLIGHT,
                         COLOR_3DDKSHADOW, COLOR_3DLIGHT,   COLOR_WINDOW,  COLOR_WINDOWTEXT};
const COLORREF kStandard[] = {RGB(192, 192, 192), RGB(128, 128, 128), RGB(0, 0, 0),
                              RGB(255, 255, 255), RGB(0, 0, 0),       RGB(192, 192, 192),
                              RGB(255, 255, 255), RGB(0, 0, 0)};

class StandardScheme : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SetSysColors(static_cast<int>(std::size(kElements)), kElements, kStandard));
    }
};

const auto* const g_scheme = ::testing::AddGlobalTestEnvironment(new StandardScheme);

TEST(StandardScheme, IsInForce) {
    for (std::size_t i = 0; i < std::size(kElements); ++i) {
        EXPECT_EQ(kStandard[i], GetSysColor(kElements[i])) << kElements[i];
    }
}

} // namespace
