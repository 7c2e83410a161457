#include "update/tick.h"

#include <gtest/gtest.h>

namespace {

TEST(PauseOver, LastsEveryLengthTheKeyCanHoldAcrossTheWrapOfTheTickCount) {
    struct Case {
        uint32_t start, now, length;
        bool over;
    };
    constexpr uint32_t kBeforeWrap = 0xFFFFFF00u;  // 256 ms before the count wraps
    const Case cases[] = {
        {1000, 1000, 0, true},
        {1000, 1000, 1, false},
        {1000, 1001, 1, true},
        {1000, 1000 + 0x7FFFFFFEu, 0x7FFFFFFFu, false},
        {1000, 1000 + 0x7FFFFFFFu, 0x7FFFFFFFu, true},
        {1000, 1000 + 0x7FFFFFFFu, 0x80000000u, false},
        {1000, 1000 + 0x80000000u, 0x80000000u, true},
        // The longest pause: the count comes back round to one short of where it began.
        {1000, 1000, 0xFFFFFFFFu, false},
        {1000, 1001, 0xFFFFFFFFu, false},
        {1000, 999, 0xFFFFFFFFu, true},
        // A pause that straddles the wrap ends 1000 ms after it began, not 49 days later.
        {kBeforeWrap, 0xFFFFFFFFu, 1000, false},
        {kBeforeWrap, 743, 1000, false},
        {kBeforeWrap, 744, 1000, true},
        {kBeforeWrap, kBeforeWrap - 1, 0xFFFFFFFFu, true},
        {kBeforeWrap, 5, 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " ms from " << c.start << " at " << c.now);
        EXPECT_EQ(update::PauseOver(c.start, c.now, c.length), c.over);
    }
}

}  // namespace
