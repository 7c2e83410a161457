// What vqzsim-gadget hands FunctionFS and how it picks the setting a command is meant for: the
// parts that need no kernel (the USB bench runs the rest).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/config.h"
#include "tools/gadget/functionfs_descriptors.h"
#include "tools/gadget/setting_map.h"

namespace gadget {
namespace {

sim::Config ThreeSettings() {
    sim::Config config;
    config.alts = {{"@Main /0x08000000/04*016Kg", {}}, {"@Data /0x90000000/08*016Kg", {}},
                   {"@Voice /0x90100000/04*016Kg", {}}};
    return config;
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

TEST(FunctionFsDescriptors, TwoSpeedsOfOneInterfacePerSettingAndTheFunctionalDescriptor) {
    std::vector<uint8_t> blob = FunctionFsDescriptors(ThreeSettings());
    EXPECT_EQ(Le32(blob, 0), 3u);  // the v2 magic
    EXPECT_EQ(Le32(blob, 4), blob.size());
    EXPECT_EQ(Le32(blob, 8), 3u);  // full and high speed
    EXPECT_EQ(Le32(blob, 12), 4u);
    EXPECT_EQ(Le32(blob, 16), 4u);
    const size_t speed = 3 * 9 + 9;
    ASSERT_EQ(blob.size(), 20 + 2 * speed);
    for (size_t copy = 0; copy < 2; ++copy) {
        const uint8_t* at = &blob[20 + copy * speed];
        for (uint8_t alt = 0; alt < 3; ++alt, at += 9) {
            // bInterfaceNumber 0, the setting, no endpoints, DFU mode, the setting's own string
            EXPECT_EQ(std::vector<uint8_t>(at, at + 9), (std::vector<uint8_t>{9, 4, 0, alt, 0, 0xFE, 1, 2,
                                                                             static_cast<uint8_t>(alt + 1)}));
        }
        EXPECT_EQ(std::vector<uint8_t>(at, at + 9), (std::vector<uint8_t>{9, 0x21, 0x0B, 255, 0, 0, 8, 0x1A, 1}));
    }
}

TEST(FunctionFsStrings, OneLanguageAndEachSettingsNameAsGiven) {
    std::vector<uint8_t> blob = FunctionFsStrings(ThreeSettings());
    EXPECT_EQ(Le32(blob, 0), 2u);
    EXPECT_EQ(Le32(blob, 4), blob.size());
    EXPECT_EQ(Le32(blob, 8), 3u);
    EXPECT_EQ(Le32(blob, 12), 1u);
    std::string text(blob.begin() + 18, blob.end());
    EXPECT_EQ(blob[16] | blob[17] << 8, 0x0409);
    using namespace std::string_literals;
    EXPECT_EQ(text, "@Main /0x08000000/04*016Kg\0@Data /0x90000000/08*016Kg\0@Voice /0x90100000/04*016Kg\0"s);
}

TEST(SettingMap, TheSettingWhoseMemoryHoldsTheAddress) {
    sim::Outcome<SettingMap> map = SettingMap::FromConfig(ThreeSettings());
    ASSERT_TRUE(map) << map.error();
    struct Case {
        uint32_t address;
        std::optional<size_t> setting;
    } cases[] = {
        {0x08000000, 0}, {0x0800FFFF, 0}, {0x08010000, std::nullopt}, {0x90000000, 1},
        {0x9001FFFF, 1}, {0x90100000, 2}, {0x9010FFFF, 2},             {0x90110000, std::nullopt},
        {0x00000000, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(map->SettingAt(c.address), c.setting) << std::hex << c.address;
}

TEST(SettingMap, OverlappingSettingsAreRefusedAndOnesWithoutMemoryIgnored) {
    sim::Config config = ThreeSettings();
    config.alts.push_back({"not a layout", {}});
    EXPECT_TRUE(SettingMap::FromConfig(config));
    config.alts.push_back({"@Late /0x9001C000/02*016Kg", {}});
    sim::Outcome<SettingMap> map = SettingMap::FromConfig(config);
    ASSERT_FALSE(map);
    EXPECT_EQ(map.error(), "the memory of alternate settings 1 and 4 overlap at 0x9001c000: on a real bus "
                           "the device picks the setting by address");
}

TEST(CommandAddress, OnlySetAddressAndEraseOfBlockZeroCarryOne) {
    const std::vector<uint8_t> set_address{0x21, 0x00, 0x40, 0x00, 0x08};
    const std::vector<uint8_t> erase{0x41, 0x00, 0x00, 0x10, 0x90};
    const std::vector<uint8_t> mass_erase{0x41};
    const sim::Setup dnload0{0x21, 1, 0, 0, 5}, dnload2{0x21, 1, 2, 0, 5}, upload0{0xA1, 2, 0, 0, 5};
    EXPECT_EQ(CommandAddress(dnload0, set_address), 0x08004000u);
    EXPECT_EQ(CommandAddress(dnload0, erase), 0x90100000u);
    EXPECT_EQ(CommandAddress(dnload0, mass_erase), std::nullopt);
    EXPECT_EQ(CommandAddress(dnload2, set_address), std::nullopt);  // data that merely looks like one
    EXPECT_EQ(CommandAddress(upload0, set_address), std::nullopt);
    EXPECT_EQ(CommandAddress(dnload0, std::vector<uint8_t>{0x92, 0, 0, 0, 8}), std::nullopt);
}

}  // namespace
}  // namespace gadget
