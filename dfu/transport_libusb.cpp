#include "dfu/transport_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <climits>

#include "dfu/usb_path.h"

namespace dfu {

namespace {

// Application-specific class, DFU subclass (USB DFU 1.1, section 4.2.3).
constexpr uint8_t kClassApplication = 0xFE;
constexpr uint8_t kSubclassDfu = 0x01;

Error LibUsbError(const std::string& what, int code) {
    return Error(what + ": " + libusb_strerror(code) + " (" + libusb_error_name(code) + ")",
                 LibUsbErrorKind(code));
}

// One context for the process, made on first use and kept: transports of several threads share
// it, and libusb serialises its event handling itself.
Result<libusb_context*> Context() {
    static libusb_context* context = nullptr;
    static const int made = libusb_init(&context);
    if (made != 0) return LibUsbError("cannot start libusb", made);
    return context;
}

// The devices on the bus, released with the list.
class DeviceList {
public:
    explicit DeviceList(libusb_context* context)
        : count_(libusb_get_device_list(context, &list_)) {}
    ~DeviceList() {
        if (count_ >= 0) libusb_free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    ssize_t count() const { return count_; }
    std::span<libusb_device*> devices() const {
        return count_ < 0 ? std::span<libusb_device*>() : std::span(list_, size_t(count_));
    }

private:
    libusb_device** list_ = nullptr;
    ssize_t count_;
};

UsbLocation LocationOf(libusb_device* device, uint8_t interfaceNumber) {
    uint8_t ports[7];
    const int n = libusb_get_port_numbers(device, ports, int(sizeof ports));
    UsbLocation location{libusb_get_bus_number(device), {}, interfaceNumber};
    if (n > 0) location.ports.assign(ports, ports + n);
    return location;
}

bool IsDfu(const libusb_interface_descriptor& setting) {
    return setting.bInterfaceClass == kClassApplication &&
           setting.bInterfaceSubClass == kSubclassDfu;
}

}  // namespace

ErrorKind LibUsbErrorKind(int code) {
    switch (code) {
        case LIBUSB_ERROR_PIPE: return ErrorKind::Stall;
        case LIBUSB_ERROR_TIMEOUT: return ErrorKind::Timeout;
        case LIBUSB_ERROR_NO_DEVICE: return ErrorKind::Gone;
        default: return ErrorKind::Other;
    }
}

Result<std::unique_ptr<Transport>> LibUsbTransport::Open(const std::string& interfacePath) {
    const auto location = ParseUsbPath(interfacePath);
    if (!location)
        return Error("not a USB interface path: " + interfacePath, ErrorKind::BadParameter);
    auto context = Context();
    if (!context) return context.error();
    const DeviceList list(*context);
    if (list.count() < 0) return LibUsbError("cannot list the USB devices", int(list.count()));
    const auto devices = list.devices();
    const auto found = std::find_if(devices.begin(), devices.end(), [&](libusb_device* d) {
        return LocationOf(d, location->interfaceNumber) == *location;
    });
    if (found == devices.end()) return Error("no device at " + interfacePath, ErrorKind::Gone);

    libusb_device_handle* handle = nullptr;
    if (int opened = libusb_open(*found, &handle); opened != 0) {
        Error error = LibUsbError("cannot open " + interfacePath, opened);
        if (opened == LIBUSB_ERROR_ACCESS)
            error = error.context("no access to the device (is the udev rule installed?)");
        return error;
    }
    // A kernel driver bound to the interface steps aside while it is claimed; where the system
    // cannot do that, the claim below says why.
    (void)libusb_set_auto_detach_kernel_driver(handle, 1);
    if (int claimed = libusb_claim_interface(handle, location->interfaceNumber); claimed != 0) {
        libusb_close(handle);
        return LibUsbError("cannot claim interface " +
                               std::to_string(location->interfaceNumber) + " of " + interfacePath,
                           claimed);
    }
    return std::unique_ptr<Transport>(new LibUsbTransport(handle, location->interfaceNumber));
}

LibUsbTransport::~LibUsbTransport() {
    libusb_release_interface(handle_, interface_);
    libusb_close(handle_);
}

Result<size_t> LibUsbTransport::Control(const Setup& setup, std::span<uint8_t> data,
                                        std::chrono::milliseconds timeout) {
    if (data.size() < setup.wLength) return Error("transfer buffer shorter than wLength");
    // libusb takes 0 as "no timeout": a request always has one here.
    const auto ms = unsigned(std::clamp<int64_t>(timeout.count(), 1, UINT_MAX));
    const int done = libusb_control_transfer(handle_, setup.bmRequestType, setup.bRequest,
                                             setup.wValue, setup.wIndex, data.data(),
                                             setup.wLength, ms);
    if (done < 0) return LibUsbError("control transfer", done);
    return size_t(done);
}

Status LibUsbTransport::SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) {
    if (interfaceNumber != interface_)
        return Error("the claimed interface is " + std::to_string(interface_) + ", not " +
                         std::to_string(interfaceNumber),
                     ErrorKind::BadParameter);
    if (int done = libusb_set_interface_alt_setting(handle_, interfaceNumber, alternate); done != 0)
        return LibUsbError("SET_INTERFACE", done);
    return {};
}

Result<std::vector<std::string>> ListLibUsbInterfaces() {
    auto context = Context();
    if (!context) return context.error();
    const DeviceList list(*context);
    if (list.count() < 0) return LibUsbError("cannot list the USB devices", int(list.count()));
    std::vector<std::string> paths;
    for (libusb_device* device : list.devices()) {
        libusb_config_descriptor* config = nullptr;
        // A device that cannot tell its configuration now is left out, as an absent one.
        if (libusb_get_active_config_descriptor(device, &config) != 0) continue;
        for (uint8_t i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface& iface = config->interface[i];
            const auto settings = std::span(iface.altsetting, size_t(iface.num_altsetting));
            const auto dfu = std::find_if(settings.begin(), settings.end(), IsDfu);
            if (dfu != settings.end())
                paths.push_back(UsbPathText(LocationOf(device, dfu->bInterfaceNumber)));
        }
        libusb_free_config_descriptor(config);
    }
    return paths;
}

}  // namespace dfu
