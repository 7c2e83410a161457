// The path of a USB interface where the bus is reached through libusb: "usb:BUS-PORT.PORT...:IF"
// (bus number, the port numbers from the root hub down, interface number), e.g. "usb:1-2.3:0".
// It names the same interface for as long as the device stays plugged into the same port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dfu {

struct UsbLocation {
    uint8_t bus = 0;
    std::vector<uint8_t> ports;  // from the root hub down; at most 7 (the depth of a USB tree)
    uint8_t interfaceNumber = 0;

    bool operator==(const UsbLocation&) const = default;
};

std::string UsbPathText(const UsbLocation& location);
// Null for text that is not such a path.
std::optional<UsbLocation> ParseUsbPath(std::string_view text);

}  // namespace dfu
