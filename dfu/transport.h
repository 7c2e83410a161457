// Control transfers on one USB device: the only thing the protocol code needs of the bus.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dfu/result.h"

namespace dfu {

struct Setup {
    uint8_t bmRequestType = 0;  // bit 7 set: device to host
    uint8_t bRequest = 0;
    uint16_t wValue = 0;
    uint16_t wIndex = 0;
    uint16_t wLength = 0;
};

class Transport {
public:
    virtual ~Transport() = default;

    // Device-to-host: reads at most setup.wLength bytes into data and returns how many came.
    // Host-to-device: sends the first setup.wLength bytes of data and returns that count.
    // A failed transfer is an error of kind Stall, Timeout or Gone when the stack tells which,
    // Other when it does not; its message has the stack's own words.
    virtual Result<size_t> Control(const Setup& setup, std::span<uint8_t> data,
                                   std::chrono::milliseconds timeout) = 0;

    // Selects an alternate setting of an interface, the way the stack wants the standard
    // SET_INTERFACE request made. Errors as for Control.
    virtual Status SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) = 0;
};

using TransportOpener =
    std::function<Result<std::unique_ptr<Transport>>(const std::string& interfacePath)>;

// Which transport opens interface paths: WinUSB on Windows, libusb on Linux, unless a test or
// --simulate installs another; none on other systems.
void SetTransportOpener(TransportOpener opener);
Result<std::unique_ptr<Transport>> OpenTransport(const std::string& interfacePath);

// Every DFU interface present, as paths that OpenTransport opens, in enumeration order.
using InterfaceLister = std::function<Result<std::vector<std::string>>()>;

// Which lister finds the interfaces; installed with the opener it belongs to (by default the
// system's: SetupDi on Windows, libusb on Linux).
void SetInterfaceLister(InterfaceLister lister);
Result<std::vector<std::string>> ListInterfaces();

}  // namespace dfu
