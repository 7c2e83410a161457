#include "sim/flash.h"

#include <algorithm>
#include <system_error>

#include "sim/config.h"

namespace sim {

Outcome<std::unique_ptr<Flash>> Flash::Open(Layout layout, const std::filesystem::path& store) {
    size_t total = 0;
    for (const Region& region : layout.regions) total += region.size;
    std::vector<uint8_t> memory(total, 0xFF);
    std::unique_ptr<Flash> flash(new Flash(std::move(layout), {}));
    if (store.empty()) {
        flash->memory_ = std::move(memory);
        return flash;
    }

    std::error_code ec;
    uintmax_t existing = std::filesystem::exists(store, ec) ? std::filesystem::file_size(store, ec) : 0;
    if (ec) return Failure{"cannot read the store " + Display(store) + ": " + ec.message()};
    if (existing > 0) {
        std::ifstream in(store, std::ios::binary);
        in.read(reinterpret_cast<char*>(memory.data()), static_cast<std::streamsize>(total));
        if (in.bad()) return Failure{"cannot read the store " + Display(store)};
    }
    if (existing < total) {
        // A new store starts erased; a short one is padded as erased. A longer one keeps its
        // extra bytes untouched.
        std::ofstream out(store, std::ios::binary | std::ios::app);
        std::vector<uint8_t> erased(total - existing, 0xFF);
        out.write(reinterpret_cast<const char*>(erased.data()), static_cast<std::streamsize>(erased.size()));
        if (!out) return Failure{"cannot write the store " + Display(store)};
    }
    flash->file_.open(store, std::ios::binary | std::ios::in | std::ios::out);
    if (!flash->file_) return Failure{"cannot open the store " + Display(store)};
    flash->has_file_ = true;
    flash->memory_ = std::move(memory);
    return flash;
}

Flash::Flash(Layout layout, std::vector<uint8_t> memory)
    : layout_(std::move(layout)), memory_(std::move(memory)) {}

const Sector* Flash::SectorAt(uint32_t address) const {
    for (const Region& region : layout_.regions) {
        if (address < region.address || address - region.address >= region.size) continue;
        auto it = std::upper_bound(region.sectors.begin(), region.sectors.end(), address,
                                   [](uint32_t a, const Sector& s) { return a < s.address; });
        return &*(it - 1);
    }
    return nullptr;
}

uint32_t Flash::FirstAddress() const {
    return layout_.regions.empty() ? 0 : layout_.regions.front().address;
}

uint32_t Flash::ErasableSectors() const {
    uint32_t count = 0;
    for (const Region& region : layout_.regions)
        for (const Sector& sector : region.sectors) count += (sector.properties & kErasable) ? 1 : 0;
    return count;
}

uint64_t Flash::WritableBytes() const {
    uint64_t bytes = 0;
    for (const Region& region : layout_.regions)
        for (const Sector& sector : region.sectors)
            bytes += (sector.properties & kWritable) ? sector.size : 0;
    return bytes;
}

std::optional<size_t> Flash::Offset(uint32_t address) const {
    size_t offset = 0;
    for (const Region& region : layout_.regions) {
        if (address >= region.address && address - region.address < region.size)
            return offset + (address - region.address);
        offset += region.size;
    }
    return std::nullopt;
}

Status Flash::Persist(size_t offset, size_t length) {
    if (!has_file_) return Status::Ok;
    file_.seekp(static_cast<std::streamoff>(offset));
    file_.write(reinterpret_cast<const char*>(memory_.data() + offset),
                static_cast<std::streamsize>(length));
    file_.flush();
    if (!file_) {
        file_.clear();
        return Status::ErrWrite;
    }
    return Status::Ok;
}

Status Flash::CheckErase(uint32_t address) const {
    const Sector* sector = SectorAt(address);
    if (!sector) return Status::ErrAddress;
    if (!(sector->properties & kErasable)) return Status::ErrErase;
    return Status::Ok;
}

Status Flash::Erase(uint32_t address) {
    if (Status status = CheckErase(address); status != Status::Ok) return status;
    const Sector* sector = SectorAt(address);
    size_t offset = *Offset(sector->address);
    std::fill_n(memory_.begin() + static_cast<std::ptrdiff_t>(offset), sector->size, 0xFF);
    return Persist(offset, sector->size);
}

Status Flash::EraseAll(uint32_t& erased) {
    erased = 0;
    for (const Region& region : layout_.regions) {
        for (const Sector& sector : region.sectors) {
            if (!(sector.properties & kErasable)) continue;
            if (Status status = Erase(sector.address); status != Status::Ok) return status;
            ++erased;
        }
    }
    return Status::Ok;
}

Status Flash::CheckProgram(uint32_t address, std::span<const uint8_t> bytes) const {
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint64_t at = uint64_t{address} + i;
        if (at > 0xFFFFFFFFull) return Status::ErrAddress;
        const Sector* sector = SectorAt(static_cast<uint32_t>(at));
        if (!sector) return Status::ErrAddress;
        if (!(sector->properties & kWritable)) return Status::ErrWrite;
        uint8_t now = memory_[*Offset(static_cast<uint32_t>(at))];
        if (now != 0xFF && now != bytes[i]) return Status::ErrProg;
    }
    return Status::Ok;
}

Status Flash::Program(uint32_t address, std::span<const uint8_t> bytes) {
    if (Status status = CheckProgram(address, bytes); status != Status::Ok) return status;
    // A block may straddle two regions that follow one another in the address space but not in
    // the store, so each byte finds its own offset.
    size_t run_start = 0, run_length = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        size_t offset = *Offset(address + static_cast<uint32_t>(i));
        memory_[offset] = bytes[i];
        if (run_length > 0 && offset == run_start + run_length) {
            ++run_length;
            continue;
        }
        if (run_length > 0) {
            if (Status status = Persist(run_start, run_length); status != Status::Ok) return status;
        }
        run_start = offset;
        run_length = 1;
    }
    return run_length > 0 ? Persist(run_start, run_length) : Status::Ok;
}

size_t Flash::Read(uint32_t address, std::span<uint8_t> out) const {
    size_t n = 0;
    for (; n < out.size(); ++n) {
        uint64_t at = uint64_t{address} + n;
        if (at > 0xFFFFFFFFull) break;
        const Sector* sector = SectorAt(static_cast<uint32_t>(at));
        if (!sector || !(sector->properties & kReadable)) break;
        out[n] = memory_[*Offset(static_cast<uint32_t>(at))];
    }
    return n;
}

std::optional<std::vector<uint8_t>> Flash::Peek(uint32_t address, size_t length) const {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        uint64_t at = uint64_t{address} + i;
        if (at > 0xFFFFFFFFull) return std::nullopt;
        std::optional<size_t> offset = Offset(static_cast<uint32_t>(at));
        if (!offset) return std::nullopt;
        bytes[i] = memory_[*offset];
    }
    return bytes;
}

Status Flash::Poke(uint32_t address, uint8_t value) {
    std::optional<size_t> offset = Offset(address);
    if (!offset) return Status::ErrAddress;
    memory_[*offset] = value;
    return Persist(*offset, 1);
}

}  // namespace sim
