// Every text and setting that lang.ini gives the updater, read at once.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "lang/ini_reader.h"

namespace lang {

struct Language {
    std::wstring titleName;    // title 100, shown in IDC_TITLE_NAME
    std::wstring windowTitle;  // title 101
    bool fullLayout = true;    // title 200 is exactly "YES", or absent
    std::array<std::wstring, 7> controls;   // control 1000..1006
    uint32_t imageDelay = 0;                // control 9000, milliseconds
    std::array<std::wstring, 16> messages;  // message 1020..1035

    const std::wstring& control(int key) const { return controls.at(key - 1000); }
    const std::wstring& message(int key) const { return messages.at(key - 1020); }
};

// Absent keys give their built-in texts. A progress template (messages 1034 and 1035) that does not
// take exactly the three numbers the updater passes gives its built-in text instead.
Language LoadLanguage(const IniReader& ini);

}  // namespace lang
