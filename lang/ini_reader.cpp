#include "lang/ini_reader.h"

#include <limits>

namespace lang {

std::wstring IniReader::Text(std::wstring_view section, int key, std::wstring_view fallback) const {
    if (auto value = Find(section, key)) return std::move(*value);
    return std::wstring(fallback);
}

uint32_t IniReader::Number(std::wstring_view section, int key, uint32_t fallback) const {
    const auto value = Find(section, key);
    if (!value) return fallback;
    return ParseDecimal(*value).value_or(fallback);
}

std::optional<uint32_t> ParseDecimal(std::wstring_view text) {
    if (text.empty()) return std::nullopt;
    uint64_t number = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        number = number * 10 + static_cast<uint64_t>(c - L'0');
        if (number > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    }
    return static_cast<uint32_t>(number);
}

}  // namespace lang
