// The real program, started from a folder of its own with or without lang.ini: every way of
// ending it gives exit code 0, and without lang.ini the one thing shown is the box that says so.
#include <windows.h>

#include <gtest/gtest.h>

#include "running_program.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 30000;
constexpr int kQuitButton = 1007;

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
        EXPECT_TRUE(::CopyFileW(rig::BuiltProgram().c_str(), exe_.c_str(), FALSE)) << "copy of the program";
        if (langIni) WriteFile(folder_ + L"\\lang.ini", langIni);
        process_.emplace(exe_, L"\"" + exe_ + L"\"", folder_, kPatienceMs);
    }
    ~Program() {
        process_.reset();  // ended before its files go
        ::DeleteFileW((folder_ + L"\\lang.ini").c_str());
        ::DeleteFileW(exe_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    const rig::RunningProgram& process() const { return *process_; }

private:
    std::wstring folder_, exe_;
    std::optional<rig::RunningProgram> process_;
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
        HWND dialog = programs[i]->process().WaitForWindow(std::wstring(L"vqz ") + cases[i].name);
        ASSERT_TRUE(dialog) << "the window of the " << testing::PrintToString(cases[i].name) << " case shows";
        cases[i].end(dialog);
    }
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(programs[i]->process().WaitForExit(), 0u) << testing::PrintToString(cases[i].name);
}

TEST(Program, WithoutLangIniItOnlySaysSoAndEndsWithExitCodeZero) {
    Program program(L"no-lang", nullptr);
    HWND box = program.process().WaitForWindow(L"vqz_downloader");
    ASSERT_TRUE(box) << "a box captioned with the program's name";
    wchar_t className[32] = {};
    ::GetClassNameW(box, className, 32);
    EXPECT_STREQ(className, L"#32770");
    EXPECT_EQ(rig::Text(::GetDlgItem(box, 0xFFFF)), L"lang.ini not exist!");
    EXPECT_TRUE(::GetDlgItem(box, IDOK)) << "an OK button";
    EXPECT_FALSE(::GetDlgItem(box, IDCANCEL));
    EXPECT_EQ(program.process().VisibleWindows(), std::vector<HWND>{box}) << "the box is all there is";

    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.process().WaitForExit(), 0u);
}

}  // namespace
