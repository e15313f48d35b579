#include "support/pictures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

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
#if defined(_WIN32)
    return pictureDir() + "/" + name + "." + label + ".bmp";
#else
    return pictureDir() + "/" + name + "." + label + ".png";
#endif
}

#if defined(_WIN32)
// Windows has no PNG writer of ours: the bitmap's pixels as a 32-bit BMP file, which any
// viewer opens.
bool saveBmp(HBITMAP bitmap, const std::string& path) {
    BITMAP info{};
    if (!GetObjectA(bitmap, sizeof info, &info)) {
        return false;
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != info.bmHeight) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>(pixels.size() * 4);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + bytes;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(pixels.data()), bytes);
    return static_cast<bool>(out);
}

bool saveScreenBmp(const std::string& path) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const bool saved = saveBmp(bitmap, path);
    DeleteObject(bitmap);
    return saved;
}
#endif

} // namespace

std::string pictureDir() {
    if (alwaysSave()) {
        return std::getenv("KORUTIL_TEST_PICTURES");
    }
    return KORUTIL_TEST_PICTURE_DIR;
}

std::string savePicture(HBITMAP bitmap, const std::string& label) {
    const std::string path = pathFor(label);
#if defined(_WIN32)
    return saveBmp(bitmap, path) ? path : std::string();
#else
    return PlatSaveBitmapPng(bitmap, path.c_str()) ? path : std::string();
#endif
}

std::string saveScreen(const std::string& label) {
    const std::string path = pathFor(label);
#if defined(_WIN32)
    return saveScreenBmp(path) ? path : std::string();
#else
    return PlatSaveScreenPng(path.c_str()) ? path : std::string();
#endif
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
