// Dialogs from a template: how a modal run ends, data exchange in both directions with one
// binding, a failed binding, and the centred start.
#include "framework/button.h"
#include "framework/dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

constexpr UINT kTemplate = 200;
constexpr int kText = 300;
constexpr int kButton = 301;

class TestDialog : public CDialogEx {
public:
    TestDialog() : CDialogEx(kTemplate) {}

    std::wstring m_strText = L"from member";
    CButton m_btn;
    int bindTo = kButton;
    std::function<void(TestDialog&)> onInit;
    int destroyed = 0;

    BOOL OnInitDialog() override {
        if (!CDialogEx::OnInitDialog()) return FALSE;
        if (onInit) onInit(*this);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, bindTo, m_btn);
        DDX_Text(pDX, kText, m_strText);
    }
    void OnDestroy() {
        ++destroyed;
        CDialogEx::OnDestroy();
    }

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
    const MessageMap& GetMessageMap() const override { return messageMap; }
};

const MessageEntry TestDialog::messageEntries[] = {
    OnMessage<WM_DESTROY, &TestDialog::OnDestroy>(),
};
const MessageMap TestDialog::messageMap{&CDialogEx::messageMap, messageEntries};

TEST(ModalDialog, EndsOnTheCloseBoxEscapeAndQuit) {
    struct Case {
        const char* what;
        std::function<void(TestDialog&)> action;
        INT_PTR result;
    };
    const Case cases[] = {
        {"close box", [](TestDialog& d) { d.PostMessage(WM_CLOSE); }, IDCANCEL},
        {"Escape key",
         [](TestDialog& d) {
             ::PostMessageW(::GetDlgItem(d.m_hWnd, kButton), WM_KEYDOWN, VK_ESCAPE, 0);
         },
         IDCANCEL},
        {"Enter key",
         [](TestDialog& d) {
             ::PostMessageW(::GetDlgItem(d.m_hWnd, kButton), WM_KEYDOWN, VK_RETURN, 0);
         },
         IDOK},
    };
    for (const Case& c : cases) {
        TestDialog dlg;
        dlg.onInit = c.action;
        EXPECT_EQ(dlg.DoModal(), c.result) << c.what;
        EXPECT_EQ(dlg.destroyed, 1) << c.what;
        EXPECT_EQ(dlg.m_hWnd, nullptr) << c.what;
    }
}

TEST(ModalDialog, AQuitMessageEndsTheRunAndStaysPendingWithItsCode) {
    TestDialog dlg;
    dlg.onInit = [](TestDialog&) { ::PostQuitMessage(3); };
    dlg.DoModal();
    EXPECT_EQ(dlg.destroyed, 1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST(ModalDialog, AFailedBindingEndsTheDialogWithMinusOne) {
    TestDialog dlg;
    dlg.bindTo = 999;  // no such control in the template
    bool initialised = false;
    dlg.onInit = [&](TestDialog&) { initialised = true; };
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_FALSE(initialised);
}

TEST(DataExchange, MembersAndControlsBothWaysWithOneBinding) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    HWND text = ::GetDlgItem(dlg.m_hWnd, kText);
    HWND button = ::GetDlgItem(dlg.m_hWnd, kButton);

    // The first transfer, at initialisation, wrote the member and bound the button.
    EXPECT_EQ(CWnd(text).GetWindowText(), L"from member");
    EXPECT_EQ(dlg.m_btn.m_hWnd, button);

    ::SetWindowTextW(text, L"typed");
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.m_strText, L"typed");

    dlg.m_strText = L"changed";
    ASSERT_TRUE(dlg.UpdateData(false)) << "a bound control stays bound, quietly";
    EXPECT_EQ(CWnd(text).GetWindowText(), L"changed");
    EXPECT_EQ(dlg.m_btn.m_hWnd, button);

    dlg.m_btn.EnableWindow(false);
    EXPECT_FALSE(::IsWindowEnabled(button));
    dlg.DestroyWindow();
    EXPECT_EQ(dlg.destroyed, 1);
}

TEST(ModelessDialog, StartsCentredOnTheWorkAreaAndEndsByDestroyingItsWindow) {
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    MONITORINFO monitor{sizeof monitor};
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(dlg.m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor));
    const RECT r = dlg.GetWindowRect();
    const RECT& area = monitor.rcWork;
    EXPECT_LE(std::abs((r.left - area.left) - (area.right - r.right)), 1);
    EXPECT_LE(std::abs((r.top - area.top) - (area.bottom - r.bottom)), 1);

    dlg.PostMessage(WM_CLOSE);
    const DWORD deadline = ::GetTickCount() + 5000;
    MSG msg;
    while (dlg.m_hWnd && ::GetTickCount() < deadline) {
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::Sleep(1);
            continue;
        }
        if (!::IsDialogMessageW(dlg.m_hWnd, &msg)) ::DispatchMessageW(&msg);
    }
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.destroyed, 1);
}

}  // namespace
