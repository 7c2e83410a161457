// Opening a device and reading its descriptors through the boundary.
#include <gtest/gtest.h>

#include "stdfu/tests/boundary_rig.h"

namespace stdfu::testing {
namespace {

using DeviceCalls = BoundaryTest;

TEST_F(DeviceCalls, OpenReadBothDescriptorsClose) {
    sim::Config config = dfu::testing::SmallDevice();
    config.alts.push_back({"@Other /0x00000000/02*001Kg", {}});
    Use(config);
    uint32_t h = 0;
    ASSERT_EQ(STDFU_Open(Path().c_str(), &h), STDFU_OK);
    EXPECT_NE(h, 0u);

    StdfuDeviceDescriptor d{};
    ASSERT_EQ(STDFU_GetDeviceDescriptor(&h, &d), STDFU_OK);
    EXPECT_EQ(+d.bLength, 18);
    EXPECT_EQ(+d.idVendor, 0x1209);
    EXPECT_EQ(+d.idProduct, 0x5A01);
    EXPECT_EQ(+d.bcdDevice, 0x0200);

    StdfuDfuFunctionalDescriptor f{};
    uint32_t iface = 99, alternates = 0;
    ASSERT_EQ(STDFU_GetDFUDescriptor(&h, &iface, &alternates, &f), STDFU_OK);
    EXPECT_EQ(iface, 0u);
    EXPECT_EQ(alternates, 2u);
    EXPECT_EQ(+f.bLength, 9);
    EXPECT_EQ(+f.bDescriptorType, 0x21);
    EXPECT_EQ(+f.bmAttributes, 0x0B);
    EXPECT_EQ(+f.wTransferSize, 2048);
    EXPECT_EQ(+f.bcdDFUVersion, 0x011A);
    // The two counts are optional.
    EXPECT_EQ(STDFU_GetDFUDescriptor(&h, nullptr, nullptr, &f), STDFU_OK);

    EXPECT_EQ(STDFU_Close(&h), STDFU_OK);
    EXPECT_EQ(h, 0u);
}

TEST_F(DeviceCalls, FailuresAreErrorsAndReleasingTwiceIsHarmless) {
    Use(dfu::testing::SmallDevice());
    uint32_t h = 0;
    EXPECT_NE(STDFU_Open("\\\\?\\usb#nothing#{3fe809ab-fb91-4cb5-a643-69670d52366e}", &h),
              STDFU_OK);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(STDFU_Open(nullptr, &h), STDFU_ERR_BAD_PARAMETER);

    StdfuDeviceDescriptor d{};
    StdfuDfuFunctionalDescriptor f{};
    uint32_t dead = 12345;
    EXPECT_NE(STDFU_GetDeviceDescriptor(&dead, &d), STDFU_OK);
    EXPECT_NE(STDFU_GetDFUDescriptor(&dead, nullptr, nullptr, &f), STDFU_OK);

    ASSERT_EQ(STDFU_Open(Path().c_str(), &h), STDFU_OK);
    uint32_t copy = h;
    EXPECT_EQ(STDFU_Close(&h), STDFU_OK);
    EXPECT_NE(STDFU_Close(&copy), STDFU_OK);
    uint32_t none = 0;
    EXPECT_NE(STDFU_Close(&none), STDFU_OK);
}

TEST_F(DeviceCalls, AnUnpluggedDeviceFailsItsRequests) {
    Use(dfu::testing::SmallDevice());
    uint32_t h = 0;
    ASSERT_EQ(STDFU_Open(Path().c_str(), &h), STDFU_OK);
    rig_->bus.Unplug(rig_->device);
    StdfuDeviceDescriptor d{};
    EXPECT_EQ(STDFU_GetDeviceDescriptor(&h, &d), STDFU_ERR_UNEXPECTED);
    EXPECT_EQ(STDFU_Close(&h), STDFU_OK);
}

}  // namespace
}  // namespace stdfu::testing
