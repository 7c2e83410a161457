#include "running_program.h"

#include <gtest/gtest.h>

namespace rig {

std::wstring BuiltProgram() {
    std::wstring path = L"Z:";
    for (const char* p = VQZ_DOWNLOADER_EXE; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

std::wstring Text(HWND hwnd) {
    wchar_t text[2048] = {};
    ::GetWindowTextW(hwnd, text, 2048);
    return text;
}

RunningProgram::RunningProgram(const std::wstring& exe, std::wstring commandLine,
                               const std::wstring& folder, DWORD patienceMs)
    : patienceMs_(patienceMs) {
    STARTUPINFOW si{sizeof si};
    EXPECT_TRUE(::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder.c_str(), &si, &process_));
}

RunningProgram::~RunningProgram() {
    if (!process_.hProcess) return;
    if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 99);
    ::WaitForSingleObject(process_.hProcess, patienceMs_);
    ::CloseHandle(process_.hProcess);
    ::CloseHandle(process_.hThread);
}

std::vector<HWND> RunningProgram::VisibleWindows() const {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{process_.dwProcessId, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == s->pid && ::IsWindowVisible(hwnd)) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND RunningProgram::WaitFor(const std::function<HWND()>& find) const {
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < patienceMs_; ::Sleep(50)) {
        if (HWND hwnd = find()) return hwnd;
        if (::WaitForSingleObject(process_.hProcess, 0) != WAIT_TIMEOUT) return nullptr;
    }
    return nullptr;
}

HWND RunningProgram::WaitForWindow(const std::wstring& caption) const {
    return WaitFor([&]() -> HWND {
        for (HWND hwnd : VisibleWindows())
            if (Text(hwnd) == caption) return hwnd;
        return nullptr;
    });
}

DWORD RunningProgram::WaitForExit() const {
    ::WaitForSingleObject(process_.hProcess, patienceMs_);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

}  // namespace rig
