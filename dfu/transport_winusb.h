// Control transfers to a real device through WinUSB (Windows only): the default transport of
// interface paths there.
#pragma once

#include <windows.h>
#include <winusb.h>

#include "dfu/transport.h"

namespace dfu {

// The system functions the transport calls: the system's own, or a test's stand-ins that
// report failures through SetLastError as the system does.
struct WinUsbApi {
    decltype(&::CreateFileA) createFile = &::CreateFileA;
    decltype(&::CloseHandle) closeHandle = &::CloseHandle;
    decltype(&::WinUsb_Initialize) initialize = &::WinUsb_Initialize;
    decltype(&::WinUsb_Free) free = &::WinUsb_Free;
    decltype(&::WinUsb_QueryInterfaceSettings) queryInterfaceSettings =
        &::WinUsb_QueryInterfaceSettings;
    decltype(&::WinUsb_SetPipePolicy) setPipePolicy = &::WinUsb_SetPipePolicy;
    decltype(&::WinUsb_ControlTransfer) controlTransfer = &::WinUsb_ControlTransfer;
    decltype(&::WinUsb_SetCurrentAlternateSetting) setCurrentAlternateSetting =
        &::WinUsb_SetCurrentAlternateSetting;
};

// Stall, timeout or gone for the errors WinUSB and the I/O manager report for them.
ErrorKind WinUsbErrorKind(DWORD code);

class WinUsbTransport : public Transport {
public:
    // Opens the device interface path and starts WinUSB on it.
    static Result<std::unique_ptr<Transport>> Open(const std::string& interfacePath,
                                                   const WinUsbApi& api = {});
    ~WinUsbTransport() override;
    WinUsbTransport(const WinUsbTransport&) = delete;
    WinUsbTransport& operator=(const WinUsbTransport&) = delete;

    // The handle addresses one interface, the one WinUSB was started on: requests to an
    // interface name that one in the low byte of wIndex.
    Result<size_t> Control(const Setup& setup, std::span<uint8_t> data,
                           std::chrono::milliseconds timeout) override;
    // WinUSB does not pass SET_INTERFACE on; it selects the setting itself.
    Status SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) override;

private:
    WinUsbTransport(const WinUsbApi& api, HANDLE file, WINUSB_INTERFACE_HANDLE usb,
                    uint8_t interfaceNumber)
        : api_(api), file_(file), usb_(usb), interface_(interfaceNumber) {}

    const WinUsbApi api_;
    HANDLE file_;
    WINUSB_INTERFACE_HANDLE usb_;
    uint8_t interface_;
    ULONG timeoutMs_ = 0;  // the pipe policy last set; 0 until the first transfer sets it
};

}  // namespace dfu
