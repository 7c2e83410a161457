// Reading a device's memory into the host: a backup before flashing, or a check of what a device
// holds.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "dfu/result.h"
#include "dfu/transport.h"

namespace dfu {

// Reads length bytes from address on, from alternate setting `alternate`, on the caller's thread;
// the device is left in dfuIDLE. onRead (may be empty) hears the bytes read so far after each
// block; false from it stops the read with an error.
Result<std::vector<uint8_t>> ReadMemory(Transport& transport, uint8_t alternate, uint32_t address,
                                        uint32_t length,
                                        const std::function<bool(size_t)>& onRead = {});

}  // namespace dfu
