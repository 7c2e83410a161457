// lang.ini held in memory, for tests of everything that reads it.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <utility>

#include "lang/ini_reader.h"

namespace lang {

class MemoryIni final : public IniReader {
public:
    struct Entry {
        std::wstring section;
        int key;
        std::wstring value;
    };

    MemoryIni() = default;
    MemoryIni(std::initializer_list<Entry> entries);

    void Set(std::wstring_view section, int key, std::wstring_view value);

    std::optional<std::wstring> Find(std::wstring_view section, int key) const override;

private:
    std::map<std::pair<std::wstring, int>, std::wstring> values_;
};

}  // namespace lang
