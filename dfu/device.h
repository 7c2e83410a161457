// A DFU device's descriptors: the device descriptor, the configuration walked for the DFU
// interface (its alternate settings and the DFU functional descriptor), and string descriptors.
// Parsing is apart from the requests, so byte tables test it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dfu/result.h"
#include "dfu/transport.h"

namespace dfu {

struct DeviceDescriptor {
    std::array<uint8_t, 18> bytes{};  // as the device sent it

    uint16_t idVendor() const { return uint16_t(bytes[8] | bytes[9] << 8); }
    uint16_t idProduct() const { return uint16_t(bytes[10] | bytes[11] << 8); }
    uint16_t bcdDevice() const { return uint16_t(bytes[12] | bytes[13] << 8); }
    uint8_t iSerialNumber() const { return bytes[16]; }
};

// DFU functional descriptor (USB DFU 1.1, section 4.1.3).
struct FunctionalDescriptor {
    uint8_t bLength = 0;
    uint8_t bDescriptorType = 0;
    uint8_t bmAttributes = 0;
    uint16_t wDetachTimeOut = 0;
    uint16_t wTransferSize = 0;
    uint16_t bcdDFUVersion = 0;  // 0 for a 1.0 descriptor of 7 bytes

    bool canDownload() const { return bmAttributes & 0x01; }
    bool canUpload() const { return bmAttributes & 0x02; }
};

struct AlternateSetting {
    uint8_t alternate = 0;
    uint8_t iInterface = 0;  // string descriptor index of its name, 0 = none
};

// What the configuration says about the DFU interface.
struct DfuInterface {
    uint8_t number = 0;
    std::vector<AlternateSetting> alternates;  // in descriptor order
    FunctionalDescriptor functional;
};

Result<DeviceDescriptor> ParseDeviceDescriptor(std::span<const uint8_t> bytes);
// Walks a whole configuration descriptor for the first interface of the DFU class.
Result<DfuInterface> ParseConfiguration(std::span<const uint8_t> bytes);
// A UTF-16LE string descriptor as ASCII; other characters become '?'.
Result<std::string> ParseStringDescriptor(std::span<const uint8_t> bytes);

// Standard requests to the device.
Result<DeviceDescriptor> ReadDeviceDescriptor(Transport& transport);
Result<DfuInterface> ReadDfuInterface(Transport& transport);
Result<std::string> ReadString(Transport& transport, uint8_t index);
Status SelectAlternate(Transport& transport, const DfuInterface& dfu, uint8_t alternate);

}  // namespace dfu
