// Reading lang.ini: the one question a reader answers is "what is the value of this key, if any".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lang {

// Texts are read into a buffer of 256 characters, so a longer value keeps its first 255.
inline constexpr std::size_t kMaxTextLength = 255;

class IniReader {
public:
    virtual ~IniReader() = default;

    // The value of a key, at most kMaxTextLength characters; nullopt when the key or its section is
    // absent. A key present with an empty value gives an empty text. Section names ignore case.
    virtual std::optional<std::wstring> Find(std::wstring_view section, int key) const = 0;

    // The value, or the fallback when the key is absent.
    std::wstring Text(std::wstring_view section, int key, std::wstring_view fallback) const;

    // The value read as a plain decimal number, or the fallback when the key is absent or its value
    // is not one (empty, a sign, other characters, more than 32 bits).
    uint32_t Number(std::wstring_view section, int key, uint32_t fallback) const;
};

// A plain decimal number of at most 32 bits: digits only, at least one.
std::optional<uint32_t> ParseDecimal(std::wstring_view text);

}  // namespace lang
