#include "app/vqz_downloader.h"

#include "app/simulate.h"
#include "app/vqz_downloaderDlg.h"
#include "framework/message_box.h"

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

    // Declared before the dialog: the simulated bus outlives the window it posts to.
    Simulation::Request simulation = Simulation::FromCommandLine(::GetCommandLineW());
    if (const auto* problem = std::get_if<std::wstring>(&simulation)) {
        AfxMessageBox(*problem);
        ::PostQuitMessage(1);
        return FALSE;
    }

    Cvqz_downloaderDlg dlg;
    if (const auto* simulated = std::get_if<std::unique_ptr<Simulation>>(&simulation))
        dlg.m_pInterfaces = &(*simulated)->Interfaces();
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
