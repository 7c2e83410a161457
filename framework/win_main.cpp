// The program's entry point: the application object's InitInstance does all the work. There is no
// application message loop: whatever InitInstance returns, the process then ends.
#include "framework/win_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (CWinApp* app = CWinApp::Current()) app->InitInstance();
    // A modal dialog that ended on a quit message posts it again: its code is the exit code.
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return static_cast<int>(msg.wParam);
    return 0;
}
