// How a message reaches a handler: the class's own table first, then its base's, then the
// window's own procedure; typed parameters; Default() and nested messages; subclassing lifetime.
#include "framework/wnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Base : public CWnd {
public:
    std::vector<std::wstring> log;

    void OnUserA() { log.push_back(L"base A"); }
    void OnUserB() { log.push_back(L"base B"); }

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }
};

const MessageEntry Base::messageEntries[] = {
    OnMessage<WM_USER + 1, &Base::OnUserA>(),
    OnMessage<WM_USER + 2, &Base::OnUserB>(),
};
const MessageMap Base::messageMap{&CWnd::messageMap, messageEntries};

class Derived : public Base {
public:
    void OnUserA() { log.push_back(L"derived A"); }
    void OnClicked() { log.push_back(L"clicked 7"); }
    void OnTimer(UINT_PTR id) { log.push_back(L"timer " + std::to_wstring(id)); }
    void OnSize(UINT type, int cx, int cy) {
        log.push_back(L"size " + std::to_wstring(type) + L" " + std::to_wstring(cx) + L"x" +
                      std::to_wstring(cy));
    }
    BOOL OnDeviceChange(UINT event, DWORD_PTR data) {
        log.push_back(L"device " + std::to_wstring(event) + L" " + std::to_wstring(data));
        return 1234;
    }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(0x5678); }
    // Sends itself another message before handing its own to the window's procedure.
    LRESULT OnSetText(WPARAM, LPARAM) {
        SendMessage(WM_USER + 3);
        log.push_back(L"set text");
        return Default();
    }
    LRESULT OnNested(WPARAM, LPARAM) { return Default(); }

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }
};

const MessageEntry Derived::messageEntries[] = {
    OnMessage<WM_USER + 1, &Derived::OnUserA>(),
    OnCommand<&Derived::OnClicked>(7, BN_CLICKED),
    OnMessage<WM_TIMER, &Derived::OnTimer>(),
    OnMessage<WM_SIZE, &Derived::OnSize>(),
    OnMessage<WM_DEVICECHANGE, &Derived::OnDeviceChange>(),
    OnMessage<WM_QUERYDRAGICON, &Derived::OnQueryDragIcon>(),
    OnMessage<WM_SETTEXT, &Derived::OnSetText>(),
    OnMessage<WM_USER + 3, &Derived::OnNested>(),
};
const MessageMap Derived::messageMap{&Base::messageMap, messageEntries};

// A plain top-level window of the system's static class, never shown.
HWND MakeWindow() {
    return ::CreateWindowExW(0, L"STATIC", L"start", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

class MessageMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        hwnd = MakeWindow();
        ASSERT_TRUE(hwnd);
        ASSERT_TRUE(wnd.SubclassWindow(hwnd));
    }
    void TearDown() override {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
    HWND hwnd = nullptr;
    Derived wnd;
};

TEST_F(MessageMapTest, TheClassTableWinsThenTheBaseTableThenTheWindowItself) {
    ::SendMessageW(hwnd, WM_USER + 1, 0, 0);
    ::SendMessageW(hwnd, WM_USER + 2, 0, 0);
    EXPECT_EQ(wnd.log, (std::vector<std::wstring>{L"derived A", L"base B"}));

    // Mapped nowhere: the static control's own procedure answers.
    wchar_t text[16] = {};
    EXPECT_EQ(::SendMessageW(hwnd, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text)), 5);
    EXPECT_STREQ(text, L"start");
}

TEST_F(MessageMapTest, CommandsRouteByControlIdAndNotificationCode) {
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0);
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED), 0);
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), 0);
    EXPECT_EQ(wnd.log, (std::vector<std::wstring>{L"clicked 7"}));
}

// A handler mapped to a message that carries other parameters does not compile.
static_assert(HandlesMessage<WM_TIMER, &Derived::OnTimer>);
static_assert(!HandlesMessage<WM_SIZE, &Derived::OnTimer>);
static_assert(!HandlesMessage<WM_TIMER, &Derived::OnSize>);
static_assert(!HandlesMessage<WM_PAINT, &Derived::OnQueryDragIcon>);
static_assert(!HandlesMessage<WM_DEVICECHANGE, &Derived::OnSetText>);
static_assert(!HandlesMessage<WM_USER + 1, &Derived::OnTimer>);  // no parameters of its own
static_assert(HandlesMessage<WM_USER + 1, &Derived::OnNested>);

TEST_F(MessageMapTest, HandlersGetTypedParametersAndGiveTheirResult) {
    ::SendMessageW(hwnd, WM_TIMER, 42, 0);
    ::SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    EXPECT_EQ(::SendMessageW(hwnd, WM_DEVICECHANGE, 0x8000, 99), 1234);
    EXPECT_EQ(::SendMessageW(hwnd, WM_QUERYDRAGICON, 0, 0), 0x5678);
    EXPECT_EQ(wnd.log, (std::vector<std::wstring>{L"timer 42", L"size 0 300x200",
                                                   L"device 32768 99"}));
}

TEST_F(MessageMapTest, DefaultHandsOnTheMessageBeingHandledEvenAfterANestedOne) {
    ASSERT_TRUE(::SetWindowTextW(hwnd, L"changed"));
    EXPECT_EQ(wnd.GetWindowText(), L"changed");
    EXPECT_EQ(wnd.log, (std::vector<std::wstring>{L"set text"}));
}

TEST(Subclassing, TheWindowOutlivesItsObjectAndTheObjectItsWindow) {
    HWND hwnd = MakeWindow();
    {
        Derived first;
        ASSERT_TRUE(first.SubclassWindow(hwnd));
        Derived second;
        EXPECT_FALSE(second.SubclassWindow(hwnd)) << "one object per window";
    }
    // The object is gone: the window answers with its own procedure again.
    EXPECT_TRUE(::SetWindowTextW(hwnd, L"after"));
    EXPECT_EQ(CWnd(hwnd).GetWindowText(), L"after");

    Derived wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hwnd));
    ::DestroyWindow(hwnd);
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    // The object can take another window once its first is gone.
    HWND other = MakeWindow();
    EXPECT_TRUE(wnd.SubclassWindow(other));
    ::DestroyWindow(other);
}

}  // namespace
