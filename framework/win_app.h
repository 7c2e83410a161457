// CWinApp: the one application object. The framework's WinMain (win_main.cpp) calls its
// InitInstance and ends the process when it returns.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class CWnd;

// The full path of the running executable, of any length.
std::wstring ModulePath();

// The folder of the executable: its module path cut before the last backslash; empty when the
// path has no backslash.
std::wstring ExecutableFolder(std::wstring_view modulePath);

// A file beside the executable: the folder, a backslash, the file name.
std::wstring BesideExecutable(std::wstring_view folder, std::wstring_view fileName);

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The one application object of the process; null before it is constructed.
    static CWinApp* Current() { return s_current; }

    // The whole program. Base: registers the process with the system's restart manager when
    // m_dwRestartManagerSupportFlags asks for it. The process ends when it returns, with the exit
    // code of a pending quit message, or 0.
    virtual BOOL InitInstance();

    // AFX_RESTART_MANAGER_SUPPORT_RESTART: be restarted after a crash or an update of the system.
    static constexpr DWORD kRestartManagerSupportRestart = 1;
    DWORD m_dwRestartManagerSupportFlags = 0;
    CWnd* m_pMainWnd = nullptr;

private:
    static inline CWinApp* s_current = nullptr;
};
