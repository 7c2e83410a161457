#include "dfu/memory_map.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace dfu {
namespace {

// The map as lines: the name in quotes, then "ADDRESS SIZE rew" per sector, '-' for a missing
// property.
std::vector<std::string> Lines(const MemoryMap& map) {
    std::vector<std::string> lines{'"' + map.name + '"'};
    for (const Sector& s : map.sectors) {
        char line[64];
        std::snprintf(line, sizeof line, "0x%08X %u %c%c%c", unsigned(s.address), unsigned(s.size),
                      s.readable() ? 'r' : '-', s.erasable() ? 'e' : '-', s.writable() ? 'w' : '-');
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Parsed(const std::string& layout) {
    auto map = ParseMemoryLayout(layout);
    if (!map) return {"error: " + map.error().message()};
    return Lines(*map);
}

TEST(MemoryMap, ParsesTheDeviceLayout) {
    EXPECT_EQ(Parsed("@Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg"),
              (std::vector<std::string>{
                  "\"Velmarquist \"",
                  "0x08000000 16384 rew", "0x08004000 16384 rew", "0x08008000 16384 rew",
                  "0x0800C000 16384 rew", "0x08010000 65536 rew", "0x08020000 131072 rew",
                  "0x08040000 131072 rew", "0x08060000 131072 rew", "0x08080000 131072 rew",
                  "0x080A0000 131072 rew", "0x080C0000 131072 rew", "0x080E0000 131072 rew",
              }));
}

TEST(MemoryMap, ParsesSeveralRegionsUnitsAndProperties) {
    EXPECT_EQ(Parsed("@Settings Area  /0x1FFFC000/01*016 e/0x1FFEC000/01*016 e"),
              (std::vector<std::string>{"\"Settings Area  \"", "0x1FFFC000 16 r-w",
                                        "0x1FFEC000 16 r-w"}));
    EXPECT_EQ(Parsed("@/0x0/1*1Ma,1*512 b,1*2Kc,1*1Kd,1*1Kf,1*1Kg"),
              (std::vector<std::string>{"\"\"", "0x00000000 1048576 r--", "0x00100000 512 -e-",
                                        "0x00100200 2048 re-", "0x00100A00 1024 --w",
                                        "0x00100E00 1024 -ew", "0x00101200 1024 rew"}));
    EXPECT_EQ(Parsed("@top/0XfffFF000/1*4Kg"),
              (std::vector<std::string>{"\"top\"", "0xFFFFF000 4096 rew"}));
}

TEST(MemoryMap, RefusesMalformedStrings) {
    const char* cases[] = {
        "",
        "Flash/0x08000000/4*16Kg",         // no '@'
        "@Flash",                          // no region
        "@Flash/",                         // no address
        "@Flash/08000000/4*16Kg",          // no 0x
        "@Flash/0x/4*16Kg",                // no digits
        "@Flash/0xG8000000/4*16Kg",
        "@Flash/0x08000000",               // no groups
        "@Flash/0x08000000/",
        "@Flash/0x08000000/0*16Kg",        // zero count
        "@Flash/0x08000000/4*0Kg",         // zero size
        "@Flash/0x08000000/4*Kg",
        "@Flash/0x08000000/*16Kg",
        "@Flash/0x08000000/4x16Kg",
        "@Flash/0x08000000/4*16Xg",        // unit
        "@Flash/0x08000000/4*16kg",
        "@Flash/0x08000000/4*16Kh",        // property letter
        "@Flash/0x08000000/4*16K`",
        "@Flash/0x08000000/4*16KG",
        "@Flash/0x08000000/4*16K",
        "@Flash/0x08000000/4*16",
        "@Flash/0x08000000/4*16Kg,",       // dangling separators
        "@Flash/0x08000000/4*16Kg/",
        "@Flash/0x08000000/4*16Kg,,1*1Kg",
        "@Flash/0x08000000/4*16Kg ",
        "@Flash/0x08000000/4 * 16Kg",
        "@Flash/0x08000000/-4*16Kg",
        "@Flash/0x100000000/1*1Kg",        // address beyond 32 bits
        "@Flash/0xFFFFFFFF/2*1 g",         // runs past 4 GiB
        "@Flash/0xFFFFF000/1*4Kg,1*1 g",
        "@Flash/0x00000000/4097*1Mg",
        "@Flash/0x0/1*4294967296 g",
        "@Flash/0x0/1*4096Mg",
        "@Flash/0x0/99999999999999999999*1Kg",
        "@Flash/0x0/1*99999999999999999999Kg",
        "@Flash/0x0/65537*1 g",            // more sectors than any device has
        "@Flash/0x0/40000*1 g/0x100000/40000*1 g",
    };
    for (const char* layout : cases) {
        auto map = ParseMemoryLayout(layout);
        EXPECT_FALSE(map.ok()) << '"' << layout << "\" parsed as "
                               << ::testing::PrintToString(Lines(*map));
    }
}

TEST(MemoryMap, FindsTheSectorHoldingAnAddress) {
    auto map = ParseMemoryLayout("@m/0x08000000/2*16Kg/0x1FFF0000/1*1Ka");
    ASSERT_TRUE(map.ok());
    const struct {
        uint32_t address;
        int sector;  // index, -1 for none
    } cases[] = {{0x07FFFFFF, -1}, {0x08000000, 0}, {0x08003FFF, 0}, {0x08004000, 1},
                 {0x08007FFF, 1},  {0x08008000, -1}, {0x1FFF03FF, 2}, {0xFFFFFFFF, -1}};
    for (const auto& c : cases) {
        const Sector* found = map->find(c.address);
        EXPECT_EQ(found ? int(found - map->sectors.data()) : -1, c.sector) << std::hex << c.address;
    }
}

}  // namespace
}  // namespace dfu
