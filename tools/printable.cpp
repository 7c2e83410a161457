#include "tools/printable.h"

#include <cstdio>

namespace vqzdfu {

std::string Printable(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        char escaped[8];
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", next);
            out += escaped;
            ++i;
        } else {
            if (c == '\\' || c == '"') out += '\\';
            out += char(c);
        }
    }
    return out;
}

}  // namespace vqzdfu
