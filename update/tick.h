// The millisecond tick count wraps to 0 every 49.7 days; a deadline is compared across the wrap.
#pragma once

#include <cstdint>

namespace update {

// True once `now` is at or past `deadline`, for deadlines less than 24.8 days ahead: a deadline
// set just before the count wraps is still reached just after it.
constexpr bool TickReached(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace update
