// What the dialog shows while an update runs, apart from the step text: the elapsed time, the
// amount written, and the step numbers of the image slots.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace update {

// "hh:mm:ss", each at least two digits; whole days are dropped, so 25 hours show as 01:00:00.
// A negative time (the clock was set back during the update) shows as 00:00:00.
std::wstring DurationText(int64_t elapsedSeconds);

// "KD KB(BD Bytes) of K KB(S Bytes)" for an image of S bytes at percent P: K = S / 1024 (whole
// kilobytes), kilobytes done KD = P * K / 100 and bytes done BD = S * P / 100, rounded down and
// worked out in 64 bits, so every image size shows its true figures. A percent above 100 counts
// as 100: nothing is written beyond the image.
std::wstring SizeText(uint32_t imageSize, unsigned percent);

// The size line before a write starts: "0 KB(0 Bytes) of K KB(S Bytes)".
std::wstring InitialSizeText(uint32_t imageSize);

// Which of the three image slots hold an image, slot 0 first.
inline constexpr int kSlotCount = 3;
using LoadedSlots = std::array<bool, kSlotCount>;

// Steps of the whole update for the image in a slot: each loaded image is erased, then written.
struct SlotSteps {
    int erase;  // 2j+1, j the number of loaded slots before this one
    int write;  // 2j+2
    int total;  // 2n, n the number of loaded slots
};
SlotSteps StepsOfSlot(const LoadedSlots& loaded, int slot);

// The first loaded slot, where an update starts; none when nothing is loaded.
std::optional<int> FirstLoadedSlot(const LoadedSlots& loaded);

// The loaded slot that follows a slot in the order 0, 1, 2; none after the last.
std::optional<int> NextLoadedSlot(const LoadedSlots& loaded, int slot);

}  // namespace update
