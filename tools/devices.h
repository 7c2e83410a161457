// The DFU devices present, each described as `vqzdfu list` shows it, and the choice of the ones a
// command works on: --device SEL, --all, or the only one present.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dfu/device.h"
#include "dfu/result.h"

namespace vqzdfu {

struct AlternateInfo {
    uint8_t alternate = 0;
    std::string name;  // its string descriptor: the memory layout string
};

struct DeviceInfo {
    dfu::DeviceDescriptor descriptor;
    std::string serial;  // empty when the device names none
    dfu::FunctionalDescriptor functional;
    std::vector<AlternateInfo> alternates;
};

// One DFU interface present: its path, and what it says of itself or why it says nothing.
struct Found {
    std::string path;
    dfu::Result<DeviceInfo> info;
};

dfu::Result<DeviceInfo> DescribeDevice(const std::string& path);

// Every DFU interface present, in enumeration order, each described.
dfu::Result<std::vector<Found>> FindDevices();

// "1209:5A01"
std::string IdText(const dfu::DeviceDescriptor& descriptor);

// SEL of --device: a path as `list` prints it (case ignored), VID:PID in hexadecimal, or
// serial=S.
bool Matches(const std::string& selector, const Found& found);

// The devices a command works on: every one present (all), those SEL matches (exactly one
// allowed), or the only one present. An error when none is left or several are and only one
// may be; it lists the devices present.
dfu::Result<std::vector<Found>> ChooseDevices(const std::optional<std::string>& selector, bool all);

}  // namespace vqzdfu
