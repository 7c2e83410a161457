#include "update/step_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cwchar>
#include <string>

namespace update {
namespace {

TEST(StepTemplate, DefaultsAndTranslationsFormat) {
    const struct {
        const wchar_t* tmpl;
        int percent, step, steps;
        std::wstring text;
    } cases[] = {
        {L"Erase %i%% (%i/%i)", 40, 1, 4, L"Erase 40% (1/4)"},
        {L"Write %i%% (%i/%i)", 100, 6, 6, L"Write 100% (6/6)"},
        {L"Стирание %d%% (%d/%d)", 7, 3, 4, L"Стирание 7% (3/4)"},
        {L"%i/%i: %i%%", 5, 2, 2, L"5/2: 2%"},  // order is the template's: percent, step, steps
        {L"%%%i %i %i", 1, 2, 3, L"%1 2 3"},
        {L"%i%i%i", 1, 2, 3, L"123"},
        {L"%3i|%-3i|%03i", 5, 6, 7, L"  5|6  |007"},
        {L"%+d % d %+ d", 5, 6, 7, L"+5  6 +7"},
        {L"%5.2i %.3d %.0i", 7, 8, 0, L"   07 008 "},
        {L"%#i %-05i %05.1i", 1, 2, 3, L"1 2         3"},
        {L"%i %i %i", -5, INT_MIN, INT_MAX, L"-5 -2147483648 2147483647"},
        {L"%05i %+.3i %- 4i", -5, -6, -7, L"-0005 -006 -7  "},
        {L"%64i%i%.64i", 0, 0, 0, std::wstring(63, L' ') + L"00" + std::wstring(64, L'0')},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(IsStepTemplate(c.tmpl)) << c.tmpl;
        EXPECT_EQ(FormatStepTemplate(c.tmpl, c.percent, c.step, c.steps), c.text) << c.tmpl;
    }
}

// The formatter is our own; for templates that printf also takes, the two agree.
TEST(StepTemplate, AgreesWithPrintfOnValidTemplates) {
    const wchar_t* const templates[] = {
        L"%i %i %i",          L"%d %d %d",        L"%4i %-4i %04i",     L"%+i % i %+ i",
        L"%.3i %6.3i %-6.3i", L"%06.3i %.0i %.i", L"%0-5i %-05i % 05i", L"[%2d%%] %d of %d",
    };
    const int values[] = {0, 1, -1, 9, 10, 99, 100, -100, 12345, INT_MAX, INT_MIN};
    for (const wchar_t* tmpl : templates) {
        ASSERT_TRUE(IsStepTemplate(tmpl)) << tmpl;
        for (int a : values) {
            for (int b : values) {
                for (int c : values) {
                    wchar_t expected[256];
                    std::swprintf(expected, std::size(expected), tmpl, a, b, c);
                    EXPECT_EQ(FormatStepTemplate(tmpl, a, b, c), expected)
                        << tmpl << ' ' << a << ' ' << b << ' ' << c;
                }
            }
        }
    }
}

// A translated template that would make printf read an argument that is not there, or write
// through one, is refused and shown as it is, unfilled.
TEST(StepTemplate, HostileTemplatesAreRefusedAndShownAsTheyAre) {
    const wchar_t* const cases[] = {
        L"%s %i %i",
        L"%i %i %n",
        L"%*d %i %i",
        L"%i %.*i %i",
        L"%d%d%d%d",
        L"%d%d",
        L"Erase",
        L"",
        L"%",
        L"%i %i %i %",
        L"%i %i %i%",
        L"%ld %i %i",
        L"%lld %i %i",
        L"%hhd %i %i",
        L"%zd %i %i",
        L"%5.2i",
        L"%%%i",
        L"%%i %%i %%i",
        L"%u %i %i",
        L"%x %i %i",
        L"%f %i %i",
        L"%c %i %i",
        L"%p %i %i",
        L"%1$i %2$i %3$i",
        L"%I64d %i %i",
        L"%65i %i %i",
        L"%i %.65i %i",
        L"%2147483648i %i %i",
        L"%i %i %99999999999999999999i",
        L"%i %i %-",
        L"%.-1i %i %i",
    };
    for (const wchar_t* tmpl : cases) {
        EXPECT_FALSE(IsStepTemplate(tmpl)) << tmpl;
        EXPECT_EQ(FormatStepTemplate(tmpl, 1, 2, 3), tmpl) << tmpl;
    }
}

TEST(StepTemplate, TextAfterANulIsStillChecked) {
    const std::wstring tmpl(L"%i %i %i\0%n", 11);
    EXPECT_FALSE(IsStepTemplate(tmpl));
    EXPECT_EQ(FormatStepTemplate(tmpl, 1, 2, 3), tmpl);
}

}  // namespace
}  // namespace update
