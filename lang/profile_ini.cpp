#include "lang/profile_ini.h"

#include <windows.h>

#include <array>

namespace lang {
namespace {

std::wstring Read(const std::wstring& section, const std::wstring& key, const wchar_t* fallback,
                  const std::wstring& path) {
    std::array<wchar_t, kMaxTextLength + 1> buffer{};
    const DWORD length = GetPrivateProfileStringW(section.c_str(), key.c_str(), fallback, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), path.c_str());
    return std::wstring(buffer.data(), length);
}

}  // namespace

std::optional<std::wstring> ProfileIni::Find(std::wstring_view section, int key) const {
    // The profile functions hand back the default for an absent key and cannot say which it was; a
    // value cannot equal two different defaults, so two reads tell an absent key from any value.
    // (Passing the built-in text as the default would also lose its trailing blanks.)
    const std::wstring sectionName(section);
    const std::wstring keyName = std::to_wstring(key);
    std::wstring value = Read(sectionName, keyName, L"\x01", path_);
    if (value == L"\x01" && Read(sectionName, keyName, L"\x02", path_) == L"\x02") return std::nullopt;
    return value;
}

}  // namespace lang
