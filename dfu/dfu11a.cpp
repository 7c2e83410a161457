#include "dfu/dfu11a.h"

#include <array>
#include <cstdio>

namespace dfu::dfu11a {

namespace {

constexpr uint8_t kSetAddressPointer = 0x21;
constexpr uint8_t kErase = 0x41;

std::string Hex(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(address));
    return text;
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
    if (!done) return done.error().context("cannot set address " + Hex(address));
    return {};
}

Status EraseSector(Dfu& dfu, uint32_t address, const SleepUntil& sleep) {
    auto done = Command(dfu, kErase, address, sleep);
    if (!done) return done.error().context("cannot erase the sector at " + Hex(address));
    return {};
}

}  // namespace dfu::dfu11a
