// Addresses in messages: "0x08004000", at least eight upper-case hexadecimal digits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace dfu {

inline std::string HexAddress(uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(address));
    return text;
}

}  // namespace dfu
