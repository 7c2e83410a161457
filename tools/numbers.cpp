#include "tools/numbers.h"

namespace vqzdfu {

bool ParseNumber(std::string_view text, uint64_t max, uint64_t& value) {
    if (text.empty()) return false;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
        if (digit >= base) return false;
        value = value * uint64_t(base) + uint64_t(digit);
        if (value > max) return false;
    }
    return true;
}

}  // namespace vqzdfu
