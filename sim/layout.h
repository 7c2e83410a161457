// The memory layout string that names an alternate setting:
//   @name/0xADDRESS/N*SSu p,N*SSu p[/0xADDRESS/groups...]
// N sectors of SS units each (unit ' ' bytes, 'K' 1024, 'M' 1024*1024), property letter 'a'..'g'
// whose value minus 0x60 is a bit set of kReadable, kErasable, kWritable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/outcome.h"

namespace sim {

inline constexpr uint8_t kReadable = 1;
inline constexpr uint8_t kErasable = 2;
inline constexpr uint8_t kWritable = 4;

struct Sector {
    uint32_t address;
    uint32_t size;
    uint8_t properties;
};

struct Region {
    uint32_t address;
    uint32_t size;  // the sum of its sectors
    std::vector<Sector> sectors;
};

struct Layout {
    std::string name;  // between '@' and the first '/', blanks kept
    std::vector<Region> regions;
};

// The most memory one setting may model: it is held in memory and in its store.
inline constexpr uint64_t kMaxModelledBytes = 256ull * 1024 * 1024;

// Refuses anything it cannot read exactly, with the reason.
Outcome<Layout> ParseLayout(std::string_view text);

}  // namespace sim
