// Control transfers to a real device through libusb (Linux): the default transport and lister of
// interface paths there. Paths are those of dfu/usb_path.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dfu/transport.h"

struct libusb_device_handle;

namespace dfu {

// Stall, timeout or gone for the libusb error codes that mean them.
ErrorKind LibUsbErrorKind(int code);

class LibUsbTransport : public Transport {
public:
    // Opens the device at the path's bus and ports and claims the path's interface.
    static Result<std::unique_ptr<Transport>> Open(const std::string& interfacePath);
    ~LibUsbTransport() override;
    LibUsbTransport(const LibUsbTransport&) = delete;
    LibUsbTransport& operator=(const LibUsbTransport&) = delete;

    Result<size_t> Control(const Setup& setup, std::span<uint8_t> data,
                           std::chrono::milliseconds timeout) override;
    Status SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) override;

private:
    LibUsbTransport(libusb_device_handle* handle, uint8_t interfaceNumber)
        : handle_(handle), interface_(interfaceNumber) {}

    libusb_device_handle* handle_;
    uint8_t interface_;  // claimed
};

// Every interface of the DFU class (application-specific class 0xFE, subclass 1, any protocol)
// in any setting of the devices' active configurations, in the bus's order. Read from the
// descriptors the system keeps: no device is opened.
Result<std::vector<std::string>> ListLibUsbInterfaces();

}  // namespace dfu
