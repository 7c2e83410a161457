#include "controls/progress_fill.h"

#include <gtest/gtest.h>

namespace controls {
namespace {

TEST(ProgressFill, PercentIsTruncatedInDoublePrecision) {
    // 29 / 100.0 * 100.0 is 28.999...: these three show one less than their position.
    for (int position = 0; position <= 100; ++position) {
        const int shown = (position == 29 || position == 57 || position == 58) ? position - 1 : position;
        EXPECT_EQ(PercentText(Fraction(position, 0, 100)), std::to_wstring(shown) + L"%") << position;
    }
}

TEST(ProgressFill, FilledWidthTruncatesTowardZero) {
    struct Case {
        int width, position, lower, upper, filled;
    };
    const Case cases[] = {
        {200, 0, 0, 100, 0},      {200, 100, 0, 100, 200}, {200, 57, 0, 100, 113},
        {201, 50, 0, 100, 100},   {3, 66, 0, 100, 1},      {100, 29, 0, 100, 28},
        {150, 5, 0, 10, 75},      {100, 15, 10, 20, 50},
        // Outside the range: all or nothing, as drawn.
        {100, 150, 0, 100, 100},  {100, -5, 0, 100, 0},
        {100, 2147483647, -2147483647 - 1, 0, 100},
        // An empty range and a control without width fill nothing.
        {100, 50, 100, 100, 0},   {100, 50, 100, 0, 0},    {0, 50, 0, 100, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilledWidth(c.width, Fraction(c.position, c.lower, c.upper)), c.filled)
            << c.width << " " << c.position << " " << c.lower << ".." << c.upper;
    }
}

TEST(ProgressFill, PercentOutsideTheRangeIsShownAsIs) {
    EXPECT_EQ(PercentText(Fraction(150, 0, 100)), L"150%");
    EXPECT_EQ(PercentText(Fraction(-5, 0, 100)), L"-5%");
    EXPECT_EQ(PercentText(Fraction(2147483647, 0, 100)), L"2147483647%");
}

}  // namespace
}  // namespace controls
