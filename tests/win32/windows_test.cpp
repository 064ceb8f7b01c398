// Windows and messages as Windows has them: class registration, messages sent inside
// CreateWindowEx and DestroyWindow, the paint cycle with its damaged rectangle.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/host_services.h"
#include "win32/test_probes.h"

namespace {

struct Seen {
    HWND window;
    UINT message;
};

std::vector<Seen> seen;
LRESULT create_answer = 0;
RECT create_client = {};
HWND created_parent = nullptr;
std::u16string created_title;
RECT painted = {};
COLORREF paint_color = RGB(10, 20, 30);

bool Logged(UINT message) {
    return message == WM_CREATE || message == WM_DESTROY || message == WM_NCDESTROY ||
           message == WM_PAINT || message == WM_ERASEBKGND;
}

LRESULT CALLBACK TestProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (Logged(message)) seen.push_back({window, message});
    switch (message) {
        case WM_CREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            created_parent = create->hwndParent;
            created_title = create->lpszName != nullptr ? create->lpszName : u"";
            // The window is usable inside WM_CREATE.
            GetClientRect(window, &create_client);
            return create_answer;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            painted = ps.rcPaint;
            HBRUSH brush = CreateSolidBrush(paint_color);
            RECT everything = {-1000, -1000, 1000, 1000};
            FillRect(dc, &everything, brush);  // the paint clip keeps this to rcPaint
            DeleteObject(brush);
            EndPaint(window, &ps);
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        seen.clear();
        create_answer = 0;
        windows_ = Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW);
        dcs_ = Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW_DC);
        brushes_ = Win32LayerLiveHandleCount(WIN32LAYER_KIND_BRUSH);
        WNDCLASSW wc = {};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = TestProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = u"LayerTestWnd";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override {
        EXPECT_TRUE(UnregisterClassW(u"LayerTestWnd", nullptr));
        EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW), windows_);
        EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW_DC), dcs_);
        EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_BRUSH), brushes_);
    }
    HWND CreateTop(int width = 40, int height = 30) {
        return CreateWindowExW(0, u"LayerTestWnd", u"top", WS_VISIBLE, 0, 0, width, height, nullptr,
                               nullptr, nullptr, nullptr);
    }
    int windows_ = 0;
    int dcs_ = 0;
    int brushes_ = 0;
};

TEST_F(WindowsTest, SecondRegistrationOfAClassNameFails) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = u"layertestwnd";  // names compare without case
    SetLastError(0);
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    wc.hInstance = reinterpret_cast<HINSTANCE>(0x1000);  // another module: still one process
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(WindowsTest, ClassWithLiveWindowsCannotBeUnregistered) {
    HWND window = CreateTop();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassW(u"LayerTestWnd", nullptr));
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", nullptr, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(WindowsTest, WmCreateArrivesInsideCreateWindowEx) {
    HWND parent = CreateTop(240, 320);
    ASSERT_NE(parent, nullptr);
    seen.clear();
    HWND child = CreateWindowExW(0, u"LayerTestWnd", u"Picture", WS_CHILD | WS_VISIBLE, 0, 5, 240,
                                 24, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(seen[0].window, child);
    EXPECT_EQ(created_parent, parent);
    EXPECT_EQ(created_title, u"Picture");
    EXPECT_EQ(create_client.right, 240);
    EXPECT_EQ(create_client.bottom, 24);
    EXPECT_EQ(GetParent(child), parent);

    WCHAR title[16];
    EXPECT_EQ(GetWindowTextW(child, title, 16), 7);
    EXPECT_EQ(std::u16string(title), u"Picture");
    EXPECT_EQ(GetWindowTextW(child, title, 4), 3);  // truncated, still terminated
    EXPECT_EQ(std::u16string(title), u"Pic");
    EXPECT_TRUE(SetWindowTextW(child, u"写真"));
    EXPECT_EQ(GetWindowTextLengthW(child), 2);

    RECT r;
    ASSERT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.bottom, 29);
    EXPECT_TRUE(DestroyWindow(parent));
    EXPECT_FALSE(IsWindow(child));  // children go with their parent
}

TEST_F(WindowsTest, CreationFailsWhenWmCreateAnswersMinusOne) {
    create_answer = -1;
    int windows = Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW);
    EXPECT_EQ(CreateTop(), nullptr);
    EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW), windows);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(seen.back().message, static_cast<UINT>(WM_NCDESTROY));
}

TEST_F(WindowsTest, ChildWindowNeedsAParent) {
    EXPECT_EQ(CreateWindowExW(0, u"LayerTestWnd", nullptr, WS_CHILD, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
    HWND gone = CreateTop();
    DestroyWindow(gone);
    EXPECT_EQ(CreateWindowExW(0, u"LayerTestWnd", nullptr, WS_CHILD, 0, 0, 10, 10, gone, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_TRUE(seen.empty() || seen.back().message == WM_NCDESTROY);
}

TEST_F(WindowsTest, DestroySendsWmDestroyTopDownAndFreesChildrenFirst) {
    HWND parent = CreateTop();
    HWND child = CreateWindowExW(0, u"LayerTestWnd", nullptr, WS_CHILD, 0, 0, 10, 10, parent,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    seen.clear();
    EXPECT_TRUE(DestroyWindow(parent));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].window, parent);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(seen[1].window, child);
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(seen[2].window, child);
    EXPECT_EQ(seen[2].message, static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(seen[3].window, parent);
    EXPECT_EQ(seen[3].message, static_cast<UINT>(WM_NCDESTROY));
    EXPECT_FALSE(DestroyWindow(parent));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessageW(parent, WM_NULL, 0, 0), 0);
}

TEST_F(WindowsTest, PaintCycleErasesAndPaintsTheDamagedRectangle) {
    HWND window = CreateTop(8, 6);
    ASSERT_NE(window, nullptr);
    // A visible new window needs painting in full; the class brush erases it white.
    seen.clear();
    paint_color = RGB(10, 20, 30);
    ASSERT_TRUE(UpdateWindow(window));
    EXPECT_EQ(painted.right, 8);
    EXPECT_EQ(painted.bottom, 6);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_ERASEBKGND));

    // Nothing damaged: no paint.
    seen.clear();
    UpdateWindow(window);
    EXPECT_TRUE(seen.empty());

    // Two damaged rectangles accumulate into their union, cut to the client area.
    RECT a = {1, 1, 3, 2};
    RECT b = {2, 3, 50, 4};
    InvalidateRect(window, &a, FALSE);
    InvalidateRect(window, &b, FALSE);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    EXPECT_EQ(update.left, 1);
    EXPECT_EQ(update.top, 1);
    EXPECT_EQ(update.right, 8);
    EXPECT_EQ(update.bottom, 4);
    paint_color = RGB(200, 100, 50);
    UpdateWindow(window);
    EXPECT_EQ(painted.left, 1);
    EXPECT_EQ(painted.top, 1);
    EXPECT_EQ(painted.right, 8);
    EXPECT_EQ(painted.bottom, 4);

    int width = 0, height = 0;
    std::vector<uint32_t> pixels(8 * 6 + 1, 0xBDBDBDBD);
    ASSERT_TRUE(Win32LayerReadWindow(window, &width, &height, pixels.data()));
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 6);
    EXPECT_EQ(pixels[48], 0xBDBDBDBDu);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool second = x >= 1 && y >= 1 && y < 4;
            EXPECT_EQ(pixels[y * 8 + x], second ? 0xC86432u : 0x0A141Eu) << x << "," << y;
        }
    }
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(WindowsTest, UpdateWindowPaintsTheChildrenToo) {
    HWND parent = CreateTop(10, 10);
    HWND child = CreateWindowExW(0, u"LayerTestWnd", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 4, 4,
                                 parent, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    seen.clear();
    UpdateWindow(parent);
    int parent_paints = 0, child_paints = 0;
    for (const Seen& s : seen) {
        if (s.message != WM_PAINT) continue;
        (s.window == parent ? parent_paints : child_paints) += 1;
    }
    EXPECT_EQ(parent_paints, 1);
    EXPECT_EQ(child_paints, 1);
    DestroyWindow(parent);
}

TEST_F(WindowsTest, MetricsCursorsAndGeometry) {
    Win32LayerSetScreenSize(480, 640);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 640);
    Win32LayerSetScreenSize(240, 320);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);

    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_NE(wait, nullptr);
    ASSERT_NE(arrow, nullptr);
    EXPECT_NE(wait, arrow);
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(SetCursor(arrow), wait);

    HWND window = CreateTop(10, 10);
    ASSERT_TRUE(MoveWindow(window, 3, 4, 20, 5, TRUE));
    RECT r;
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 20);
    EXPECT_EQ(r.bottom, 5);
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, 3);
    EXPECT_EQ(r.top, 4);
    int width = 0;
    ASSERT_TRUE(Win32LayerReadWindow(window, &width, nullptr, nullptr));
    EXPECT_EQ(width, 20);
    EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, 77), 0);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 77);
    EXPECT_EQ(GetWindowLongPtrW(window, 0), 0);  // no extra bytes in this class
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    DestroyWindow(window);
}

}  // namespace
