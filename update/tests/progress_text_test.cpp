#include "update/progress_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace update {
namespace {

TEST(DurationText, HoursMinutesSecondsWithDaysDropped) {
    const struct {
        int64_t seconds;
        const wchar_t* text;
    } cases[] = {
        {0, L"00:00:00"},
        {5, L"00:00:05"},
        {59, L"00:00:59"},
        {60, L"00:01:00"},
        {3600 + 2 * 60 + 5, L"01:02:05"},
        {86399, L"23:59:59"},
        {86400, L"00:00:00"},
        {25 * 3600, L"01:00:00"},
        {INT64_MAX, L"15:30:07"},
        // The clock was set back while the update ran.
        {-1, L"00:00:00"},
        {-3600, L"00:00:00"},
        {INT64_MIN, L"00:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(DurationText(c.seconds), c.text) << c.seconds;
}

TEST(SizeText, DoneFiguresRoundDownAndKilobytesComeFromWholeKilobytes) {
    const struct {
        uint32_t size;
        unsigned percent;
        const wchar_t* text;
    } cases[] = {
        {0, 0, L"0 KB(0 Bytes) of 0 KB(0 Bytes)"},
        {1000, 99, L"0 KB(990 Bytes) of 0 KB(1000 Bytes)"},
        {1024, 50, L"0 KB(512 Bytes) of 1 KB(1024 Bytes)"},
        {3 * 1024 + 1023, 50,
         L"1 KB(2047 Bytes) of 3 KB(4095 Bytes)"},  // 50% of 3 KB, not of 4095 bytes
        {65536, 100, L"64 KB(65536 Bytes) of 64 KB(65536 Bytes)"},
        {65536, 1, L"0 KB(655 Bytes) of 64 KB(65536 Bytes)"},
        // 32-bit arithmetic would wrap S * P from 42,949,673 bytes on.
        {42949673, 100, L"41943 KB(42949673 Bytes) of 41943 KB(42949673 Bytes)"},
        {100000000, 73, L"71288 KB(73000000 Bytes) of 97656 KB(100000000 Bytes)"},
        {UINT32_MAX, 100, L"4194303 KB(4294967295 Bytes) of 4194303 KB(4294967295 Bytes)"},
        {UINT32_MAX, 50, L"2097151 KB(2147483647 Bytes) of 4194303 KB(4294967295 Bytes)"},
        // A percent past the end counts as the end.
        {1000, 255, L"0 KB(1000 Bytes) of 0 KB(1000 Bytes)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SizeText(c.size, c.percent), c.text) << c.size << " at " << c.percent;
    }
    EXPECT_EQ(InitialSizeText(UINT32_MAX), L"0 KB(0 Bytes) of 4194303 KB(4294967295 Bytes)");
    EXPECT_EQ(InitialSizeText(0), L"0 KB(0 Bytes) of 0 KB(0 Bytes)");
}

constexpr std::optional<int> kNone;

TEST(SlotSteps, OrderAndNumbersOfTheSteps) {
    const struct {
        LoadedSlots loaded;
        std::optional<int> first;
        std::optional<int> next[kSlotCount];  // after slot 0, 1, 2
        SlotSteps steps[kSlotCount];          // of the loaded slots; zeros elsewhere
    } cases[] = {
        {{false, false, false}, kNone, {kNone, kNone, kNone}, {}},
        {{false, false, true}, 2, {2, 2, kNone}, {{}, {}, {1, 2, 2}}},
        {{true, false, false}, 0, {kNone, kNone, kNone}, {{1, 2, 2}, {}, {}}},
        {{true, false, true}, 0, {2, 2, kNone}, {{1, 2, 4}, {}, {3, 4, 4}}},
        {{false, true, true}, 1, {1, 2, kNone}, {{}, {1, 2, 4}, {3, 4, 4}}},
        {{true, true, false}, 0, {1, kNone, kNone}, {{1, 2, 4}, {3, 4, 4}, {}}},
        {{true, true, true}, 0, {1, 2, kNone}, {{1, 2, 6}, {3, 4, 6}, {5, 6, 6}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.loaded[0] << c.loaded[1] << c.loaded[2]);
        EXPECT_EQ(FirstLoadedSlot(c.loaded), c.first);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            EXPECT_EQ(NextLoadedSlot(c.loaded, slot), c.next[slot]) << "after " << slot;
            if (!c.loaded[slot]) continue;
            const SlotSteps steps = StepsOfSlot(c.loaded, slot);
            EXPECT_EQ(steps.erase, c.steps[slot].erase) << "slot " << slot;
            EXPECT_EQ(steps.write, c.steps[slot].write) << "slot " << slot;
            EXPECT_EQ(steps.total, c.steps[slot].total) << "slot " << slot;
        }
    }
}

TEST(SlotSteps, SlotsOutsideTheThreeFindNothingAndReadNothing) {
    const LoadedSlots all{true, true, true};
    EXPECT_EQ(NextLoadedSlot(all, -5), 0);
    EXPECT_EQ(NextLoadedSlot(all, 3), kNone);
    EXPECT_EQ(NextLoadedSlot(all, INT32_MAX), kNone);
    EXPECT_EQ(NextLoadedSlot(all, INT32_MIN), 0);
    EXPECT_EQ(StepsOfSlot(all, -1).erase, 1);
    EXPECT_EQ(StepsOfSlot(all, INT32_MAX).erase, 7);
}

}  // namespace
}  // namespace update
