#include "dfu/filter.h"

#include <gtest/gtest.h>

namespace dfu {
namespace {

// Every byte's value derives from its address, so a kept byte that came from the wrong offset
// shows.
uint8_t ByteAt(uint64_t address) { return uint8_t(address ^ (address >> 8) ^ (address >> 24)); }

struct Span {
    uint32_t address;
    uint32_t size;
    bool operator==(const Span&) const = default;
};

void PrintTo(const Span& s, std::ostream* os) {
    *os << std::hex << "{0x" << s.address << ", 0x" << s.size << "}";
}

Image ImageOf(const std::vector<Span>& spans) {
    Image image;
    image.alternate = 5;
    for (const Span& s : spans) {
        Element e{s.address, {}};
        for (uint64_t a = s.address; a < uint64_t(s.address) + s.size; ++a)
            e.data.push_back(ByteAt(a));
        image.elements.push_back(std::move(e));
    }
    return image;
}

std::vector<Span> SpansOf(const Image& image) {
    std::vector<Span> spans;
    for (const Element& e : image.elements) {
        for (size_t i = 0; i < e.data.size(); ++i)
            EXPECT_EQ(e.data[i], ByteAt(e.address + uint64_t(i)))
                << "byte at 0x" << std::hex << e.address + i;
        spans.push_back({e.address, uint32_t(e.data.size())});
    }
    return spans;
}

std::vector<uint32_t> AddressesOf(const std::vector<Sector>& sectors) {
    std::vector<uint32_t> addresses;
    for (const Sector& s : sectors) addresses.push_back(s.address);
    return addresses;
}

// Read-write-erase sectors, a read-only one, one writable but not erasable, a gap, a second
// region, and a sector at the very top of the address space.
const char* const kLayout = "@t/0x1000/2*256 g,1*256 a,1*256 e/0x2000/2*256 g/0xFFFFFF00/1*256 g";

struct FilterCase {
    const char* what;
    std::vector<Span> image;
    std::vector<Span> kept;             // write phase: the bytes kept
    std::vector<uint32_t> writeSectors; // write phase: sectors holding them
    std::vector<uint32_t> eraseSectors; // erase phase: sectors to erase
};

TEST(Filter, KeepsTheWritableBytesAndNamesTheirSectors) {
    auto map = ParseMemoryLayout(kLayout);
    ASSERT_TRUE(map.ok()) << map.error().message();
    const FilterCase cases[] = {
        {"inside one sector", {{0x1010, 0x20}}, {{0x1010, 0x20}}, {0x1000}, {0x1000}},
        {"across two writable sectors", {{0x10F0, 0x20}}, {{0x10F0, 0x20}},
         {0x1000, 0x1100}, {0x1000, 0x1100}},
        {"a read-only sector splits it", {{0x1100, 0x300}}, {{0x1100, 0x100}, {0x1300, 0x100}},
         {0x1100, 0x1300}, {0x1100}},
        {"bytes before the map dropped", {{0x0F00, 0x200}}, {{0x1000, 0x100}}, {0x1000}, {0x1000}},
        {"across the gap between regions", {{0x1300, 0xE00}}, {{0x1300, 0x100}, {0x2000, 0x100}},
         {0x1300, 0x2000}, {0x2000}},
        {"nothing writable", {{0x1200, 0x100}, {0x3000, 0x10}}, {}, {}, {}},
        {"empty elements", {{0x1000, 0}, {0x1010, 0}}, {}, {}, {}},
        {"adjacent elements joined", {{0x1000, 0x10}, {0x1010, 0x10}}, {{0x1000, 0x20}},
         {0x1000}, {0x1000}},
        {"sectors once each, in address order", {{0x2100, 0x10}, {0x1000, 0x10}, {0x2180, 0x10}},
         {{0x2100, 0x10}, {0x1000, 0x10}, {0x2180, 0x10}}, {0x1000, 0x2100}, {0x1000, 0x2100}},
        {"up to the top of the address space", {{0xFFFFFFF0, 0x10}}, {{0xFFFFFFF0, 0x10}},
         {0xFFFFFF00}, {0xFFFFFF00}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Image image = ImageOf(c.image);

        auto write = FilterImage(image, 2, map->sectors, Phase::Write);
        ASSERT_TRUE(write.ok());
        EXPECT_EQ(SpansOf(*write), c.kept);
        ASSERT_TRUE(write->placement.has_value());
        EXPECT_EQ(write->placement->phase, Phase::Write);
        EXPECT_EQ(write->placement->alternate, 2);
        EXPECT_EQ(AddressesOf(write->placement->sectors), c.writeSectors);
        EXPECT_EQ(write->alternate, 5);

        auto erase = FilterImage(image, 2, map->sectors, Phase::Erase);
        ASSERT_TRUE(erase.ok());
        EXPECT_EQ(erase->size(), 0u);
        ASSERT_TRUE(erase->placement.has_value());
        EXPECT_EQ(erase->placement->phase, Phase::Erase);
        EXPECT_EQ(erase->placement->alternate, 2);
        EXPECT_EQ(AddressesOf(erase->placement->sectors), c.eraseSectors);

        // A filtered copy filtered again works on the bytes it holds: nothing changes.
        auto again = FilterImage(*write, 2, map->sectors, Phase::Write);
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(SpansOf(*again), c.kept);
        auto eraseOfWrite = FilterImage(*write, 2, map->sectors, Phase::Erase);
        ASSERT_TRUE(eraseOfWrite.ok());
        EXPECT_EQ(AddressesOf(eraseOfWrite->placement->sectors), c.eraseSectors);
    }
}

TEST(Filter, AnImageFitsOnlyWhenEveryByteIsWritable) {
    auto map = ParseMemoryLayout(kLayout);
    ASSERT_TRUE(map.ok());
    struct FitCase {
        const char* what;
        std::vector<Span> image;
        const char* refusal;  // null: it fits
    };
    const FitCase cases[] = {
        {"inside one sector", {{0x1010, 0x20}}, nullptr},
        {"across writable sectors and regions", {{0x1000, 0x200}, {0x2000, 0x200}}, nullptr},
        {"up to the top of the address space", {{0xFFFFFFF0, 0x10}}, nullptr},
        {"empty elements beside bytes", {{0x1000, 0}, {0x1010, 0x10}}, nullptr},
        {"overlapping sectors", {{0x1000, 0x10}, {0x1000, 0x10}}, nullptr},
        {"wholly outside", {{0x20000000, 0x10000}},
         "bytes 0x20000000..0x2000ffff lie outside the writable memory of alternate setting 2"},
        {"past the end of a region", {{0x2100, 0x200}},
         "bytes 0x00002200..0x000022ff lie outside the writable memory of alternate setting 2"},
        {"starting before the map", {{0x0F00, 0x200}},
         "bytes 0x00000f00..0x00000fff lie outside the writable memory of alternate setting 2"},
        {"a read-only sector inside", {{0x1100, 0x300}},
         "bytes 0x00001200..0x000012ff lie outside the writable memory of alternate setting 2"},
        {"the second element outside", {{0x1000, 0x10}, {0x3000, 0x10}},
         "bytes 0x00003000..0x0000300f lie outside the writable memory of alternate setting 2"},
        {"past 4 GiB", {{0xFFFFFFF0, 0x1000}},
         "bytes 0x100000000..0x100000fef lie outside the writable memory of alternate setting 2"},
        {"no element", {}, "the image holds no byte"},
        {"only empty elements", {{0x1000, 0}, {0x20000000, 0}}, "the image holds no byte"},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Image image = ImageOf(c.image);
        const Status fit = CheckImageFits(image, 2, map->sectors);
        if (!c.refusal) {
            EXPECT_TRUE(fit.ok()) << fit.error().message();
        } else {
            ASSERT_FALSE(fit.ok());
            EXPECT_EQ(fit.error().message(), c.refusal);
        }
        // Both filtered copies carry the verdict to the launch of their phase.
        for (Phase phase : {Phase::Write, Phase::Erase}) {
            auto filtered = FilterImage(image, 2, map->sectors, phase);
            ASSERT_TRUE(filtered.ok());
            EXPECT_EQ(filtered->placement->fit.ok(), !c.refusal) << int(phase);
        }
    }
    EXPECT_FALSE(CheckImageFits(ImageOf({{0x1000, 1}}), 0, {}).ok()) << "no sector at all";
}

TEST(Filter, AnErasedCopyHoldsNothingToFilter) {
    auto map = ParseMemoryLayout(kLayout);
    ASSERT_TRUE(map.ok());
    auto erase = FilterImage(ImageOf({{0x1000, 0x100}}), 0, map->sectors, Phase::Erase);
    ASSERT_TRUE(erase.ok());
    auto write = FilterImage(*erase, 0, map->sectors, Phase::Write);
    ASSERT_TRUE(write.ok());
    EXPECT_TRUE(write->elements.empty());
    EXPECT_TRUE(write->placement->sectors.empty());
}

TEST(Filter, OverlappingSectorsKeepEachByteOnce) {
    auto map = ParseMemoryLayout("@t/0x1000/2*256 g/0x1000/1*512 g");
    ASSERT_TRUE(map.ok());
    auto write = FilterImage(ImageOf({{0x1080, 0x100}}), 0, map->sectors, Phase::Write);
    ASSERT_TRUE(write.ok());
    EXPECT_EQ(SpansOf(*write), (std::vector<Span>{{0x1080, 0x100}}));
    EXPECT_EQ(AddressesOf(write->placement->sectors), (std::vector<uint32_t>{0x1000, 0x1100}));
}

}  // namespace
}  // namespace dfu
