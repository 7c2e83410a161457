#include "device/interface_path.h"

#include <gtest/gtest.h>

#include <string>

namespace device {
namespace {

constexpr const char* kClassText = "{3FE809AB-FB91-4CB5-A643-69670D52366E}";

TEST(InterfacePath, GuidText) {
    const struct {
        StdfuGuid guid;
        const char* text;
    } cases[] = {
        {kDfuInterfaceClass, kClassText},
        {{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}, "{00000000-0000-0000-0000-000000000000}"},
        {{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
        {{0x0000000A, 0x000B, 0x000C, {1, 2, 3, 4, 5, 6, 7, 8}},
         "{0000000A-000B-000C-0102-030405060708}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GuidText(c.guid), c.text);
        EXPECT_EQ(GuidText(c.guid).size(), 38u);
    }
}

TEST(InterfacePath, EndsWithTheDfuClass) {
    const std::string upper = kClassText;
    const std::string lower = "{3fe809ab-fb91-4cb5-a643-69670d52366e}";
    const struct {
        std::string path;
        bool accepted;
    } cases[] = {
        {"\\\\?\\USB#VID_1234&PID_5678#0001#" + upper, true},
        {"\\\\?\\usb#vid_1234&pid_5678#0001#" + lower, true},
        {upper, true},  // exactly 38 characters: compared whole
        {lower, true},
        {upper.substr(1), false},  // 37 characters: the whole path, too short to match
        {"", false},
        {"\\\\?\\USB#VID_1234&PID_5678#0001#" + upper + "\\", false},
        {"\\\\?\\USB#VID_1234&PID_5678#0001#{3FE809AB-FB91-4CB5-A643-69670D52366F}", false},
        {"\\\\?\\HID#VID_1234&PID_5678#0001#{4D1E55B2-F16F-11CF-88CB-001111000030}", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathEndsWithClass(c.path, kDfuInterfaceClass), c.accepted) << c.path;
}

TEST(InterfacePath, UpperCaseAndSamePath) {
    EXPECT_EQ(UpperCasePath("\\\\?\\usb#vid_1234&pid_abcd#{3fe809ab}"),
              "\\\\?\\USB#VID_1234&PID_ABCD#{3FE809AB}");
    EXPECT_EQ(UpperCasePath("\xE9z"), "\xE9Z");
    EXPECT_TRUE(SameInterfacePath("\\\\?\\usb#vid_1234", "\\\\?\\USB#VID_1234"));
    EXPECT_TRUE(SameInterfacePath("", ""));
    EXPECT_FALSE(SameInterfacePath("\\\\?\\USB#VID_1234", "\\\\?\\USB#VID_12345"));
    EXPECT_FALSE(SameInterfacePath("\\\\?\\USB#VID_1234", ""));
    EXPECT_FALSE(SameInterfacePath("\xE9", "\xC9"));  // only ASCII letters fold
}

TEST(InterfacePath, DfuVersion) {
    const struct {
        uint16_t version;
        DfuVersion check;
    } cases[] = {
        {0x011A, DfuVersion::Accepted}, {0x011B, DfuVersion::Accepted},
        {0x011F, DfuVersion::Accepted}, {0x0000, DfuVersion::IgnoredSilently},
        {0x0119, DfuVersion::Refused},  {0x0120, DfuVersion::Refused},
        {0x0100, DfuVersion::Refused},  {0x0110, DfuVersion::Refused},
        {0xFFFF, DfuVersion::Refused},  {0x1A01, DfuVersion::Refused},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckDfuVersion(c.version), c.check) << std::hex << c.version;
}

}  // namespace
}  // namespace device
