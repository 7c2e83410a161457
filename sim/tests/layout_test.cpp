// Memory layout strings, read into regions and sectors or refused with a reason.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/layout.h"

namespace sim::test {
namespace {

using namespace std::string_view_literals;

// One line per sector: address, size, properties.
std::string Describe(const Layout& layout) {
    std::ostringstream out;
    out << '"' << layout.name << "\"\n";
    for (const Region& region : layout.regions) {
        out << std::hex << "region 0x" << region.address << " size 0x" << region.size << '\n';
        for (const Sector& sector : region.sectors)
            out << "  0x" << sector.address << " 0x" << sector.size << ' ' << int(sector.properties) << '\n';
    }
    return out.str();
}

TEST(Layout, ReadsRegionsAndSectors) {
    Outcome<Layout> layout = ParseLayout("@Program Memory  /0x08000000/02*016Kg,01*064Ka/0x1FFF0000/01*512 e,1*1Md \0\0"sv);
    ASSERT_TRUE(layout) << layout.error();
    EXPECT_EQ(Describe(*layout),
              "\"Program Memory  \"\n"
              "region 0x8000000 size 0x18000\n"
              "  0x8000000 0x4000 7\n"
              "  0x8004000 0x4000 7\n"
              "  0x8008000 0x10000 1\n"
              "region 0x1fff0000 size 0x100200\n"
              "  0x1fff0000 0x200 5\n"
              "  0x1fff0200 0x100000 4\n");
}

TEST(Layout, RefusesWhatItCannotReadExactly) {
    const char* bad[] = {
        "Flash/0x08000000/01*1Kg",           // no '@'
        "@Flash",                            // no regions
        "@Flash/",                           // nothing after '/'
        "@Flash/08000000/01*1Kg",            // address without 0x
        "@Flash/0x08000000/01*1Kh",          // property letter out of range
        "@Flash/0x08000000/01*1K",           // no property letter
        "@Flash/0x08000000/0*1Kg",           // no sectors
        "@Flash/0x08000000/01*1Kg,",         // dangling comma
        "@Flash/0x08000000/01*1Kg/0x08000000/01*1Kg",  // overlap
        "@Flash/0xFFFFFC00/02*1Kg",          // past 4 GiB
        "@Flash/0x0/01*1Gg",                 // unknown unit
        "@Flash/0x0/300*1Mg",                // more than the simulation models
        "@Flash/0x0/01*1Kg junk",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        Outcome<Layout> layout = ParseLayout(text);
        EXPECT_FALSE(layout);
        EXPECT_FALSE(layout.error().empty());
    }
}

}  // namespace
}  // namespace sim::test
