#include "update/progress_text.h"

#include <algorithm>

namespace update {
namespace {

std::wstring TwoDigits(int64_t value) {
    std::wstring text = std::to_wstring(value);
    if (text.size() < 2) text.insert(0, 2 - text.size(), L'0');
    return text;
}

std::wstring SizeLine(uint64_t kilobytesDone, uint64_t bytesDone, uint64_t kilobytes,
                      uint64_t bytes) {
    return std::to_wstring(kilobytesDone) + L" KB(" + std::to_wstring(bytesDone) + L" Bytes) of " +
           std::to_wstring(kilobytes) + L" KB(" + std::to_wstring(bytes) + L" Bytes)";
}

}  // namespace

std::wstring DurationText(int64_t elapsedSeconds) {
    const int64_t seconds = std::max<int64_t>(elapsedSeconds, 0);
    return TwoDigits(seconds / 3600 % 24) + L":" + TwoDigits(seconds / 60 % 60) + L":" +
           TwoDigits(seconds % 60);
}

std::wstring SizeText(uint32_t imageSize, unsigned percent) {
    const uint64_t done = std::min(percent, 100u);
    const uint64_t kilobytes = imageSize >> 10;
    return SizeLine(done * kilobytes / 100, imageSize * done / 100, kilobytes, imageSize);
}

std::wstring InitialSizeText(uint32_t imageSize) { return SizeText(imageSize, 0); }

SlotSteps StepsOfSlot(const LoadedSlots& loaded, int slot) {
    const int before = static_cast<int>(
        std::count(loaded.begin(), loaded.begin() + std::clamp(slot, 0, kSlotCount), true));
    const int all = static_cast<int>(std::count(loaded.begin(), loaded.end(), true));
    return {2 * before + 1, 2 * before + 2, 2 * all};
}

std::optional<int> FirstLoadedSlot(const LoadedSlots& loaded) { return NextLoadedSlot(loaded, -1); }

std::optional<int> NextLoadedSlot(const LoadedSlots& loaded, int slot) {
    for (int next = std::clamp(slot, -1, kSlotCount) + 1; next < kSlotCount; ++next) {
        if (loaded[static_cast<std::size_t>(next)]) return next;
    }
    return std::nullopt;
}

}  // namespace update
