#include "dfu/memory_map.h"

namespace dfu {
namespace {

// A map larger than this is refused rather than allocated: real devices have a few thousand
// sectors at most, and a string like "4000000000*001 g" must not exhaust memory.
constexpr uint64_t kMaxSectors = 65536;

class Cursor {
public:
    Cursor(std::string_view text, size_t pos) : text_(text), pos_(pos) {}

    bool done() const { return pos_ == text_.size(); }
    size_t pos() const { return pos_; }
    char peek() const { return done() ? '\0' : text_[pos_]; }
    bool take(char c) {
        if (done() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    char next() { return text_[pos_++]; }

    // Digits of the given base, at most up to limit; false when none or too large.
    bool number(int base, uint64_t limit, uint64_t& value) {
        size_t start = pos_;
        value = 0;
        while (!done()) {
            int digit = Digit(text_[pos_]);
            if (digit < 0 || digit >= base) break;
            value = value * base + uint64_t(digit);
            if (value > limit) return false;
            ++pos_;
        }
        return pos_ > start;
    }

private:
    static int Digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    std::string_view text_;
    size_t pos_;
};

Error Malformed(const Cursor& at, const std::string& why) {
    return Error("memory layout string: " + why + " at offset " + std::to_string(at.pos()));
}

// One group "N*S" unit letter, appended to map from address on.
Status ParseGroup(Cursor& in, uint64_t& address, MemoryMap& map) {
    uint64_t count = 0, size = 0;
    if (!in.number(10, kMaxSectors, count))
        return Malformed(in, "sector count up to 65536 expected");
    if (count == 0) return Malformed(in, "zero sectors");
    if (!in.take('*')) return Malformed(in, "'*' expected");
    if (!in.number(10, 0xFFFFFFFFull, size)) return Malformed(in, "32-bit sector size expected");
    if (in.done()) return Malformed(in, "unit expected");
    switch (in.next()) {
        case ' ': break;
        case 'K': size *= 1024; break;
        case 'M': size *= 1024 * 1024; break;
        default: return Malformed(in, "unit ' ', 'K' or 'M' expected");
    }
    if (size == 0) return Malformed(in, "zero sector size");
    if (size > 0xFFFFFFFFull) return Malformed(in, "sector larger than 4 GiB");
    char letter = in.peek();
    if (letter < 'a' || letter > 'g') return Malformed(in, "property letter a..g expected");
    in.next();
    if (map.sectors.size() + count > kMaxSectors)
        return Malformed(in, "more than " + std::to_string(kMaxSectors) + " sectors");
    if (address + count * size > 0x100000000ull)
        return Malformed(in, "region runs past the 4 GiB address space");
    for (uint64_t i = 0; i < count; ++i) {
        map.sectors.push_back({uint32_t(address), uint32_t(size), uint8_t(letter - 0x60)});
        address += size;
    }
    return {};
}

}  // namespace

const Sector* MemoryMap::find(uint32_t address) const {
    for (const Sector& s : sectors)
        if (address >= s.address && address < s.end()) return &s;
    return nullptr;
}

Result<MemoryMap> ParseMemoryLayout(std::string_view layout) {
    MemoryMap map;
    if (!layout.starts_with('@')) return Malformed(Cursor(layout, 0), "'@' expected");
    size_t slash = layout.find('/');
    if (slash == std::string_view::npos) return Malformed(Cursor(layout, 1), "no memory region");
    map.name = std::string(layout.substr(1, slash - 1));
    Cursor in(layout, slash);

    // Regions: "/0xADDR/" then groups separated by ','.
    while (!in.done()) {
        if (!in.take('/')) return Malformed(in, "'/' expected");
        if (!in.take('0') || !(in.take('x') || in.take('X')))
            return Malformed(in, "'0x' expected");
        uint64_t address = 0;
        if (!in.number(16, 0xFFFFFFFFull, address)) return Malformed(in, "32-bit address expected");
        if (!in.take('/')) return Malformed(in, "'/' expected");
        do {
            if (auto status = ParseGroup(in, address, map); !status) return status.error();
        } while (in.take(','));
    }
    if (map.sectors.empty()) return Malformed(in, "no memory region");
    return map;
}

}  // namespace dfu
