// What the gadget writes to FunctionFS's ep0 before it binds: the function's descriptors (one DFU
// interface with an alternate setting per [altN], then the DFU functional descriptor) and its
// strings. FunctionFS numbers interfaces and strings itself; here they count from 0 and 1.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/config.h"

namespace gadget {

// The descriptors block, full and high speed alike (the function has no endpoints).
std::vector<uint8_t> FunctionFsDescriptors(const sim::Config& config);

// The strings block: one language (0x0409), string N + 1 the name of setting N, UTF-8.
std::vector<uint8_t> FunctionFsStrings(const sim::Config& config);

}  // namespace gadget
