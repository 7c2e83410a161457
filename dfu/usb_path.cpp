#include "dfu/usb_path.h"

#include <charconv>

namespace dfu {

namespace {

constexpr size_t kMaxPorts = 7;

// A decimal number of 0..255 at the front of text, taken off it.
std::optional<uint8_t> TakeNumber(std::string_view& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || value > 255) return std::nullopt;
    text.remove_prefix(size_t(end - text.data()));
    return uint8_t(value);
}

bool Take(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::string UsbPathText(const UsbLocation& location) {
    std::string text = "usb:" + std::to_string(location.bus);
    for (size_t i = 0; i < location.ports.size(); ++i)
        text += (i == 0 ? "-" : ".") + std::to_string(location.ports[i]);
    return text + ":" + std::to_string(location.interfaceNumber);
}

std::optional<UsbLocation> ParseUsbPath(std::string_view text) {
    if (text.substr(0, 4) != "usb:") return std::nullopt;
    text.remove_prefix(4);
    UsbLocation location;
    const auto bus = TakeNumber(text);
    if (!bus) return std::nullopt;
    location.bus = *bus;
    if (Take(text, '-')) {
        do {
            const auto port = TakeNumber(text);
            if (!port || location.ports.size() == kMaxPorts) return std::nullopt;
            location.ports.push_back(*port);
        } while (Take(text, '.'));
    }
    if (!Take(text, ':')) return std::nullopt;
    const auto number = TakeNumber(text);
    if (!number || !text.empty()) return std::nullopt;
    location.interfaceNumber = *number;
    return location;
}

}  // namespace dfu
