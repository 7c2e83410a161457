#include "tools/devices.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "dfu/transport.h"
#include "tools/numbers.h"

namespace vqzdfu {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool ParseHexId(std::string_view text, uint16_t& id) {
    uint64_t value = 0;
    if (text.empty() || text.size() > 4 || text.starts_with("0x") || text.starts_with("0X") ||
        !ParseNumber("0x" + std::string(text), 0xFFFF, value))
        return false;
    id = uint16_t(value);
    return true;
}

// "  PATH (1209:5A01, serial SIM0001)" per device: what an error about the choice shows.
std::string Listing(const std::vector<Found>& found) {
    std::string text;
    for (const Found& f : found) {
        text += "\n  " + f.path;
        if (f.info)
            text += " (" + IdText(f.info->descriptor) +
                    (f.info->serial.empty() ? "" : ", serial " + f.info->serial) + ")";
        else
            text += " (" + f.info.error().message() + ")";
    }
    return text;
}

}  // namespace

dfu::Result<DeviceInfo> DescribeDevice(const std::string& path) {
    auto transport = dfu::OpenTransport(path);
    if (!transport) return transport.error();
    DeviceInfo info;
    auto descriptor = dfu::ReadDeviceDescriptor(**transport);
    if (!descriptor) return descriptor.error();
    info.descriptor = *descriptor;
    if (info.descriptor.iSerialNumber() != 0) {
        auto serial = dfu::ReadString(**transport, info.descriptor.iSerialNumber());
        if (!serial) return serial.error().context("cannot read the serial number");
        info.serial = *serial;
    }
    auto iface = dfu::ReadDfuInterface(**transport);
    if (!iface) return iface.error();
    info.functional = iface->functional;
    for (const dfu::AlternateSetting& alt : iface->alternates) {
        AlternateInfo a{alt.alternate, {}};
        if (alt.iInterface != 0) {
            auto name = dfu::ReadString(**transport, alt.iInterface);
            if (!name)
                return name.error().context("alternate setting " + std::to_string(alt.alternate));
            a.name = *name;
        }
        info.alternates.push_back(std::move(a));
    }
    return info;
}

dfu::Result<std::vector<Found>> FindDevices() {
    auto paths = dfu::ListInterfaces();
    if (!paths) return paths.error().context("cannot list the DFU devices");
    std::vector<Found> found;
    for (const std::string& path : *paths) found.push_back({path, DescribeDevice(path)});
    return found;
}

std::string IdText(const dfu::DeviceDescriptor& descriptor) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", unsigned(descriptor.idVendor()),
                  unsigned(descriptor.idProduct()));
    return text;
}

bool Matches(const std::string& selector, const Found& found) {
    if (selector.starts_with("serial="))
        return found.info && found.info->serial == std::string_view(selector).substr(7);
    const size_t colon = selector.find(':');
    uint16_t vid = 0, pid = 0;
    if (colon != std::string::npos && ParseHexId(std::string_view(selector).substr(0, colon), vid) &&
        ParseHexId(std::string_view(selector).substr(colon + 1), pid))
        return found.info && found.info->descriptor.idVendor() == vid &&
               found.info->descriptor.idProduct() == pid;
    return SameIgnoringCase(selector, found.path);
}

dfu::Result<std::vector<Found>> ChooseDevices(const std::optional<std::string>& selector,
                                              bool all) {
    auto present = FindDevices();
    if (!present) return present.error();
    if (present->empty()) return dfu::Error("no DFU device present");
    if (all) return present;
    if (!selector) {
        if (present->size() > 1)
            return dfu::Error(std::to_string(present->size()) +
                              " DFU devices present; choose one with --device SEL or all with "
                              "--all:" + Listing(*present));
        return present;
    }
    std::vector<Found> chosen;
    for (Found& f : *present)
        if (Matches(*selector, f)) chosen.push_back(std::move(f));
    if (chosen.empty())
        return dfu::Error("no DFU device matches '" + *selector + "'; present:" +
                          Listing(*present));
    if (chosen.size() > 1)
        return dfu::Error(std::to_string(chosen.size()) + " DFU devices match '" + *selector +
                          "'; choose one by its path:" + Listing(chosen));
    return chosen;
}

}  // namespace vqzdfu
