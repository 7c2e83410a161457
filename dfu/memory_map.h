// The memory map of one alternate setting, parsed from its memory layout string
// "@name/0xADDR/N*SU p,.../0xADDR/...".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dfu/result.h"

namespace dfu {

struct Sector {
    uint32_t address = 0;
    uint32_t size = 0;
    uint8_t properties = 0;  // bits: 1 readable, 2 erasable, 4 writable

    bool readable() const { return properties & 1; }
    bool erasable() const { return properties & 2; }
    bool writable() const { return properties & 4; }
    uint64_t end() const { return uint64_t(address) + size; }
};

struct MemoryMap {
    std::string name;             // text between '@' and the first '/', trailing blanks kept
    std::vector<Sector> sectors;  // in string order

    // The sector that holds address, or null.
    const Sector* find(uint32_t address) const;
};

// A string that does not parse is an error, never a guess.
Result<MemoryMap> ParseMemoryLayout(std::string_view layout);

}  // namespace dfu
