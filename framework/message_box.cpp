#include "framework/message_box.h"

#include "framework/win_app.h"
#include "framework/wnd.h"

#include <windows.h>

std::wstring ApplicationNameFromPath(std::wstring_view modulePath) {
    const size_t slash = modulePath.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? modulePath : modulePath.substr(slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos && dot > 0) name = name.substr(0, dot);
    return std::wstring(name);
}

namespace {

// The application's main window while it exists, so the box is modal to it even when another
// program is in front; else the thread's active window.
HWND Owner() {
    const CWinApp* app = CWinApp::Current();
    if (app && app->m_pMainWnd && ::IsWindow(app->m_pMainWnd->m_hWnd)) return app->m_pMainWnd->m_hWnd;
    return ::GetActiveWindow();
}

}  // namespace

int AfxMessageBox(const std::wstring& text) {
    return ::MessageBoxW(Owner(), text.c_str(), ApplicationNameFromPath(ModulePath()).c_str(),
                         MB_OK | MB_ICONEXCLAMATION);
}
