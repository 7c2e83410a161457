#include "dfu/device.h"

#include <algorithm>
#include <cstring>

#include "dfu/protocol.h"

namespace dfu {

namespace {

constexpr uint8_t kStandardIn = 0x80;
constexpr uint8_t kGetDescriptor = 6;

constexpr uint8_t kTypeDevice = 1;
constexpr uint8_t kTypeConfiguration = 2;
constexpr uint8_t kTypeString = 3;
constexpr uint8_t kTypeInterface = 4;
constexpr uint8_t kTypeDfuFunctional = 0x21;

// Application-specific class, DFU subclass (USB DFU 1.1, section 4.2.3).
constexpr uint8_t kClassApplication = 0xFE;
constexpr uint8_t kSubclassDfu = 0x01;

constexpr uint16_t kLangEnglishUs = 0x0409;

uint16_t Le16(std::span<const uint8_t> b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

Result<std::vector<uint8_t>> GetDescriptor(Transport& transport, uint8_t type, uint8_t index,
                                           uint16_t langId, uint16_t length) {
    std::vector<uint8_t> buffer(length);
    Setup setup{kStandardIn, kGetDescriptor, uint16_t(type << 8 | index), langId, length};
    auto got = transport.Control(setup, buffer, kRequestTimeout);
    if (!got) return got.error();
    buffer.resize(std::min<size_t>(*got, length));
    return buffer;
}

}  // namespace

Result<DeviceDescriptor> ParseDeviceDescriptor(std::span<const uint8_t> bytes) {
    DeviceDescriptor d;
    if (bytes.size() < d.bytes.size() || bytes[0] < d.bytes.size() || bytes[1] != kTypeDevice)
        return Error("not a device descriptor");
    std::copy_n(bytes.begin(), d.bytes.size(), d.bytes.begin());
    return d;
}

Result<DfuInterface> ParseConfiguration(std::span<const uint8_t> bytes) {
    if (bytes.size() < 9 || bytes[1] != kTypeConfiguration)
        return Error("not a configuration descriptor");
    const size_t total = std::min<size_t>(Le16(bytes, 2), bytes.size());

    DfuInterface found;
    bool inDfu = false;  // the last interface descriptor seen is the DFU interface's
    bool haveDfu = false;
    bool haveFunctional = false;
    for (size_t at = 0; at < total;) {
        const uint8_t length = bytes[at];
        if (length < 2 || at + length > total)
            return Error("configuration descriptor: bad descriptor length at byte " +
                         std::to_string(at));
        const auto d = bytes.subspan(at, length);
        if (d[1] == kTypeInterface) {
            if (length < 9) return Error("configuration descriptor: short interface descriptor");
            const bool dfuClass = d[5] == kClassApplication && d[6] == kSubclassDfu;
            inDfu = dfuClass && (!haveDfu || d[2] == found.number);
            if (inDfu) {
                found.number = d[2];
                haveDfu = true;
                found.alternates.push_back({d[3], d[8]});
            }
        } else if (d[1] == kTypeDfuFunctional && inDfu && !haveFunctional) {
            if (length < 7) return Error("DFU functional descriptor too short");
            FunctionalDescriptor& f = found.functional;
            f.bLength = d[0];
            f.bDescriptorType = d[1];
            f.bmAttributes = d[2];
            f.wDetachTimeOut = Le16(d, 3);
            f.wTransferSize = Le16(d, 5);
            f.bcdDFUVersion = length >= 9 ? Le16(d, 7) : 0;
            haveFunctional = true;
        }
        at += length;
    }
    if (!haveDfu) return Error("the device has no DFU interface");
    if (!haveFunctional) return Error("the DFU interface has no functional descriptor");
    if (found.functional.wTransferSize == 0) return Error("DFU transfer size is 0");
    return found;
}

Result<std::string> ParseStringDescriptor(std::span<const uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[1] != kTypeString || bytes[0] < 2)
        return Error("not a string descriptor");
    const size_t length = std::min<size_t>(bytes[0], bytes.size());
    std::string text;
    for (size_t at = 2; at + 1 < length; at += 2) {
        const uint16_t unit = Le16(bytes, at);
        text += unit >= 0x20 && unit < 0x7F ? char(unit) : '?';
    }
    return text;
}

Result<DeviceDescriptor> ReadDeviceDescriptor(Transport& transport) {
    auto bytes = GetDescriptor(transport, kTypeDevice, 0, 0, 18);
    if (!bytes) return bytes.error().context("cannot read the device descriptor");
    auto parsed = ParseDeviceDescriptor(*bytes);
    if (!parsed) return parsed.error().context("cannot read the device descriptor");
    return parsed;
}

Result<DfuInterface> ReadDfuInterface(Transport& transport) {
    auto head = GetDescriptor(transport, kTypeConfiguration, 0, 0, 9);
    if (!head) return head.error().context("cannot read the configuration descriptor");
    if (head->size() < 4 || (*head)[1] != kTypeConfiguration)
        return Error("cannot read the configuration descriptor: not one");
    auto whole = GetDescriptor(transport, kTypeConfiguration, 0, 0, Le16(*head, 2));
    if (!whole) return whole.error().context("cannot read the configuration descriptor");
    return ParseConfiguration(*whole);
}

Result<std::string> ReadString(Transport& transport, uint8_t index) {
    if (index == 0) return Error("no string descriptor");
    // The first language the device lists, English (US) when it lists none.
    uint16_t langId = kLangEnglishUs;
    if (auto langs = GetDescriptor(transport, kTypeString, 0, 0, 255);
        langs && langs->size() >= 4 && (*langs)[1] == kTypeString)
        langId = Le16(*langs, 2);
    auto bytes = GetDescriptor(transport, kTypeString, index, langId, 255);
    if (!bytes)
        return bytes.error().context("cannot read string descriptor " + std::to_string(index));
    return ParseStringDescriptor(*bytes);
}

Status SelectAlternate(Transport& transport, const DfuInterface& dfu, uint8_t alternate) {
    const bool known =
        std::any_of(dfu.alternates.begin(), dfu.alternates.end(),
                    [&](const AlternateSetting& a) { return a.alternate == alternate; });
    if (!known)
        return Error("the DFU interface has no alternate setting " + std::to_string(alternate));
    if (auto done = transport.SelectAlternate(dfu.number, alternate); !done)
        return done.error().context("cannot select alternate setting " + std::to_string(alternate));
    return {};
}

}  // namespace dfu
