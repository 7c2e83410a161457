#include "dfu/filter.h"

#include <algorithm>
#include <cstdio>

namespace dfu {
namespace {

// A half-open address range; 64-bit so that an element ending at 4 GiB does not wrap.
struct Range {
    uint64_t begin = 0;
    uint64_t end = 0;
};

// Sorted, non-overlapping ranges covering the sectors that pass the test.
template <class Test>
std::vector<Range> CoverOf(std::span<const Sector> sectors, Test test) {
    std::vector<Range> ranges;
    for (const Sector& s : sectors)
        if (test(s)) ranges.push_back({s.address, s.end()});
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.begin < b.begin; });
    std::vector<Range> merged;
    for (const Range& r : ranges) {
        if (!merged.empty() && r.begin <= merged.back().end)
            merged.back().end = std::max(merged.back().end, r.end);
        else
            merged.push_back(r);
    }
    return merged;
}

// The first range of a sorted cover that ends after address.
std::vector<Range>::const_iterator FirstEndingAfter(const std::vector<Range>& cover,
                                                    uint64_t address) {
    return std::upper_bound(cover.begin(), cover.end(), address,
                            [](uint64_t a, const Range& r) { return a < r.end; });
}

bool Touches(const std::vector<Range>& cover, const Sector& s) {
    auto it = FirstEndingAfter(cover, s.address);
    return it != cover.end() && it->begin < s.end();
}

// The image's bytes that fall in the cover, in element order; pieces that follow one another
// in memory are joined.
std::vector<Element> Keep(const std::vector<Element>& elements, const std::vector<Range>& cover) {
    std::vector<Element> kept;
    for (const Element& e : elements) {
        if (e.data.empty()) continue;
        const uint64_t begin = e.address;
        const uint64_t end = begin + e.data.size();
        for (auto it = FirstEndingAfter(cover, begin); it != cover.end() && it->begin < end;
             ++it) {
            const uint64_t lo = std::max(begin, it->begin);
            const uint64_t hi = std::min(end, it->end);
            auto first = e.data.begin() + ptrdiff_t(lo - begin);
            auto last = e.data.begin() + ptrdiff_t(hi - begin);
            if (!kept.empty() && kept.back().address + uint64_t(kept.back().data.size()) == lo) {
                kept.back().data.insert(kept.back().data.end(), first, last);
            } else {
                kept.push_back({uint32_t(lo), std::vector<uint8_t>(first, last)});
            }
        }
    }
    return kept;
}

// The sectors that pass the test and hold any kept byte, once each, in address order.
template <class Test>
std::vector<Sector> SectorsHolding(const std::vector<Element>& kept,
                                   std::span<const Sector> sectors, Test test) {
    std::vector<Range> bytes;
    for (const Element& e : kept) bytes.push_back({e.address, e.address + e.data.size()});
    std::sort(bytes.begin(), bytes.end(),
              [](const Range& a, const Range& b) { return a.begin < b.begin; });

    std::vector<Sector> held;
    for (const Sector& s : sectors)
        if (test(s) && Touches(bytes, s)) held.push_back(s);
    std::stable_sort(held.begin(), held.end(),
                     [](const Sector& a, const Sector& b) { return a.address < b.address; });
    // Sectors are erased and written by address: one address, one entry.
    held.erase(std::unique(held.begin(), held.end(),
                           [](const Sector& a, const Sector& b) { return a.address == b.address; }),
               held.end());
    return held;
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

Status CheckImageFits(const Image& image, uint8_t alternate, std::span<const Sector> sectors) {
    const std::vector<Range> cover = CoverOf(sectors, [](const Sector& s) { return s.writable(); });
    bool holdsAByte = false;
    for (const Element& e : image.elements) {
        if (e.data.empty()) continue;
        holdsAByte = true;
        uint64_t at = e.address;
        const uint64_t end = at + e.data.size();
        // Merged ranges never touch, so a range that does not hold `at` leaves a gap before it.
        for (auto it = FirstEndingAfter(cover, at); at < end; ++it) {
            if (it == cover.end() || it->begin > at) {
                const uint64_t gapEnd = it == cover.end() ? end : std::min(end, it->begin);
                return Error("bytes " + Hex(at) + ".." + Hex(gapEnd - 1) +
                             " lie outside the writable memory of alternate setting " +
                             std::to_string(alternate));
            }
            at = it->end;
        }
    }
    if (!holdsAByte) return Error("the image holds no byte");
    return {};
}

Result<Image> FilterImage(const Image& image, uint8_t alternate, std::span<const Sector> sectors,
                          Phase phase) {
    auto writable = [](const Sector& s) { return s.writable(); };
    auto erasable = [](const Sector& s) { return s.erasable(); };

    Image filtered;
    filtered.alternate = image.alternate;
    filtered.name = image.name;
    std::vector<Element> kept = Keep(image.elements, CoverOf(sectors, writable));
    Placement placement{phase, alternate, {}, CheckImageFits(image, alternate, sectors)};
    if (phase == Phase::Write) {
        placement.sectors = SectorsHolding(kept, sectors, writable);
        filtered.elements = std::move(kept);
    } else {
        placement.sectors = SectorsHolding(kept, sectors, erasable);
    }
    filtered.placement = std::move(placement);
    return filtered;
}

}  // namespace dfu
