// Letter case of ASCII text (interface paths, mapping names): only A-Z and a-z change, every
// other byte is kept, whatever the locale.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace dfu {

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return AsciiUpper(c); });
    return upper;
}

inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

}  // namespace dfu
