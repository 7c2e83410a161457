#include "lang/language.h"

#include <gtest/gtest.h>

#include "lang/keys.h"
#include "lang/memory_ini.h"

namespace lang {
namespace {

TEST(Language, EmptyFileGivesEveryBuiltInText) {
    const Language language = LoadLanguage(MemoryIni{});
    EXPECT_EQ(language.titleName, L"VelmarquistK4 GPS");
    EXPECT_EQ(language.windowTitle, L"VelmarquistK4 Dunor S");
    EXPECT_TRUE(language.fullLayout);
    EXPECT_EQ(language.imageDelay, 1000u);
    for (const auto& key : kTextKeys) {
        if (key.section == kControl) {
            EXPECT_EQ(language.control(key.key), key.fallback) << key.key;
        } else if (key.section == kMessage) {
            EXPECT_EQ(language.message(key.key), key.fallback) << key.key;
        }
    }
    // The Russian reaches the program as these code points whatever the source or system encoding.
    EXPECT_EQ(language.control(1001), L"\u0412\u044b\u0445\u043e\u0434");
    EXPECT_EQ(language.message(1030), L"\u0413\u043e\u0442\u043e\u0432\u043e");
    EXPECT_EQ(language.message(1022).back(), L' ');
}

TEST(Language, EveryTextComesFromItsKey) {
    MemoryIni ini;
    for (const auto& key : kTextKeys) ini.Set(key.section, key.key, L"v" + std::to_wstring(key.key));
    ini.Set(kTitle, 200, L"YES");
    ini.Set(kMessage, 1034, L"W %i%% %i/%i");
    ini.Set(kMessage, 1035, L"E %d%% %d/%d");
    const Language language = LoadLanguage(ini);
    EXPECT_EQ(language.titleName, L"v100");
    EXPECT_EQ(language.windowTitle, L"v101");
    for (int key = 1000; key <= 1006; ++key) EXPECT_EQ(language.control(key), L"v" + std::to_wstring(key));
    for (int key = 1020; key <= 1033; ++key) EXPECT_EQ(language.message(key), L"v" + std::to_wstring(key));
    EXPECT_EQ(language.message(1034), L"W %i%% %i/%i");
    EXPECT_EQ(language.message(1035), L"E %d%% %d/%d");
}

TEST(Language, SectionsDoNotMix) {
    const Language language = LoadLanguage(MemoryIni{
        {L"control", 1001, L"Quit"},
        {L"message", 1001, L"wrong section"},
        {L"message", 100, L"wrong section"},
        {L"title", 1021, L"wrong section"},
    });
    EXPECT_EQ(language.control(1001), L"Quit");
    EXPECT_EQ(language.titleName, L"VelmarquistK4 GPS");
    EXPECT_EQ(language.message(1021), L"Нет соединения по USB, проверьте USB-соединение !");
}

TEST(Language, OnlyExactYesKeepsTheFullLayout) {
    struct Case {
        const wchar_t* value;  // nullptr: key absent
        bool full;
    };
    const Case cases[] = {
        {nullptr, true}, {L"YES", true}, {L"yes", false}, {L"Yes", false},
        {L"", false},    {L"NO", false}, {L"YES ", false},
    };
    for (const auto& c : cases) {
        MemoryIni ini;
        if (c.value) ini.Set(kTitle, 200, c.value);
        EXPECT_EQ(LoadLanguage(ini).fullLayout, c.full) << (c.value ? c.value : L"(absent)");
    }
}

TEST(Language, EmptyValueGivesEmptyTextNotTheBuiltIn) {
    const Language language = LoadLanguage(MemoryIni{{L"control", 1001, L""}, {L"title", 101, L""}});
    EXPECT_EQ(language.control(1001), L"");
    EXPECT_EQ(language.windowTitle, L"");
    EXPECT_EQ(language.control(1002), L"Обновление");
}

TEST(Language, PauseIsAPlainDecimalNumber) {
    struct Case {
        const wchar_t* value;  // nullptr: key absent
        uint32_t delay;
    };
    const Case cases[] = {
        {nullptr, 1000},  {L"0", 0},     {L"250", 250},   {L"0042", 42},
        {L"4294967295", 4294967295u},
        // Not a plain number: the usual pause, never a garbage one.
        {L"", 1000},      {L"-5", 1000}, {L"+5", 1000},   {L"12ms", 1000},
        {L"abc", 1000},   {L"1 000", 1000}, {L"4294967296", 1000}, {L"99999999999999999999", 1000},
    };
    for (const auto& c : cases) {
        MemoryIni ini;
        if (c.value) ini.Set(kControl, 9000, c.value);
        EXPECT_EQ(LoadLanguage(ini).imageDelay, c.delay) << (c.value ? c.value : L"(absent)");
    }
}

TEST(Language, ProgressTemplateThatWouldReadWrongArgumentsFallsBack) {
    // Each of these would make a formatter read an argument it was not given, or the wrong type.
    const wchar_t* hostile[] = {L"Write %s (%i/%i)", L"Write %n%i%i%i", L"Write %*d%% (%i/%i)",
                                L"%d%d%d%d",         L"Write %",        L"Write %i%% (%i)",
                                L"Write 100%"};
    for (const wchar_t* text : hostile) {
        const Language language = LoadLanguage(MemoryIni{{L"message", 1034, text}, {L"message", 1035, text}});
        EXPECT_EQ(language.message(1034), L"Write %i%% (%i/%i)") << text;
        EXPECT_EQ(language.message(1035), L"Erase %i%% (%i/%i)") << text;
    }
    // A translated template with three numbers is kept; other messages are not templates.
    const Language language = LoadLanguage(MemoryIni{{L"message", 1034, L"Запись %i%% (%i из %i)"},
                                                     {L"message", 1033, L"100% %s"}});
    EXPECT_EQ(language.message(1034), L"Запись %i%% (%i из %i)");
    EXPECT_EQ(language.message(1033), L"100% %s");
}

}  // namespace
}  // namespace lang
