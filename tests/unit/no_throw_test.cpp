// The layer's calls when the C++ heap runs out: for each call, memory fails from the n-th
// allocation of the calling thread on, for n = 0, 1, 2, ... until the call succeeds. Every
// failing run must give the call's failure value with ERROR_NOT_ENOUGH_MEMORY, and the layer
// must work afterwards, from this thread and from another. What a window procedure throws
// must reach the host unchanged.
#include "support/private_registry.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Allocations this thread may still make; -1 for no limit.
thread_local long t_allocationsLeft = -1;

bool allocationFails() {
    if (t_allocationsLeft < 0) {
        return false;
    }
    if (t_allocationsLeft == 0) {
        return true;
    }
    --t_allocationsLeft;
    return false;
}

void* allocate(std::size_t size, std::size_t alignment) noexcept {
    if (allocationFails()) {
        return nullptr;
    }
    if (alignment <= alignof(std::max_align_t)) {
        return std::malloc(size ? size : 1);
    }
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void* allocateOrThrow(std::size_t size, std::size_t alignment) {
    if (void* p = allocate(size, alignment)) {
        return p;
    }
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) {
    return allocateOrThrow(size, 0);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a) {
    return allocateOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return allocateOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace {

enum Outcome { Succeeded, FailedRight, FailedWrong };

// A call's result: anything but its failure value is success; the failure value must come
// with ERROR_NOT_ENOUGH_MEMORY.
template <class T> Outcome expect(T got, T failure) {
    if (got != failure) {
        return Succeeded;
    }
    return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? FailedRight : FailedWrong;
}

// The registry answers with its status instead.
Outcome status(LSTATUS got) {
    return got == ERROR_SUCCESS             ? Succeeded
           : got == ERROR_NOT_ENOUGH_MEMORY ? FailedRight
                                            : FailedWrong;
}

// Runs the call with memory failing from the n-th allocation on (n < 0: not at all).
Outcome armed(long n, const std::function<Outcome()>& call) {
    struct Disarm {
        ~Disarm() { t_allocationsLeft = -1; }
    } disarm;
    SetLastError(0xDEADu);
    t_allocationsLeft = n;
    return call();
}

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_USER + 1:
        throw std::runtime_error("host");
    case WM_USER + 2:
        return SendMessageA(hwnd, WM_USER + 1, 0, 0); // thrown two layer calls deep
    case WM_USER + 3:
        throw std::bad_alloc(); // the host's own, not the layer's failure
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

DWORD WINAPI quickThread(LPVOID) {
    return 0;
}

class NoThrow : public korutil::test::PrivateRegistry {
protected:
    void SetUp() override {
        PrivateRegistry::SetUp();
        WNDCLASSA wc{};
        wc.lpfnWndProc = hostProc;
        wc.lpszClassName = "NoThrowHost";
        ASSERT_NE(0, RegisterClassA(&wc));
        m_window = CreateWindowExA(0, "NoThrowHost", "w", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr);
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateCompatibleBitmap(m_dc, 64, 16);
        SelectObject(m_dc, m_bitmap);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\NoThrow", 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr));
        std::ofstream(m_profile) << "[Main]\nName = value\n";
        std::ofstream(m_dir.file("found.txt")) << "x";
    }
    void TearDown() override {
        RegCloseKey(m_key);
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
        DestroyWindow(m_window);
        UnregisterClassA("NoThrowHost", nullptr);
        PrivateRegistry::TearDown();
    }
    HWND m_window = nullptr;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HKEY m_key = nullptr;
    const std::string m_profile = m_dir.file("settings.ini");
};

// Whether calls that take each of the layer's locks still get through (none was left held) and
// no half-made child window stayed behind.
bool layerWorks(HWND window) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HKEY key = nullptr;
    const bool ok = event && dc && IsWindow(window) && !GetWindow(window, GW_CHILD) &&
                    RegOpenKeyA(HKEY_CURRENT_USER, "Software\\NoThrow", &key) == ERROR_SUCCESS;
    CloseHandle(event);
    DeleteDC(dc);
    RegCloseKey(key);
    return ok;
}

TEST_F(NoThrow, EveryCallFailsCleanlyWhateverAllocationFails) {
    const std::string file = m_dir.file("made.bin");
    const std::string pattern = m_dir.file("*.txt");
    const char* ini = m_profile.c_str();
    // What a successful call made, undone after it.
    HANDLE h = nullptr;
    HGDIOBJ object = nullptr;
    HDC dc = nullptr;
    HKEY key = nullptr;
    HWND child = nullptr;
    char text[MAX_PATH];
    WIN32_FIND_DATAA found;
    RECT rect{0, 0, 64, 16};
    const DWORD seven = 7;
    WNDCLASSA other{};
    other.lpfnWndProc = DefWindowProcA;
    other.lpszClassName = "NoThrowOther";
    const struct {
        const char* name;
        std::function<Outcome()> call;
        std::function<void()> undo;
    } cases[] = {
        {"CreateEventA",
         [&] { return expect(h = CreateEventA(nullptr, 0, 0, "NoThrow"), HANDLE()); },
         [&] { CloseHandle(h); }},
        {"CreateThread",
         [&] {
             return expect(h = CreateThread(nullptr, 0, quickThread, nullptr, 0, nullptr),
                           HANDLE());
         },
         [&] { WaitForSingleObject(h, INFINITE), CloseHandle(h); }},
        {"CreateFileA",
         [&] {
             h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
             return expect(h, INVALID_HANDLE_VALUE);
         },
         [&] { CloseHandle(h); }},
        {"FindFirstFileA",
         [&] { return expect(h = FindFirstFileA(pattern.c_str(), &found), INVALID_HANDLE_VALUE); },
         [&] { FindClose(h); }},
        {"GlobalAlloc", [&] { return expect(h = GlobalAlloc(GMEM_MOVEABLE, 100), HANDLE()); },
         [&] { GlobalFree(h); }},
        {"GetModuleFileNameA",
         [&] { return expect(GetModuleFileNameA(nullptr, text, MAX_PATH), 0u); }, [] {}},
        {"RegCreateKeyExA",
         [&] {
             return status(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\NoThrow\\Made", 0, nullptr,
                                           0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
         },
         [&] { RegCloseKey(key); }},
        {"RegSetValueExA",
         [&] { return status(RegSetValueExA(m_key, "N", 0, REG_DWORD, (const BYTE*)&seven, 4)); },
         [] {}},
        {"WritePrivateProfileStringA",
         [&] { return expect(WritePrivateProfileStringA("Main", "Other", "1", ini), FALSE); },
         [] {}},
        {"GetPrivateProfileStringA",
         [&] { return expect(GetPrivateProfileStringA("Main", "Name", "", text, 9, ini), 0u); },
         [] {}},
        {"CreateCompatibleDC", [&] { return expect(dc = CreateCompatibleDC(nullptr), HDC()); },
         [&] { DeleteDC(dc); }},
        {"CreateFontA",
         [&] {
             object = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
             return expect(object, HGDIOBJ());
         },
         [&] { DeleteObject(object); }},
        {"TextOutA", [&] { return expect(TextOutA(m_dc, 0, 0, "Hello", 5), FALSE); }, [] {}},
        {"DrawTextA", [&] { return expect(DrawTextA(m_dc, "a b c", -1, &rect, DT_WORDBREAK), 0); },
         [] {}},
        {"RegisterClassA", [&] { return expect(RegisterClassA(&other), ATOM()); },
         [] { UnregisterClassA("NoThrowOther", nullptr); }},
        {"CreateWindowExA",
         [&] {
             child = CreateWindowExA(0, "NoThrowHost", "child", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20,
                                     m_window, nullptr, nullptr, nullptr);
             return expect(child, HWND());
         },
         [&] { DestroyWindow(child); }},
        {"PostMessageA", [&] { return expect(PostMessageA(m_window, WM_USER, 0, 0), FALSE); },
         [] {
             MSG msg;
             while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
             }
         }},
        {"SetTimer", [&] { return expect(SetTimer(m_window, 7, 1000, nullptr), UINT_PTR()); },
         [&] { KillTimer(m_window, 7); }},
        {"SetWindowTextA",
         [&] { return expect(SetWindowTextA(m_window, "a longer title than the first"), FALSE); },
         [] {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        long n = 0;
        Outcome o;
        while ((o = armed(n, c.call)) == FailedRight && n < 5000) {
            ++n;
        }
        ASSERT_EQ(Succeeded, o) << "with " << n << " allocations";
        c.undo();
        ASSERT_EQ(Succeeded, armed(-1, c.call));
        c.undo();
        EXPECT_TRUE(layerWorks(m_window));
        bool works = false;
        std::thread([&] { works = layerWorks(m_window); }).join();
        EXPECT_TRUE(works);
    }
}

TEST_F(NoThrow, WhatTheHostThrowsReachesTheHostUnchanged) {
    const std::function<void()> deliveries[] = {
        [&] { SendMessageA(m_window, WM_USER + 1, 0, 0); },
        [&] { SendMessageA(m_window, WM_USER + 2, 0, 0); },
        [&] {
            PostMessageA(m_window, WM_USER + 1, 0, 0);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&msg);
            }
        },
    };
    for (const auto& deliver : deliveries) {
        EXPECT_THROW(deliver(), std::runtime_error);
        EXPECT_TRUE(layerWorks(m_window));
    }
    EXPECT_THROW(SendMessageA(m_window, WM_USER + 3, 0, 0), std::bad_alloc);
    EXPECT_EQ(0, SendMessageA(m_window, WM_USER, 0, 0));
}

} // namespace
