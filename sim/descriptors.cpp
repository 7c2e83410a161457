#include "sim/descriptors.h"

#include <string>
#include <string_view>

namespace sim {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// UTF-8 to UTF-16 code units; a malformed sequence becomes U+FFFD.
std::u16string Utf16(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        char32_t code = byte;
        if ((byte & 0xE0) == 0xC0) extra = 1, code = byte & 0x1F;
        else if ((byte & 0xF0) == 0xE0) extra = 2, code = byte & 0x0F;
        else if ((byte & 0xF8) == 0xF0) extra = 3, code = byte & 0x07;
        bool ok = byte < 0x80 || (extra > 0 && i + extra < text.size());
        for (size_t k = 1; ok && k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!ok || code > 0x10FFFF) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::vector<uint8_t> Text(std::string_view text) {
    std::u16string units = Utf16(text);
    if (units.size() > 126) units.resize(126);
    std::vector<uint8_t> out{static_cast<uint8_t>(2 + 2 * units.size()), kDescriptorString};
    for (char16_t unit : units) Put16(out, unit);
    return out;
}

}  // namespace

std::vector<uint8_t> DeviceDescriptor(const DeviceConfig& device) {
    std::vector<uint8_t> out{18, kDescriptorDevice};
    Put16(out, 0x0200);  // bcdUSB
    out.insert(out.end(), {0, 0, 0, 64});  // class in the interface; bMaxPacketSize0
    Put16(out, device.vendor_id);
    Put16(out, device.product_id);
    Put16(out, device.bcd_device);
    out.insert(out.end(), {1, 2, 3, 1});  // strings; one configuration
    return out;
}

std::vector<uint8_t> FunctionalDescriptor(const DeviceConfig& device) {
    std::vector<uint8_t> out{9, kDescriptorDfuFunctional, device.attributes};
    Put16(out, device.detach_timeout);
    Put16(out, device.transfer_size);
    Put16(out, device.dfu_version);
    return out;
}

std::vector<uint8_t> ConfigurationDescriptor(const Config& config) {
    std::vector<uint8_t> out{9, kDescriptorConfiguration, 0, 0, 1, 1, 0, 0x80, 50};
    for (size_t alt = 0; alt < config.alts.size(); ++alt) {
        out.insert(out.end(), {9, 4, 0, static_cast<uint8_t>(alt), 0, 0xFE, 1, 2,
                               static_cast<uint8_t>(kFirstAltString + alt)});
    }
    std::vector<uint8_t> functional = FunctionalDescriptor(config.device);
    out.insert(out.end(), functional.begin(), functional.end());
    out[2] = static_cast<uint8_t>(out.size());
    out[3] = static_cast<uint8_t>(out.size() >> 8);
    return out;
}

std::optional<std::vector<uint8_t>> StringDescriptor(const Config& config, uint8_t index) {
    switch (index) {
    case 0: return std::vector<uint8_t>{4, kDescriptorString, 0x09, 0x04};
    case 1: return Text(kMakerText);
    case 2: return Text(kProductText);
    case 3: return Text(config.device.serial);
    default: break;
    }
    size_t alt = index - kFirstAltString;
    if (index < kFirstAltString || alt >= config.alts.size()) return std::nullopt;
    return Text(config.alts[alt].name);
}

}  // namespace sim
