#include "dfu/transport_winusb.h"

namespace dfu {

namespace {

constexpr uint8_t kRecipientMask = 0x1F;
constexpr uint8_t kRecipientInterface = 0x01;

Error LastError(const char* what) {
    const DWORD code = GetLastError();
    const ErrorKind kind = WinUsbErrorKind(code);
    std::string text = std::string(what) + " failed (error " + std::to_string(code);
    if (kind != ErrorKind::Other) text += ": " + std::string(ErrorKindName(kind));
    return Error(text + ")", kind);
}

}  // namespace

ErrorKind WinUsbErrorKind(DWORD code) {
    switch (code) {
        case ERROR_GEN_FAILURE: return ErrorKind::Stall;
        case ERROR_SEM_TIMEOUT: return ErrorKind::Timeout;
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_BAD_COMMAND:
        case ERROR_FILE_NOT_FOUND: return ErrorKind::Gone;
        default: return ErrorKind::Other;
    }
}

Result<std::unique_ptr<Transport>> WinUsbTransport::Open(const std::string& interfacePath,
                                                         const WinUsbApi& api) {
    HANDLE file = api.createFile(interfacePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError("CreateFile").context(interfacePath);
    WINUSB_INTERFACE_HANDLE usb = nullptr;
    if (!api.initialize(file, &usb)) {
        Error error = LastError("WinUsb_Initialize").context(interfacePath);
        api.closeHandle(file);
        return error;
    }
    // The interface this handle holds, in its current setting.
    USB_INTERFACE_DESCRIPTOR descriptor{};
    if (!api.queryInterfaceSettings(usb, 0, &descriptor)) {
        Error error = LastError("WinUsb_QueryInterfaceSettings").context(interfacePath);
        api.free(usb);
        api.closeHandle(file);
        return error;
    }
    return std::unique_ptr<Transport>(
        new WinUsbTransport(api, file, usb, descriptor.bInterfaceNumber));
}

WinUsbTransport::~WinUsbTransport() {
    api_.free(usb_);
    api_.closeHandle(file_);
}

Result<size_t> WinUsbTransport::Control(const Setup& setup, std::span<uint8_t> data,
                                        std::chrono::milliseconds timeout) {
    if (data.size() < setup.wLength) return Error("transfer buffer shorter than wLength");
    // The default pipe's timeout is a policy of the pipe (5 s unless set): set when it changes.
    const auto ms = ULONG(timeout.count());
    if (ms != timeoutMs_) {
        ULONG value = ms;
        if (!api_.setPipePolicy(usb_, 0, PIPE_TRANSFER_TIMEOUT, sizeof value, &value))
            return LastError("WinUsb_SetPipePolicy");
        timeoutMs_ = ms;
    }
    uint16_t index = setup.wIndex;
    if ((setup.bmRequestType & kRecipientMask) == kRecipientInterface)
        index = uint16_t((index & 0xFF00) | interface_);
    WINUSB_SETUP_PACKET packet{setup.bmRequestType, setup.bRequest, setup.wValue, index,
                               setup.wLength};
    ULONG transferred = 0;
    if (!api_.controlTransfer(usb_, packet, data.data(), setup.wLength, &transferred, nullptr))
        return LastError("WinUsb_ControlTransfer");
    return size_t(transferred);
}

Status WinUsbTransport::SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) {
    if (interfaceNumber != interface_)
        return Error("this device handle holds interface " + std::to_string(interface_) +
                         ", not " + std::to_string(interfaceNumber),
                     ErrorKind::BadParameter);
    if (!api_.setCurrentAlternateSetting(usb_, alternate))
        return LastError("WinUsb_SetCurrentAlternateSetting");
    return {};
}

}  // namespace dfu
