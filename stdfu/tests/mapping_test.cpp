// The device's memory map through the boundary.
#include <gtest/gtest.h>

#include "stdfu/tests/boundary_rig.h"

namespace stdfu::testing {
namespace {

using Mapping = BoundaryTest;

TEST_F(Mapping, OneEntryPerAlternateSettingWithItsSectors) {
    sim::Config config = dfu::testing::SmallDevice();
    config.alts = {{"@Velmarquist  /0x08000000/02*016Kg,01*064Ka", {}},
                   {"@Dunor/0x00000000/04*001Kf/0x00100000/1*512 e", {}}};
    Use(config);
    StdfuMapping* mapping = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(STDFUPRT_CreateMappingFromDevice(Path().c_str(), &mapping, &count), STDFU_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(STDFU_LiveHandleCount(), baseline_ + 1) << "a mapping is a live handle";

    EXPECT_EQ(+mapping[0].nAlternate, 0);
    EXPECT_STREQ(mapping[0].szName, "Velmarquist  ");
    ASSERT_EQ(+mapping[0].nSectors, 3u);
    EXPECT_EQ(+mapping[0].pSectors[1].dwStartAddress, 0x08004000u);
    EXPECT_EQ(+mapping[0].pSectors[1].dwSize, 0x4000u);
    EXPECT_EQ(+mapping[0].pSectors[1].bProperties, 7);
    EXPECT_EQ(+mapping[0].pSectors[2].dwSize, 0x10000u);
    EXPECT_EQ(+mapping[0].pSectors[2].bProperties, STDFU_SECTOR_READABLE);

    EXPECT_EQ(+mapping[1].nAlternate, 1);
    EXPECT_STREQ(mapping[1].szName, "Dunor");
    ASSERT_EQ(+mapping[1].nSectors, 5u);
    EXPECT_EQ(+mapping[1].pSectors[3].dwStartAddress, 0x00000C00u);
    EXPECT_EQ(+mapping[1].pSectors[3].bProperties, STDFU_SECTOR_ERASABLE | STDFU_SECTOR_WRITABLE);
    EXPECT_EQ(+mapping[1].pSectors[4].dwStartAddress, 0x00100000u);
    EXPECT_EQ(+mapping[1].pSectors[4].dwSize, 512u);

    EXPECT_EQ(STDFUPRT_DestroyMapping(&mapping), STDFU_OK);
    EXPECT_EQ(mapping, nullptr);
}

TEST_F(Mapping, ALayoutThatDoesNotParseFailsTheCall) {
    const char* layouts[] = {
        "no at sign/0x08000000/04*016Kg",
        "@Velmarquist /0x08000000/04*016Kz",
        "@Velmarquist /08000000/04*016Kg",
        "@Velmarquist",
        "",
    };
    for (const char* layout : layouts) {
        sim::Config config = dfu::testing::SmallDevice();
        config.alts.push_back({layout, {}});
        Use(config);
        StdfuMapping* mapping = nullptr;
        uint32_t count = 7;
        EXPECT_NE(STDFUPRT_CreateMappingFromDevice(Path().c_str(), &mapping, &count), STDFU_OK)
            << '"' << layout << '"';
        EXPECT_EQ(mapping, nullptr);
        EXPECT_EQ(count, 0u);
    }
}

TEST_F(Mapping, DestroyingNullADeadPointerOrTwiceIsHarmless) {
    Use(dfu::testing::SmallDevice());
    StdfuMapping* mapping = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(STDFUPRT_DestroyMapping(&mapping), STDFU_OK);
    ASSERT_EQ(STDFUPRT_CreateMappingFromDevice(Path().c_str(), &mapping, &count), STDFU_OK);
    StdfuMapping* copy = mapping;
    EXPECT_EQ(STDFUPRT_DestroyMapping(&mapping), STDFU_OK);
    EXPECT_NE(STDFUPRT_DestroyMapping(&copy), STDFU_OK);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(STDFUPRT_DestroyMapping(nullptr), STDFU_ERR_BAD_PARAMETER);
    EXPECT_NE(STDFUPRT_CreateMappingFromDevice("\\\\?\\usb#none", &mapping, &count), STDFU_OK);
}

}  // namespace
}  // namespace stdfu::testing
