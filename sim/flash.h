// The flash memory of one alternate setting, written through to its store file.
//
// Store layout: the setting's regions one after the other, in the order the layout string names
// them, each as many bytes as its sectors hold; byte k of a region is the memory at the region's
// address + k. No header. A missing store is created erased (all 0xFF); a short one is padded
// with 0xFF; a longer one keeps its extra bytes untouched.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "sim/dfu_codes.h"
#include "sim/layout.h"
#include "sim/outcome.h"

namespace sim {

class Flash {
public:
    // `store` empty: memory only.
    static Outcome<std::unique_ptr<Flash>> Open(Layout layout, const std::filesystem::path& store);

    const Layout& layout() const { return layout_; }
    const Sector* SectorAt(uint32_t address) const;
    uint32_t FirstAddress() const;
    uint32_t ErasableSectors() const;
    uint64_t WritableBytes() const;

    // Checks without changing anything: Ok, ErrAddress (in no sector) or ErrErase.
    Status CheckErase(uint32_t address) const;
    // Erases the sector holding an address that CheckErase accepted.
    Status Erase(uint32_t address);
    // Erases every erasable sector; returns how many it erased, or ErrWrite on a store failure.
    Status EraseAll(uint32_t& erased);
    // Checks every byte first: ErrAddress (in no sector), ErrWrite (sector not writable), ErrProg
    // (a byte neither erased nor already holding its new value); writes only when all pass.
    Status CheckProgram(uint32_t address, std::span<const uint8_t> bytes) const;
    Status Program(uint32_t address, std::span<const uint8_t> bytes);
    // Reads from readable sectors, stopping at the first byte that is not readable.
    size_t Read(uint32_t address, std::span<uint8_t> out) const;
    // The raw memory, whatever the sectors allow; nothing when any of it lies outside them.
    std::optional<std::vector<uint8_t>> Peek(uint32_t address, size_t length) const;
    // Overwrites memory regardless of the flash rules (the corrupt fault).
    Status Poke(uint32_t address, uint8_t value);

private:
    Flash(Layout layout, std::vector<uint8_t> memory);
    std::optional<size_t> Offset(uint32_t address) const;
    Status Persist(size_t offset, size_t length);

    Layout layout_;
    std::vector<uint8_t> memory_;  // the store's bytes
    std::fstream file_;
    bool has_file_ = false;
};

}  // namespace sim
