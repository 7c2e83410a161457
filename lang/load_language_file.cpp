// Cvqz_downloaderDlg::LoadLanguageFile: reads lang.ini beside the executable and applies it to the
// dialog. Without the file the updater cannot run and says so.
#include "app/vqz_downloaderDlg.h"
#include "framework/message_box.h"
#include "framework/win_app.h"
#include "lang/language.h"
#include "lang/profile_ini.h"

#include <shlwapi.h>

#include <string>

namespace {

// Compact layout: the information group goes, the bar and the buttons move up, the window shrinks.
// The distances are screen pixels.
void ApplyCompactLayout(CWnd& dialog) {
    for (const int id : {IDC_UPGRADE_INFO, IDC_DURATION_FRAME, IDC_SIZE_FRAME, IDC_DURATION, IDC_SIZE})
        dialog.GetDlgItem(id).ShowWindow(SW_HIDE);
    for (const int id : {IDC_PROGRESS, IDC_UPGRADE, IDC_QUIT}) {
        CWnd control = dialog.GetDlgItem(id);
        RECT rect = control.GetWindowRect();
        rect.top -= 80;
        rect.bottom -= 80;
        dialog.ScreenToClient(rect);
        control.MoveWindow(rect, true);
    }
    RECT window = dialog.GetWindowRect();
    window.bottom -= 90;
    // The dialog has no parent: its window rectangle is already in the coordinates MoveWindow takes.
    dialog.MoveWindow(window, true);
}

}  // namespace

void Cvqz_downloaderDlg::LoadLanguageFile() {
    const std::wstring path = BesideExecutable(ExecutableFolder(ModulePath()), L"lang.ini");
    if (!::PathFileExistsW(path.c_str())) {
        AfxMessageBox(L"lang.ini not exist!");
        ::ExitProcess(0);
    }
    const lang::Language language = lang::LoadLanguage(lang::ProfileIni(path));

    UpdateData(true);
    m_strTitleName = language.titleName;
    SetWindowText(language.windowTitle);
    if (!language.fullLayout) ApplyCompactLayout(*this);

    m_strControlTexts = language.controls;
    GetDlgItem(IDC_QUIT).SetWindowText(ControlText(lang::key::kQuit));
    GetDlgItem(IDC_UPGRADE).SetWindowText(ControlText(lang::key::kUpgrade));
    // Also when the compact layout has hidden these group boxes.
    GetDlgItem(IDC_UPGRADE_INFO).SetWindowText(ControlText(lang::key::kUpgradeInfo));
    GetDlgItem(IDC_DURATION_FRAME).SetWindowText(ControlText(lang::key::kDuration));
    GetDlgItem(IDC_SIZE_FRAME).SetWindowText(ControlText(lang::key::kTransferredSize));

    m_nImageDelay = language.imageDelay;
    m_strMessages = language.messages;
    UpdateData(false);
}
