#include "lang/memory_ini.h"

#include <cwctype>

namespace lang {
namespace {

// Section names compare without regard to letter case, as in an INI file.
std::wstring Folded(std::wstring_view section) {
    std::wstring folded(section);
    for (auto& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return folded;
}

}  // namespace

MemoryIni::MemoryIni(std::initializer_list<Entry> entries) {
    for (const auto& entry : entries) Set(entry.section, entry.key, entry.value);
}

void MemoryIni::Set(std::wstring_view section, int key, std::wstring_view value) {
    values_[{Folded(section), key}] = std::wstring(value);
}

std::optional<std::wstring> MemoryIni::Find(std::wstring_view section, int key) const {
    const auto it = values_.find({Folded(section), key});
    if (it == values_.end()) return std::nullopt;
    return it->second.substr(0, kMaxTextLength);
}

}  // namespace lang
