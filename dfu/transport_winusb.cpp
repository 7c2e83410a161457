#include "dfu/transport_winusb.h"

namespace dfu {

namespace {

std::string LastError(const char* what) {
    return std::string(what) + " failed (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

Result<std::unique_ptr<Transport>> WinUsbTransport::Open(const std::string& interfacePath) {
    HANDLE file = CreateFileA(interfacePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Error(LastError("CreateFile") + ": " + interfacePath);
    WINUSB_INTERFACE_HANDLE usb = nullptr;
    if (!WinUsb_Initialize(file, &usb)) {
        Error error(LastError("WinUsb_Initialize") + ": " + interfacePath);
        CloseHandle(file);
        return error;
    }
    return std::unique_ptr<Transport>(new WinUsbTransport(file, usb));
}

WinUsbTransport::~WinUsbTransport() {
    WinUsb_Free(usb_);
    CloseHandle(file_);
}

Result<size_t> WinUsbTransport::Control(const Setup& setup, std::span<uint8_t> data,
                                        std::chrono::milliseconds timeout) {
    if (data.size() < setup.wLength) return Error("transfer buffer shorter than wLength");
    // The default control pipe's timeout is a policy of the pipe: set it when it changes.
    const auto ms = ULONG(timeout.count());
    if (ms != timeoutMs_) {
        ULONG value = ms;
        if (!WinUsb_SetPipePolicy(usb_, 0, PIPE_TRANSFER_TIMEOUT, sizeof value, &value))
            return Error(LastError("WinUsb_SetPipePolicy"));
        timeoutMs_ = ms;
    }
    WINUSB_SETUP_PACKET packet{setup.bmRequestType, setup.bRequest, setup.wValue, setup.wIndex,
                               setup.wLength};
    ULONG transferred = 0;
    if (!WinUsb_ControlTransfer(usb_, packet, data.data(), setup.wLength, &transferred, nullptr)) {
        const DWORD code = GetLastError();
        if (code == ERROR_SEM_TIMEOUT) return Error("device did not answer in time");
        if (code == ERROR_GEN_FAILURE) return Error("device stalled the request");
        return Error("control transfer failed (error " + std::to_string(code) + ")");
    }
    return size_t(transferred);
}

}  // namespace dfu
