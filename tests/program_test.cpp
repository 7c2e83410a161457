// The real program, started from a folder of its own with or without lang.ini: every way of
// ending it gives exit code 0, and without lang.ini the one thing shown is the box that says so.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 30000;
constexpr int kQuitButton = 1007;

// The program as built: a Unix path, seen by Wine on drive Z:.
std::wstring ProgramPath() {
    std::wstring path = L"Z:";
    for (const char* p = VQZ_DOWNLOADER_EXE; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

void WriteFile(const std::wstring& path, const std::wstring& text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::wstring content = L"\xFEFF" + text;  // UTF-16LE with a byte-order mark
    DWORD written = 0;
    ::WriteFile(file, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written,
                nullptr);
    ::CloseHandle(file);
}

// A copy of the program in a fresh folder, started; ended and removed with the object.
class Program {
public:
    // langIni: the file's text, or null for no lang.ini.
    explicit Program(const wchar_t* name, const wchar_t* langIni) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"vqz-program-test-" + name + L"-" +
                  std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        exe_ = folder_ + L"\\vqz_downloader.exe";
        EXPECT_TRUE(::CopyFileW(ProgramPath().c_str(), exe_.c_str(), FALSE)) << "copy of the program";
        if (langIni) WriteFile(folder_ + L"\\lang.ini", langIni);

        STARTUPINFOW si{sizeof si};
        std::wstring commandLine = L"\"" + exe_ + L"\"";
        EXPECT_TRUE(::CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, folder_.c_str(), &si, &process_));
    }
    ~Program() {
        if (process_.hProcess) {
            if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                ::TerminateProcess(process_.hProcess, 99);
            ::WaitForSingleObject(process_.hProcess, kPatienceMs);
            ::CloseHandle(process_.hProcess);
            ::CloseHandle(process_.hThread);
        }
        ::DeleteFileW((folder_ + L"\\lang.ini").c_str());
        ::DeleteFileW(exe_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    // The visible top-level windows of the process.
    std::vector<HWND> VisibleWindows() const {
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

    // The first visible window of the process with this caption, waiting for it to show.
    HWND WaitForWindow(const std::wstring& caption) const {
        for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < kPatienceMs; ::Sleep(50)) {
            for (HWND hwnd : VisibleWindows())
                if (Text(hwnd) == caption) return hwnd;
            if (::WaitForSingleObject(process_.hProcess, 0) != WAIT_TIMEOUT) return nullptr;
        }
        return nullptr;
    }

    // The exit code, or STILL_ACTIVE when the process has not ended in time.
    DWORD WaitForExit() const {
        ::WaitForSingleObject(process_.hProcess, kPatienceMs);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    static std::wstring Text(HWND hwnd) {
        wchar_t text[256] = {};
        ::GetWindowTextW(hwnd, text, 256);
        return text;
    }

private:
    std::wstring folder_, exe_;
    PROCESS_INFORMATION process_{};
};

TEST(Program, EveryWayOfEndingItGivesExitCodeZero) {
    struct Case {
        const wchar_t* name;
        void (*end)(HWND dialog);
    };
    const Case cases[] = {
        {L"quit", [](HWND d) { ::PostMessageW(::GetDlgItem(d, kQuitButton), BM_CLICK, 0, 0); }},
        {L"close-box", [](HWND d) { ::PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        // The key goes to the control with the focus, Quit, and the dialog turns it into cancel.
        {L"escape",
         [](HWND d) { ::PostMessageW(::GetDlgItem(d, kQuitButton), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
    };
    // Started together: each takes a second or two to end under Wine.
    std::vector<std::unique_ptr<Program>> programs;
    for (const Case& c : cases) {
        const std::wstring ini = std::wstring(L"[title]\r\n101=vqz ") + c.name + L"\r\n";
        programs.push_back(std::make_unique<Program>(c.name, ini.c_str()));
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        HWND dialog = programs[i]->WaitForWindow(std::wstring(L"vqz ") + cases[i].name);
        ASSERT_TRUE(dialog) << "the window of the " << testing::PrintToString(cases[i].name) << " case shows";
        cases[i].end(dialog);
    }
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(programs[i]->WaitForExit(), 0u) << testing::PrintToString(cases[i].name);
}

TEST(Program, WithoutLangIniItOnlySaysSoAndEndsWithExitCodeZero) {
    Program program(L"no-lang", nullptr);
    HWND box = program.WaitForWindow(L"vqz_downloader");
    ASSERT_TRUE(box) << "a box captioned with the program's name";
    wchar_t className[32] = {};
    ::GetClassNameW(box, className, 32);
    EXPECT_STREQ(className, L"#32770");
    EXPECT_EQ(Program::Text(::GetDlgItem(box, 0xFFFF)), L"lang.ini not exist!");
    EXPECT_TRUE(::GetDlgItem(box, IDOK)) << "an OK button";
    EXPECT_FALSE(::GetDlgItem(box, IDCANCEL));
    EXPECT_EQ(program.VisibleWindows(), std::vector<HWND>{box}) << "the box is all there is";

    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

}  // namespace
