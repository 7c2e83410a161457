// The millisecond tick count wraps to 0 every 49.7 days; a pause is measured across the wrap.
#pragma once

#include <cstdint>

namespace update {

// True once `length` milliseconds have passed since `start`: the time elapsed is the unsigned
// difference of the two counts, exact for every length a 32-bit count can hold and across the
// wrap of the count.
constexpr bool PauseOver(uint32_t start, uint32_t now, uint32_t length) {
    return static_cast<uint32_t>(now - start) >= length;
}

}  // namespace update
