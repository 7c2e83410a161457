// Every text and setting that lang.ini gives the updater, read at once.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "lang/ini_reader.h"
#include "lang/keys.h"

namespace lang {

struct Language {
    std::wstring titleName;    // key::kTitleName
    std::wstring windowTitle;  // key::kWindowTitle
    bool fullLayout = true;    // key::kLayout is exactly "YES", or absent
    std::array<std::wstring, key::kControlCount> controls;  // from key::kFirstControl on
    uint32_t imageDelay = 0;                                 // key::kImageDelay, milliseconds
    std::array<std::wstring, key::kMessageCount> messages;  // from key::kFirstMessage on

    const std::wstring& control(int n) const { return controls.at(n - key::kFirstControl); }
    const std::wstring& message(int n) const { return messages.at(n - key::kFirstMessage); }
};

// Absent keys give their built-in texts. A progress template (key::kWriteStep, key::kEraseStep) that does not
// take exactly the three numbers the updater passes gives its built-in text instead.
Language LoadLanguage(const IniReader& ini);

}  // namespace lang
