// Control transfers to a real device through WinUSB (Windows only): the default transport of
// interface paths there.
#pragma once

#include <windows.h>
#include <winusb.h>

#include "dfu/transport.h"

namespace dfu {

class WinUsbTransport : public Transport {
public:
    // Opens the device interface path and starts WinUSB on it.
    static Result<std::unique_ptr<Transport>> Open(const std::string& interfacePath);
    ~WinUsbTransport() override;
    WinUsbTransport(const WinUsbTransport&) = delete;
    WinUsbTransport& operator=(const WinUsbTransport&) = delete;

    Result<size_t> Control(const Setup& setup, std::span<uint8_t> data,
                           std::chrono::milliseconds timeout) override;

private:
    WinUsbTransport(HANDLE file, WINUSB_INTERFACE_HANDLE usb) : file_(file), usb_(usb) {}

    HANDLE file_;
    WINUSB_INTERFACE_HANDLE usb_;
    ULONG timeoutMs_ = 0;  // the pipe policy last set
};

}  // namespace dfu
