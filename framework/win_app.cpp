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

std::wstring ModulePath() {
    // Paths may exceed MAX_PATH; grow until the whole path fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return buffer.substr(0, n);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ExecutableFolder(std::wstring_view modulePath) {
    const std::size_t slash = modulePath.rfind(L'\\');
    if (slash == std::wstring_view::npos) return {};
    return std::wstring(modulePath.substr(0, slash));
}

std::wstring BesideExecutable(std::wstring_view folder, std::wstring_view fileName) {
    std::wstring path(folder);
    path += L'\\';
    path += fileName;
    return path;
}
