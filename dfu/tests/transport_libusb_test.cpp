// What the libusb transport decides without a device: the text of its paths and the kinds of
// its errors.
#include <libusb.h>

#include <gtest/gtest.h>

#include "dfu/transport_libusb.h"
#include "dfu/usb_path.h"

namespace dfu {
namespace {

TEST(UsbPath, TextAndLocationRoundTrip) {
    struct Case {
        const char* text;
        UsbLocation location;
    };
    const Case cases[] = {
        {"usb:1-2.3:0", {1, {2, 3}, 0}},
        {"usb:3-1:2", {3, {1}, 2}},
        {"usb:255-1.2.3.4.5.6.7:255", {255, {1, 2, 3, 4, 5, 6, 7}, 255}},
        {"usb:2:1", {2, {}, 1}},  // a device without a port number: the bus alone
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UsbPathText(c.location), c.text);
        EXPECT_EQ(ParseUsbPath(c.text), c.location) << c.text;
    }
}

TEST(UsbPath, RefusesWhatIsNotAPath) {
    for (const char* text :
         {"", "usb:", "usb:1", "usb:1-2", "usb:1-2.3", "usb:1-2.3:", "usb:1-:0", "usb:1-2.:0",
          "usb:256-1:0", "usb:1-1:256", "usb:1-1:0x", "usb:1-1:0:", "usb:-1-1:0", "usb:+1-1:0",
          "usb:1-1.2.3.4.5.6.7.8:0", "USB:1-1:0", "\\\\?\\usb#vid_1209&pid_5a01", "usb:1 -1:0"})
        EXPECT_FALSE(ParseUsbPath(text).has_value()) << text;
}

TEST(LibUsbErrors, StallTimeoutAndGoneByTheirCodes) {
    EXPECT_EQ(LibUsbErrorKind(LIBUSB_ERROR_PIPE), ErrorKind::Stall);
    EXPECT_EQ(LibUsbErrorKind(LIBUSB_ERROR_TIMEOUT), ErrorKind::Timeout);
    EXPECT_EQ(LibUsbErrorKind(LIBUSB_ERROR_NO_DEVICE), ErrorKind::Gone);
    for (int other : {LIBUSB_ERROR_IO, LIBUSB_ERROR_ACCESS, LIBUSB_ERROR_BUSY,
                      LIBUSB_ERROR_OVERFLOW, LIBUSB_ERROR_OTHER})
        EXPECT_EQ(LibUsbErrorKind(other), ErrorKind::Other) << other;
}

TEST(LibUsbTransport, RefusesAPathOfAnotherStack) {
    auto opened = LibUsbTransport::Open("\\\\?\\usb#vid_1209&pid_5a01#1#{3fe809ab}");
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().kind(), ErrorKind::BadParameter);
}

}  // namespace
}  // namespace dfu
