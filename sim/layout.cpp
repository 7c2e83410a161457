#include "sim/layout.h"

#include <algorithm>
#include <cctype>

namespace sim {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    size_t pos() const { return pos_; }
    void Skip(size_t n) { pos_ = std::min(pos_ + n, text_.size()); }

    // Decimal digits (leading zeros allowed, as in "016K").
    bool Decimal(uint64_t& value) {
        size_t start = pos_;
        value = 0;
        while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) {
            value = value * 10 + static_cast<uint64_t>(Peek() - '0');
            if (value > 0xFFFFFFFFull) return false;
            ++pos_;
        }
        return pos_ > start;
    }

    bool Hex(uint64_t& value) {
        size_t start = pos_;
        value = 0;
        while (!AtEnd() && std::isxdigit(static_cast<unsigned char>(Peek()))) {
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(Peek())));
            value = value * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
            if (value > 0xFFFFFFFFull) return false;
            ++pos_;
        }
        return pos_ > start;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

Failure Bad(size_t pos, const std::string& what) {
    return Failure{"memory layout, character " + std::to_string(pos + 1) + ": " + what};
}

}  // namespace

Outcome<Layout> ParseLayout(std::string_view text) {
    // Descriptor strings often end in blanks or NULs.
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);

    Reader in(text);
    if (!in.Take('@')) return Bad(0, "does not start with '@'");
    Layout layout;
    size_t slash = text.find('/');
    if (slash == std::string_view::npos) return Bad(text.size(), "no '/' after the name");
    layout.name = std::string(text.substr(1, slash - 1));
    in.Skip(slash - 1);

    uint64_t total = 0;
    while (in.Take('/')) {
        if (!in.Take('0') || !(in.Take('x') || in.Take('X')))
            return Bad(in.pos(), "expected a region address 0x...");
        uint64_t address = 0;
        if (!in.Hex(address)) return Bad(in.pos(), "expected hexadecimal digits");
        if (!in.Take('/')) return Bad(in.pos(), "expected '/' after the region address");
        Region region{static_cast<uint32_t>(address), 0, {}};
        uint64_t next = address;
        do {
            uint64_t count = 0, size = 0;
            if (!in.Decimal(count) || count == 0) return Bad(in.pos(), "expected a sector count");
            if (!in.Take('*')) return Bad(in.pos(), "expected '*' after the sector count");
            if (!in.Decimal(size) || size == 0) return Bad(in.pos(), "expected a sector size");
            if (in.Take('K')) size *= 1024;
            else if (in.Take('M')) size *= 1024 * 1024;
            else in.Take(' ');
            char letter = in.Peek();
            if (letter < 'a' || letter > 'g') return Bad(in.pos(), "expected a property letter a..g");
            in.Take(letter);
            total += count * size;
            if (total > kMaxModelledBytes) return Bad(in.pos(), "more memory than the simulation models");
            if (next + count * size > 0x100000000ull) return Bad(in.pos(), "region passes the end of the address space");
            for (uint64_t i = 0; i < count; ++i) {
                region.sectors.push_back({static_cast<uint32_t>(next), static_cast<uint32_t>(size),
                                          static_cast<uint8_t>(letter - 0x60)});
                next += size;
            }
        } while (in.Take(','));
        region.size = static_cast<uint32_t>(next - address);
        for (const Region& other : layout.regions) {
            bool apart = next <= other.address || region.address >= uint64_t{other.address} + other.size;
            if (!apart) return Bad(in.pos(), "region overlaps an earlier one");
        }
        layout.regions.push_back(std::move(region));
    }
    if (!in.AtEnd()) return Bad(in.pos(), "unexpected character");
    if (layout.regions.empty()) return Bad(in.pos(), "no region");
    return layout;
}

}  // namespace sim
