// Numbers on vqzdfu's command line: decimal or 0x-prefixed hexadecimal.
#pragma once

#include <cstdint>
#include <string_view>

namespace vqzdfu {

// False when text is not such a number or exceeds max.
bool ParseNumber(std::string_view text, uint64_t max, uint64_t& value);

}  // namespace vqzdfu
