// The USB descriptors of the simulated device, built from its configuration.
//
// Strings: 0 the language list (0x0409), 1 maker, 2 product, 3 serial number, and from
// kFirstAltString one per alternate setting, its memory layout string.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/config.h"

namespace sim {

inline constexpr uint8_t kDescriptorDevice = 1;
inline constexpr uint8_t kDescriptorConfiguration = 2;
inline constexpr uint8_t kDescriptorString = 3;
inline constexpr uint8_t kDescriptorDfuFunctional = 0x21;
inline constexpr uint8_t kFirstAltString = 4;
inline constexpr const char* kMakerText = "Velmarquist";
inline constexpr const char* kProductText = "Velmarquist GPS (DFU mode)";

std::vector<uint8_t> DeviceDescriptor(const DeviceConfig& device);
// The configuration descriptor, an interface descriptor per alternate setting of interface 0
// (class 0xFE, subclass 1, protocol 2: DFU mode), then the DFU functional descriptor.
std::vector<uint8_t> ConfigurationDescriptor(const Config& config);
std::vector<uint8_t> FunctionalDescriptor(const DeviceConfig& device);
// Texts as UTF-16LE from UTF-8; a descriptor holds at most 126 characters, as USB allows.
std::optional<std::vector<uint8_t>> StringDescriptor(const Config& config, uint8_t index);

}  // namespace sim
