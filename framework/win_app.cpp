#include "framework/win_app.h"

CWinApp::CWinApp() { s_current = this; }

CWinApp::~CWinApp() {
    if (s_current == this) s_current = nullptr;
}

BOOL CWinApp::InitInstance() {
    if (m_dwRestartManagerSupportFlags & kRestartManagerSupportRestart)
        ::RegisterApplicationRestart(nullptr, 0);
    return TRUE;
}
