// The boundary's codes for the toolkit's kinds: error codes for error kinds, operation numbers
// for the phases of an update.
#pragma once

#include <cstdint>
#include <optional>

#include "dfu/image.h"
#include "dfu/result.h"

namespace stdfu {

uint32_t ErrorCode(const dfu::Error& error);

// STDFU_OP_ERASE and STDFU_OP_UPGRADE name the phases; no other operation does.
std::optional<dfu::Phase> PhaseOf(int64_t operation);

}  // namespace stdfu
