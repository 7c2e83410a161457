// Checks of a DFU device's identity: its interface path and its DFU version.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stdfu/stdfu.h"

namespace device {

// The device interface class of DFU devices: the class enumerated and watched for, and the one
// whose text form ends the interface path of an accepted device.
inline constexpr StdfuGuid kDfuInterfaceClass{
    0x3FE809AB, 0xFB91, 0x4CB5, {0xA6, 0x43, 0x69, 0x67, 0x0D, 0x52, 0x36, 0x6E}};

// "{3FE809AB-FB91-4CB5-A643-69670D52366E}": 38 characters, upper-case hexadecimal digits.
std::string GuidText(const StdfuGuid& guid);

// ASCII letters in upper case, every other byte as it is: the form in which the selected
// device's interface path is kept.
std::string UpperCasePath(std::string_view path);

// Two interface paths name the same interface when they are equal ignoring ASCII letter case.
bool SameInterfacePath(std::string_view a, std::string_view b);

// Whether the path ends with the text form of the class GUID: its last 38 characters, or the
// whole path when it has 38 or fewer, compared ignoring case.
bool PathEndsWithClass(std::string_view path, const StdfuGuid& interfaceClass);

// bcdDFUVersion of the DFU functional descriptor. Only the 1.1a versions are accepted; a device
// that reports 0 is passed over without a word, any other version is refused with
// kBadDfuVersionText.
enum class DfuVersion { Accepted, IgnoredSilently, Refused };
DfuVersion CheckDfuVersion(uint16_t bcdDfuVersion);

inline constexpr std::string_view kBadDfuVersionText = "Bad DFU protocol version. Should be 1.1A";

}  // namespace device
