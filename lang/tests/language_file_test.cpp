// The program itself with a lang.ini beside it (or none): what the user sees at start-up.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/resource.h"

namespace {

// The built program, as Wine sees the build folder.
std::wstring ProgramPath() {
    std::wstring path = L"Z:" VQZ_DOWNLOADER_EXE;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s.processId && ::IsWindowVisible(hwnd)) s.found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    ::GetWindowTextW(hwnd, text, 512);
    return text;
}

// A copy of the program in a folder of its own, with the given lang.ini bytes (none when nullopt).
class Program {
public:
    explicit Program(const std::optional<std::string>& langIni) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"vqz_start_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                  std::to_wstring(++count_);
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        exe_ = folder_ + L"\\vqz_downloader.exe";
        ::CopyFileW(ProgramPath().c_str(), exe_.c_str(), FALSE);
        if (langIni) {
            HANDLE file = ::CreateFileW((folder_ + L"\\lang.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        0, nullptr);
            DWORD written = 0;
            ::WriteFile(file, langIni->data(), static_cast<DWORD>(langIni->size()), &written, nullptr);
            ::CloseHandle(file);
        }
        STARTUPINFOW startup{sizeof startup};
        std::wstring commandLine = L"\"" + exe_ + L"\"";
        started_ = ::CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    folder_.c_str(), &startup, &process_);
    }
    ~Program() {
        if (started_) {
            if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 1);
            ::WaitForSingleObject(process_.hProcess, 5000);
            ::CloseHandle(process_.hProcess);
            ::CloseHandle(process_.hThread);
        }
        ::DeleteFileW((folder_ + L"\\lang.ini").c_str());
        ::DeleteFileW(exe_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    bool started() const { return started_; }

    // The first visible top-level window of the program, waited for up to ten seconds.
    HWND WaitForWindow() const {
        for (int i = 0; i < 200; ++i) {
            const auto windows = VisibleWindowsOf(process_.dwProcessId);
            if (!windows.empty()) return windows.front();
            if (::WaitForSingleObject(process_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
        }
        return nullptr;
    }
    std::vector<HWND> VisibleWindows() const { return VisibleWindowsOf(process_.dwProcessId); }

    // The exit code, once the program has ended within ten seconds.
    std::optional<DWORD> WaitForExit() const {
        if (::WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    static inline int count_ = 0;
    std::wstring folder_, exe_;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (const wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// Where a control sits in its dialog, in screen pixels from the dialog window's top-left corner.
RECT Placement(HWND dialog, int id) {
    RECT window{}, control{};
    ::GetWindowRect(dialog, &window);
    ::GetWindowRect(::GetDlgItem(dialog, id), &control);
    ::OffsetRect(&control, -window.left, -window.top);
    return control;
}

int Height(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return r.bottom - r.top;
}

TEST(LanguageFile, WithoutItOnlyTheMessageBoxShowsThenTheProgramEnds) {
    Program program(std::nullopt);
    ASSERT_TRUE(program.started());
    const HWND box = program.WaitForWindow();
    ASSERT_TRUE(box);
    EXPECT_EQ(program.VisibleWindows().size(), 1u);
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"lang.ini not exist!");
    EXPECT_EQ(TextOf(box), L"vqz_downloader");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

TEST(LanguageFile, Utf16AndAnsiFilesBothReachTheWindow) {
    {
        Program program(Utf16File(L"[title]\r\n101=Навигатор Ж\r\n[control]\r\n1001=Выйти\r\n"));
        const HWND dialog = program.WaitForWindow();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(TextOf(dialog), L"Навигатор Ж");
        EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDC_QUIT)), L"Выйти");
        // Not in the file: the built-in Russian.
        EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDC_UPGRADE)), L"Обновление");
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
    }
    {
        // Characters of the usual single-byte code pages, 0x80 and 0x8A none of them Latin-1.
        const std::string letters = "\x80\x8A\xC0\xC1";
        wchar_t expected[8] = {};
        ::MultiByteToWideChar(CP_ACP, 0, letters.data(), static_cast<int>(letters.size()), expected, 8);
        Program program("[title]\r\n101=Title " + letters + "\r\n100=Name " + letters + "\r\n");
        const HWND dialog = program.WaitForWindow();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(TextOf(dialog), L"Title " + std::wstring(expected));
        EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDC_TITLE_NAME)), L"Name " + std::wstring(expected));
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
    }
}

TEST(LanguageFile, CompactLayoutMovesUpHidesTheInformationAndKeepsItsCaptions) {
    const std::string texts = "[control]\r\n1004=Info\r\n1005=Time\r\n1006=Size\r\n";
    Program full("[title]\r\n200=YES\r\n" + texts);
    const HWND fullDialog = full.WaitForWindow();
    ASSERT_TRUE(fullDialog);
    Program compact("[title]\r\n200=yes\r\n" + texts);
    const HWND compactDialog = compact.WaitForWindow();
    ASSERT_TRUE(compactDialog);

    EXPECT_EQ(Height(compactDialog), Height(fullDialog) - 90);
    for (const int id : {IDC_PROGRESS, IDC_UPGRADE, IDC_QUIT}) {
        RECT expected = Placement(fullDialog, id);
        ::OffsetRect(&expected, 0, -80);
        const RECT moved = Placement(compactDialog, id);
        EXPECT_TRUE(::EqualRect(&expected, &moved)) << id;
    }
    for (const int id : {IDC_UPGRADE_INFO, IDC_DURATION_FRAME, IDC_SIZE_FRAME, IDC_DURATION, IDC_SIZE}) {
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(fullDialog, id))) << id;
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(compactDialog, id))) << id;
    }
    EXPECT_EQ(TextOf(::GetDlgItem(compactDialog, IDC_UPGRADE_INFO)), L"Info");
    EXPECT_EQ(TextOf(::GetDlgItem(compactDialog, IDC_DURATION_FRAME)), L"Time");
    EXPECT_EQ(TextOf(::GetDlgItem(compactDialog, IDC_SIZE_FRAME)), L"Size");
    // What does not move stays put.
    RECT fullTitle = Placement(fullDialog, IDC_TITLE_NAME), compactTitle = Placement(compactDialog, IDC_TITLE_NAME);
    EXPECT_TRUE(::EqualRect(&fullTitle, &compactTitle));

    ::PostMessageW(fullDialog, WM_CLOSE, 0, 0);
    ::PostMessageW(compactDialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(full.WaitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(compact.WaitForExit(), std::optional<DWORD>(0));
}

}  // namespace
