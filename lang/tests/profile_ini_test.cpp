// lang.ini read from real files with the wide profile functions.
#include "lang/profile_ini.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "lang/language.h"

namespace lang {
namespace {

// A folder of its own under the temporary folder, removed with the fixture.
class ProfileIniTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        folder_ = std::wstring(temp) + L"vqz_lang_" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        path_ = folder_ + L"\\lang.ini";
    }
    void TearDown() override {
        ::DeleteFileW(path_.c_str());
        ::RemoveDirectoryW(path_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    void WriteBytes(const std::string& bytes) {
        HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
        ASSERT_EQ(written, bytes.size());
    }
    // UTF-16LE with a byte-order mark.
    void WriteUtf16(const std::wstring& text) {
        std::string bytes = "\xFF\xFE";
        for (const wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        WriteBytes(bytes);
    }
    Language Load() const { return LoadLanguage(ProfileIni(path_)); }

    std::wstring folder_, path_;
};

TEST_F(ProfileIniTest, Utf16FileReadsRight) {
    WriteUtf16(L"[title]\r\n101=Навигатор Ж\r\n[control]\r\n1001=Выйти\r\n9000=0\r\n");
    const Language language = Load();
    EXPECT_EQ(language.windowTitle, L"Навигатор Ж");
    EXPECT_EQ(language.control(1001), L"Выйти");
    EXPECT_EQ(language.imageDelay, 0u);
}

TEST_F(ProfileIniTest, AnsiFileReadsInTheSystemCodePage) {
    // Characters in the usual single-byte code pages, 0x80 and 0x8A none of them Latin-1: they must
    // arrive as the system's code page decodes them, not byte for byte.
    const std::string letters = "\x80\x8A\xC0\xC1\xC2";
    wchar_t expected[16] = {};
    ASSERT_EQ(::MultiByteToWideChar(CP_ACP, 0, letters.data(), static_cast<int>(letters.size()), expected, 16), 5);
    WriteBytes("[title]\r\n101=" + letters + "\r\n");
    EXPECT_EQ(Load().windowTitle, std::wstring(expected));
}

TEST_F(ProfileIniTest, AbsentEmptyAndLongValues) {
    WriteBytes("[Control]\r\n1001=\r\n[message]\r\n1021=" + std::string(300, 'x') + "\r\n");
    const Language language = Load();
    EXPECT_EQ(language.control(1001), L"");
    EXPECT_EQ(language.message(1021), std::wstring(255, L'x'));
    // An absent key keeps its built-in text whole, trailing blank included.
    EXPECT_EQ(language.message(1022), L"Неправильный формат файла ! ");
    EXPECT_EQ(language.control(1002), L"Обновление");
    EXPECT_TRUE(language.fullLayout);
    EXPECT_EQ(language.imageDelay, 1000u);
}

TEST_F(ProfileIniTest, SectionNamesIgnoreCase) {
    WriteBytes("[CONTROL]\r\n1001=Quit\r\n[Title]\r\n100=Name\r\n[mEsSaGe]\r\n1030=Done\r\n");
    const Language language = Load();
    EXPECT_EQ(language.control(1001), L"Quit");
    EXPECT_EQ(language.titleName, L"Name");
    EXPECT_EQ(language.message(1030), L"Done");
}

TEST_F(ProfileIniTest, LongValueKeepsItsFirst255Characters) {
    const std::wstring value(300, L'\u0416');
    WriteUtf16(L"[message]\r\n1021=" + value + L"\r\n");
    EXPECT_EQ(Load().message(1021), value.substr(0, 255));
}

TEST_F(ProfileIniTest, PathThatIsNotAFileGivesTheBuiltInTexts) {
    ASSERT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr));
    const Language language = Load();
    EXPECT_EQ(language.titleName, L"VelmarquistK4 GPS");
    EXPECT_EQ(language.message(1035), L"Erase %i%% (%i/%i)");
    EXPECT_TRUE(language.fullLayout);
}

}  // namespace
}  // namespace lang
