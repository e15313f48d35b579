#include "support/pictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace korutil::test {
namespace {

bool alwaysSave() {
    const char* dir = std::getenv("KORUTIL_TEST_PICTURES");
    return dir && *dir;
}

std::string pathFor(const std::string& label) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    std::error_code ignored;
    std::filesystem::create_directories(pictureDir(), ignored);
    return pictureDir() + "/" + name + "." + label + ".png";
}

} // namespace

std::string pictureDir() {
    if (alwaysSave()) {
        return std::getenv("KORUTIL_TEST_PICTURES");
    }
    return KORUTIL_TEST_PICTURE_DIR;
}

std::string savePicture(HBITMAP bitmap, const std::string& label) {
    const std::string path = pathFor(label);
    return PlatSaveBitmapPng(bitmap, path.c_str()) ? path : std::string();
}

std::string saveScreen(const std::string& label) {
    const std::string path = pathFor(label);
    return PlatSaveScreenPng(path.c_str()) ? path : std::string();
}

std::string pictureOnFailure(HBITMAP bitmap, const std::string& label) {
    if (!alwaysSave() && !::testing::Test::HasFailure()) {
        return std::string();
    }
    return " (picture: " + savePicture(bitmap, label) + ")";
}

std::string screenOnFailure(const std::string& label) {
    if (!alwaysSave() && !::testing::Test::HasFailure()) {
        return std::string();
    }
    return " (screen: " + saveScreen(label) + ")";
}

} // namespace korutil::test
