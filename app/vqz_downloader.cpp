#include "app/vqz_downloader.h"

#include "app/vqz_downloaderDlg.h"

#include <commctrl.h>

Cvqz_downloaderApp theApp;

Cvqz_downloaderApp::Cvqz_downloaderApp() {
    m_dwRestartManagerSupportFlags = kRestartManagerSupportRestart;
}

BOOL Cvqz_downloaderApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    // A fuller framework would here set up ActiveX control hosting, a shell manager, a visual
    // manager and a registry key; this program hosts no ActiveX control, draws in the classic
    // style and stores nothing, so none of them has a counterpart.

    Cvqz_downloaderDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
