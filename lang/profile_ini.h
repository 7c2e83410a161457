// lang.ini read with the wide profile functions: the file may be in the ANSI code page or UTF-16
// with a byte-order mark.
#pragma once

#include <string>

#include "lang/ini_reader.h"

namespace lang {

class ProfileIni final : public IniReader {
public:
    explicit ProfileIni(std::wstring path) : path_(std::move(path)) {}

    std::optional<std::wstring> Find(std::wstring_view section, int key) const override;

private:
    std::wstring path_;
};

}  // namespace lang
