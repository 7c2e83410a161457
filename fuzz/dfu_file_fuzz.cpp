// libFuzzer target: any bytes through the DFU file reader; what it accepts goes through the
// writer and the reader again, and through filtering for both phases against a fixed map. The
// same bytes are also read as a memory layout string.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "dfu/dfu_file.h"
#include "dfu/filter.h"
#include "dfu/memory_map.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

const dfu::MemoryMap& FixedMap() {
    // Mixed properties, a gap, and a sector ending at the top of the address space.
    static const dfu::MemoryMap map = *dfu::ParseMemoryLayout(
        "@Flash /0x08000000/04*016Kg,01*064Kg,01*128Ka/0x1FFF7800/01*512 e,01*016 b"
        "/0xFFFFF000/4*1Kg");
    return map;
}

bool InWritableSector(const dfu::MemoryMap& map, uint64_t address) {
    const dfu::Sector* s = address <= 0xFFFFFFFFu ? map.find(uint32_t(address)) : nullptr;
    return s && s->writable();
}

void FilterBothPhases(const dfu::Image& image) {
    const dfu::MemoryMap& map = FixedMap();
    auto write = dfu::FilterImage(image, 0, map.sectors, dfu::Phase::Write);
    auto erase = dfu::FilterImage(image, 0, map.sectors, dfu::Phase::Erase);
    Check(write.ok() && erase.ok());
    Check(write->size() <= image.size());
    Check(erase->size() == 0);
    for (const dfu::Element& e : write->elements) {
        Check(!e.data.empty());
        Check(InWritableSector(map, e.address));
        Check(InWritableSector(map, e.address + e.data.size() - 1));
    }
    for (const auto* placement : {&*write->placement, &*erase->placement})
        for (size_t i = 1; i < placement->sectors.size(); ++i)
            Check(placement->sectors[i - 1].address < placement->sectors[i].address);
    auto again = dfu::FilterImage(*write, 0, map.sectors, dfu::Phase::Write);
    Check(again.ok() && again->size() == write->size());
}

void ReadFile(std::span<const uint8_t> bytes) {
    auto file = dfu::ParseDfuFile(bytes);
    if (file.ok()) {
        Check(!file->images.empty());
        auto bytes = dfu::SerializeDfuFile(*file);
        Check(bytes.ok());
        auto reread = dfu::ParseDfuFile(*bytes);
        Check(reread.ok() && reread->images.size() == file->images.size());
        for (const dfu::Image& image : file->images) FilterBothPhases(image);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadFile({data, size});
    // Mutations rarely keep the CRC right: read each input a second time with its CRC made
    // right, so that the structure behind the CRC gets explored too.
    if (size >= 4) {
        std::vector<uint8_t> fixed(data, data + size);
        uint32_t crc = uint32_t(crc32(0, fixed.data(), uInt(size - 4))) ^ 0xFFFFFFFFu;
        for (int i = 0; i < 4; ++i) fixed[size - 4 + i] = uint8_t(crc >> (8 * i));
        ReadFile(fixed);
    }

    auto map = dfu::ParseMemoryLayout({reinterpret_cast<const char*>(data), size});
    if (map.ok()) {
        Check(!map->sectors.empty());
        for (const dfu::Sector& s : map->sectors) Check(s.size > 0 && s.end() <= 0x100000000ull);
    }
    return 0;
}
