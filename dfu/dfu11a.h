// The 1.1a extension of DFU: commands carried by DNLOAD block 0 (set the address pointer, erase
// a sector), with data blocks 2 and up placed at pointer + (block - 2) * wTransferSize.
// Plain DFU code never calls into this module.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "dfu/protocol.h"

namespace dfu::dfu11a {

// Data and upload blocks start at this number; 0 carries commands.
inline constexpr uint16_t kFirstDataBlock = 2;

Status SetAddressPointer(Dfu& dfu, uint32_t address, const SleepUntil& sleep);
Status EraseSector(Dfu& dfu, uint32_t address, const SleepUntil& sleep);

// Reads out.size() bytes of memory from address on: the pointer set from dfuIDLE, then UPLOAD
// blocks from kFirstDataBlock. Block numbers are 16 bits, so a long read sets the pointer again
// every 0xFFFD blocks. The device is left in dfuUPLOAD-IDLE. onRead (may be empty) hears the
// bytes read so far after each block; false from it stops the read.
Status Upload(Dfu& dfu, uint32_t address, std::span<uint8_t> out, uint16_t transferSize,
              const SleepUntil& sleep, const std::function<bool(size_t)>& onRead);

}  // namespace dfu::dfu11a
