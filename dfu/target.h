// One alternate setting of a device's DFU interface as the host writes to it: its number and the
// memory map that its name string describes.
#pragma once

#include <cstdint>
#include <vector>

#include "dfu/memory_map.h"
#include "dfu/result.h"
#include "dfu/transport.h"

namespace dfu {

struct Target {
    uint8_t alternate = 0;
    MemoryMap map;
};

// The device's targets in descriptor order. A name that cannot be read or does not parse fails
// the whole read: a device whose memory is unknown is not written to.
Result<std::vector<Target>> ReadTargets(Transport& transport);

}  // namespace dfu
