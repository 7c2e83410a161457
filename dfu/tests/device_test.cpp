#include "dfu/device.h"

#include <gtest/gtest.h>

namespace dfu {
namespace {

// A configuration: a vendor interface, then the DFU interface with three alternate settings and
// its functional descriptor (attributes 0x0B, detach 255 ms, 2048-byte blocks, version 1.1a).
const std::vector<uint8_t> kConfiguration = {
    9, 2,    54,   0,    2, 1,    0,    0x80, 50,    // configuration, wTotalLength 54
    9, 4,    0,    0,    0, 0xFF, 0,    0,    0,     // interface 0: vendor class
    9, 4,    1,    0,    0, 0xFE, 1,    2,    4,     // interface 1 alt 0: DFU, name string 4
    9, 4,    1,    1,    0, 0xFE, 1,    2,    5,     // alt 1, string 5
    9, 4,    1,    2,    0, 0xFE, 1,    2,    6,     // alt 2, string 6
    9, 0x21, 0x0B, 0xFF, 0, 0x00, 0x08, 0x1A, 0x01,  // DFU functional
};

TEST(Configuration, FindsTheDfuInterfaceItsAlternatesAndFunctionalDescriptor) {
    auto parsed = ParseConfiguration(kConfiguration);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message();
    EXPECT_EQ(parsed->number, 1);
    ASSERT_EQ(parsed->alternates.size(), 3u);
    for (uint8_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parsed->alternates[i].alternate, i);
        EXPECT_EQ(parsed->alternates[i].iInterface, i + 4);
    }
    const FunctionalDescriptor& f = parsed->functional;
    EXPECT_EQ(f.bLength, 9);
    EXPECT_EQ(f.bmAttributes, 0x0B);
    EXPECT_TRUE(f.canDownload());
    EXPECT_TRUE(f.canUpload());
    EXPECT_EQ(f.wDetachTimeOut, 255);
    EXPECT_EQ(f.wTransferSize, 2048);
    EXPECT_EQ(f.bcdDFUVersion, 0x011A);
}

TEST(Configuration, RefusesWhatItCannotWalk) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    auto with = [](size_t at, uint8_t value) {
        auto b = kConfiguration;
        b[at] = value;
        return b;
    };
    const Case cases[] = {
        {"empty", {}},
        {"not a configuration", with(1, 4)},
        {"zero-length descriptor", with(9, 0)},
        {"descriptor past the end", with(45, 30)},
        {"no DFU interface", {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0, 0, 0}},
        {"no functional descriptor",
         std::vector<uint8_t>(kConfiguration.begin(), kConfiguration.end() - 9)},
        {"transfer size 0", with(51, 0)},
    };
    for (const Case& c : cases) EXPECT_FALSE(ParseConfiguration(c.bytes).ok()) << c.what;
}

TEST(Configuration, ReadsADfu10FunctionalDescriptorWithoutVersion) {
    std::vector<uint8_t> bytes = {9, 2,    25, 0, 1, 1, 0,    0x80, 50,   9, 4,    0,   0,
                                  0, 0xFE, 1,  2, 0, 7, 0x21, 0x01, 0xFF, 0, 0x00, 0x04};
    auto parsed = ParseConfiguration(bytes);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message();
    EXPECT_EQ(parsed->functional.wTransferSize, 1024);
    EXPECT_EQ(parsed->functional.bcdDFUVersion, 0);
    EXPECT_FALSE(parsed->functional.canUpload());
}

TEST(StringDescriptor, DecodesUtf16AndReplacesWhatIsNotAscii) {
    const std::vector<uint8_t> bytes = {12, 3, '@', 0, 'V', 0, 0x2F, 0x04, ' ', 0, '/', 0};
    auto text = ParseStringDescriptor(bytes);
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(*text, "@V? /");
    EXPECT_FALSE(ParseStringDescriptor(std::vector<uint8_t>{4, 2, 'a', 0}).ok());
    // A length larger than what came is cut to what came.
    auto cut = ParseStringDescriptor(std::vector<uint8_t>{200, 3, 'a', 0});
    ASSERT_TRUE(cut.ok());
    EXPECT_EQ(*cut, "a");
}

TEST(DeviceDescriptorTest, ReadsIdsAndRefusesOtherDescriptors) {
    const std::vector<uint8_t> bytes = {18,   1,    0x00, 0x02, 0,    0, 0, 64, 0x09,
                                        0x12, 0x01, 0x5A, 0x00, 0x02, 1, 2, 3,  1};
    auto d = ParseDeviceDescriptor(bytes);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d->idVendor(), 0x1209);
    EXPECT_EQ(d->idProduct(), 0x5A01);
    EXPECT_EQ(d->bcdDevice(), 0x0200);
    EXPECT_FALSE(ParseDeviceDescriptor(std::span(bytes).first(17)).ok());
    auto wrongType = bytes;
    wrongType[1] = 2;
    EXPECT_FALSE(ParseDeviceDescriptor(wrongType).ok());
}

}  // namespace
}  // namespace dfu
