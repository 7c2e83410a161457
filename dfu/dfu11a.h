// The 1.1a extension of DFU: commands carried by DNLOAD block 0 (set the address pointer, erase
// a sector), with data blocks 2 and up placed at pointer + (block - 2) * wTransferSize.
// Plain DFU code never calls into this module.
#pragma once

#include <cstdint>

#include "dfu/protocol.h"

namespace dfu::dfu11a {

// Data and upload blocks start at this number; 0 carries commands.
inline constexpr uint16_t kFirstDataBlock = 2;

Status SetAddressPointer(Dfu& dfu, uint32_t address, const SleepUntil& sleep);
Status EraseSector(Dfu& dfu, uint32_t address, const SleepUntil& sleep);

}  // namespace dfu::dfu11a
