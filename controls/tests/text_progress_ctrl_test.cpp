// The text progress bar as a real control in a test window: what it draws, and when it repaints.
#include "controls/text_progress_ctrl.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr COLORREF kBar = RGB(0, 128, 0);
constexpr COLORREF kEmpty = RGB(255, 255, 250);
constexpr COLORREF kBarText = RGB(255, 0, 0);
constexpr COLORREF kEmptyText = RGB(0, 0, 255);

// Counts the paints that reach the control.
class CountingProgress : public CTextProgressCtrl {
public:
    int paints = 0;

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }

private:
    void OnPaint() {
        ++paints;
        CTextProgressCtrl::OnPaint();
    }
};
const MessageEntry CountingProgress::messageEntries[] = {
    OnMessage<WM_PAINT, &CountingProgress::OnPaint>(),
};
const MessageMap CountingProgress::messageMap{&CTextProgressCtrl::messageMap, messageEntries};

// What the control draws, read back through WM_PRINTCLIENT into a 32-bit DIB.
class Pixels {
public:
    explicit Pixels(HWND hwnd) {
        RECT client{};
        ::GetClientRect(hwnd, &client);
        width_ = client.right;
        height_ = client.bottom;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB};
        HDC screen = ::GetDC(nullptr);
        HDC dc = ::CreateCompatibleDC(screen);
        ::ReleaseDC(nullptr, screen);
        void* bits = nullptr;
        HBITMAP dib = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = ::SelectObject(dc, dib);
        ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        ::GdiFlush();
        data_.resize(static_cast<size_t>(width_) * height_);
        std::memcpy(data_.data(), bits, data_.size() * sizeof(uint32_t));
        ::SelectObject(dc, old);
        ::DeleteObject(dib);
        ::DeleteDC(dc);
    }

    COLORREF At(int x, int y) const {
        const uint32_t p = data_[static_cast<size_t>(y) * width_ + x];  // 0x00RRGGBB
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // Whether any pixel in columns [x0, x1) has the colour.
    bool Any(int x0, int x1, COLORREF colour) const {
        for (int y = 0; y < height_; ++y)
            for (int x = x0; x < x1; ++x)
                if (At(x, y) == colour) return true;
        return false;
    }
    // Whether every pixel in columns [x0, x1) has one of the colours.
    bool OnlyOf(int x0, int x1, std::initializer_list<COLORREF> colours) const {
        for (int y = 0; y < height_; ++y)
            for (int x = x0; x < x1; ++x)
                if (std::find(colours.begin(), colours.end(), At(x, y)) == colours.end()) return false;
        return true;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> data_;
};

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

class TextProgressTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 200, kHeight = 24;

    // One shown top-level window for the suite: showing one takes Wine a while.
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        parent_ = ::CreateWindowExW(0, L"STATIC", L"progress test", WS_POPUP | WS_VISIBLE, 10, 10, 300, 60,
                                    nullptr, nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() { ::DestroyWindow(parent_); }

    void SetUp() override {
        ASSERT_TRUE(parent_);
        HWND hwnd = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, kWidth, kHeight,
                                      parent_, nullptr, nullptr, nullptr);
        ASSERT_TRUE(bar_.SubclassWindow(hwnd));
        bar_.SetBarColor(kBar);
        bar_.SetEmptyColor(kEmpty);
        bar_.SetBarTextColor(kBarText);
        bar_.SetEmptyTextColor(kEmptyText);
        Settle();
    }
    void TearDown() override { ::DestroyWindow(bar_.m_hWnd); }

    // Paints whatever is pending, then starts counting afresh.
    void Settle() {
        Pump();
        ::UpdateWindow(bar_.m_hWnd);
        bar_.paints = 0;
    }
    bool Invalidated() const {
        RECT r;
        return ::GetUpdateRect(bar_.m_hWnd, &r, FALSE);
    }
    void Validate() { ::ValidateRect(bar_.m_hWnd, nullptr); }

    static inline HWND parent_ = nullptr;
    CountingProgress bar_;
};

TEST_F(TextProgressTest, DrawsFillAndTextInTwoColoursEachSideOfTheEdge) {
    // At 0 with no text: all empty, "0%" in the empty text colour.
    bar_.SetPos(0);
    {
        const Pixels p(bar_.m_hWnd);
        EXPECT_EQ(p.At(0, 0), kEmpty);
        EXPECT_TRUE(p.Any(0, kWidth, kEmptyText));
        EXPECT_FALSE(p.Any(0, kWidth, kBar));
        EXPECT_FALSE(p.Any(0, kWidth, kBarText));
    }
    // Half way: the edge at x = 100; a text across it shows in the bar text colour on the left
    // only and in the empty text colour on the right only, also right beside the edge.
    ::SetWindowTextW(bar_.m_hWnd, L"MMMMMMMMMMMMMMM");
    bar_.SetPos(50);
    {
        const Pixels p(bar_.m_hWnd);
        EXPECT_EQ(p.At(0, 0), kBar);
        EXPECT_EQ(p.At(99, 0), kBar);
        EXPECT_EQ(p.At(100, 0), kEmpty);
        EXPECT_EQ(p.At(kWidth - 1, kHeight - 1), kEmpty);
        EXPECT_FALSE(p.Any(0, 100, kEmpty));
        EXPECT_FALSE(p.Any(0, 100, kEmptyText));
        EXPECT_FALSE(p.Any(100, kWidth, kBar));
        EXPECT_FALSE(p.Any(100, kWidth, kBarText));
        EXPECT_TRUE(p.Any(92, 100, kBarText));
        EXPECT_TRUE(p.Any(100, 108, kEmptyText));
    }
    // Without text: nothing but the two fills, split exactly at the edge.
    bar_.SetShowText(false);
    {
        const Pixels p(bar_.m_hWnd);
        EXPECT_TRUE(p.OnlyOf(0, 100, {kBar}));
        EXPECT_TRUE(p.OnlyOf(100, kWidth, {kEmpty}));
    }
    // Full: no empty part left.
    bar_.SetShowText(true);
    bar_.SetPos(100);
    {
        const Pixels p(bar_.m_hWnd);
        EXPECT_FALSE(p.Any(0, kWidth, kEmpty));
        EXPECT_TRUE(p.Any(0, kWidth, kBarText));
        EXPECT_FALSE(p.Any(0, kWidth, kEmptyText));
    }
}

TEST_F(TextProgressTest, SetPosRepaintsOnlyWhenTheFilledWidthChanges) {
    ::SetWindowPos(bar_.m_hWnd, nullptr, 0, 0, 50, kHeight, SWP_NOZORDER | SWP_NOMOVE);
    Settle();
    struct Step {
        int pos, previous;
        bool repainted;  // filled width of 50 pixels: pos / 2, truncated
    };
    const Step steps[] = {
        {0, 0, true},  // the first SetPos always paints
        {1, 0, false},   {2, 1, true},   {3, 2, false},
        {28, 3, true},   {29, 28, false},  // 50 x 0.29 = 14.4999..., the same 14 pixels as 28
        {100, 29, true}, {100, 100, false}, {0, 100, true},
    };
    for (const auto& step : steps) {
        bar_.paints = 0;
        EXPECT_EQ(bar_.SetPos(step.pos), step.previous) << step.pos;
        EXPECT_EQ(bar_.paints, step.repainted ? 1 : 0) << step.pos;
        EXPECT_FALSE(Invalidated()) << step.pos;
    }
    // After a resize the next SetPos paints even though the filled width (0) is the same.
    ::SetWindowPos(bar_.m_hWnd, nullptr, 0, 0, 51, kHeight, SWP_NOZORDER | SWP_NOMOVE);
    Settle();
    bar_.SetPos(0);
    EXPECT_EQ(bar_.paints, 1);
    bar_.paints = 0;
    bar_.SetPos(0);
    EXPECT_EQ(bar_.paints, 0);
}

TEST_F(TextProgressTest, OnlyAChangeOfTextOrShowTextInvalidates) {
    const HWND hwnd = bar_.m_hWnd;
    Validate();
    struct Step {
        const char* what;
        std::function<void()> act;
        bool invalidates;
    };
    const Step steps[] = {
        {"null text while empty", [&] { ::SendMessageW(hwnd, WM_SETTEXT, 0, 0); }, false},
        {"empty text while empty", [&] { ::SetWindowTextW(hwnd, L""); }, false},
        {"new text", [&] { ::SetWindowTextW(hwnd, L"Erase 5% (1/2)"); }, true},
        {"same text", [&] { ::SetWindowTextW(hwnd, L"Erase 5% (1/2)"); }, false},
        {"other case", [&] { ::SetWindowTextW(hwnd, L"ERASE 5% (1/2)"); }, true},
        {"null text", [&] { ::SendMessageW(hwnd, WM_SETTEXT, 0, 0); }, true},
        {"show text unchanged", [&] { bar_.SetShowText(true); }, false},
        {"hide text", [&] { bar_.SetShowText(false); }, true},
        {"colours", [&] {
             bar_.SetBarColor(RGB(1, 2, 3));
             bar_.SetEmptyColor(RGB(4, 5, 6));
             bar_.SetBarTextColor(RGB(7, 8, 9));
             bar_.SetEmptyTextColor(RGB(10, 11, 12));
         }, false},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(Invalidated(), step.invalidates) << step.what;
        Validate();
    }
}

TEST_F(TextProgressTest, TextIsAnsweredFromTheStoredText) {
    ::SetWindowTextW(bar_.m_hWnd, L"Write 40% (2/3)");
    wchar_t buffer[6];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(::SendMessageW(bar_.m_hWnd, WM_GETTEXT, 6, reinterpret_cast<LPARAM>(buffer)), 5);
    EXPECT_STREQ(buffer, L"Write");
    EXPECT_EQ(bar_.GetWindowText(), L"Write 40% (2/3)");
    EXPECT_EQ(::SendMessageW(bar_.m_hWnd, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
}

TEST(TextProgressWithoutWindow, SetPosReturnsMinusOneAndKeepsThePosition) {
    CTextProgressCtrl bar;
    EXPECT_EQ(bar.SetPos(40), -1);
    HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    HWND hwnd = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 20, parent, nullptr, nullptr, nullptr);
    ASSERT_TRUE(bar.SubclassWindow(hwnd));
    EXPECT_EQ(bar.SetPos(7), 0);
    ::DestroyWindow(parent);
}

}  // namespace
