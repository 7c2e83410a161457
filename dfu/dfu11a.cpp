#include "dfu/dfu11a.h"

#include <algorithm>
#include <array>

#include "dfu/hex.h"

namespace dfu::dfu11a {

namespace {

constexpr uint8_t kSetAddressPointer = 0x21;
constexpr uint8_t kErase = 0x41;

Status ToIdle(Dfu& dfu, const SleepUntil& sleep) {
    auto idle = dfu.ToIdle(sleep);
    if (!idle) return idle.error().context("cannot bring the device to dfuIDLE");
    return {};
}

// A command takes effect at the GETSTATUS that follows it.
Status Command(Dfu& dfu, uint8_t command, uint32_t address, const SleepUntil& sleep) {
    const std::array<uint8_t, 5> bytes{command, uint8_t(address), uint8_t(address >> 8),
                                       uint8_t(address >> 16), uint8_t(address >> 24)};
    if (auto sent = dfu.Dnload(0, bytes); !sent) return sent;
    auto status = dfu.WaitWhileBusy(sleep);
    if (!status) return status.error();
    return {};
}

}  // namespace

Status SetAddressPointer(Dfu& dfu, uint32_t address, const SleepUntil& sleep) {
    auto done = Command(dfu, kSetAddressPointer, address, sleep);
    if (!done) return done.error().context("cannot set address " + HexAddress(address));
    return {};
}

Status EraseSector(Dfu& dfu, uint32_t address, const SleepUntil& sleep) {
    auto done = Command(dfu, kErase, address, sleep);
    if (!done) return done.error().context("cannot erase the sector at " + HexAddress(address));
    return {};
}

Status Upload(Dfu& dfu, uint32_t address, std::span<uint8_t> out, uint16_t transferSize,
              const SleepUntil& sleep, const std::function<bool(size_t)>& onRead) {
    if (transferSize == 0) return Error("DFU transfer size is 0");
    const size_t piece = size_t(0xFFFF - kFirstDataBlock) * transferSize;
    for (size_t offset = 0; offset < out.size(); offset += piece) {
        const uint64_t start = uint64_t(address) + offset;
        // The pointer is set from an idle state, and UPLOAD starts from dfuIDLE.
        if (auto idle = ToIdle(dfu, sleep); !idle) return idle;
        if (auto set = SetAddressPointer(dfu, uint32_t(start), sleep); !set) return set;
        if (auto idle = ToIdle(dfu, sleep); !idle) return idle;
        const auto part = out.subspan(offset, std::min(piece, out.size() - offset));
        uint16_t block = kFirstDataBlock;
        for (size_t at = 0; at < part.size(); at += transferSize, ++block) {
            const auto chunk = part.subspan(at, std::min<size_t>(transferSize, part.size() - at));
            auto got = dfu.Upload(block, chunk);
            if (!got) return got.error().context("cannot read " + HexAddress(start + at));
            if (*got != chunk.size())
                return Error("the device sent " + std::to_string(*got) + " of " +
                             std::to_string(chunk.size()) + " bytes at " + HexAddress(start + at));
            if (onRead && !onRead(offset + at + chunk.size())) return Error("stopped");
        }
    }
    return {};
}

}  // namespace dfu::dfu11a
