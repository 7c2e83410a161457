// The real program as a child process under Wine, watched from outside: its visible windows, and
// waits, each bounded, for one of them or for its end.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace rig {

// The program as built: its Unix path, seen by Wine on drive Z:.
std::wstring BuiltProgram();

// The text of a window or control; empty for none.
std::wstring Text(HWND hwnd);

// Started with the object; terminated, if still running, with it.
class RunningProgram {
public:
    // `commandLine` starts with the program's own quoted path; `patienceMs` bounds every wait.
    RunningProgram(const std::wstring& exe, std::wstring commandLine, const std::wstring& folder,
                   DWORD patienceMs);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // The visible top-level windows of the process.
    std::vector<HWND> VisibleWindows() const;

    // Waits until `find` gives a window; null when the time is up or the program ended.
    HWND WaitFor(const std::function<HWND()>& find) const;

    // The first visible window of the process with this caption, once it shows.
    HWND WaitForWindow(const std::wstring& caption) const;

    // The exit code, or STILL_ACTIVE when the process has not ended in time.
    DWORD WaitForExit() const;

private:
    PROCESS_INFORMATION process_{};
    DWORD patienceMs_;
};

}  // namespace rig
