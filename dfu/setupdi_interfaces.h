// The device interfaces present on Windows, found through the device set-up services: how the
// DFU interfaces that WinUSB opens are listed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "dfu/result.h"

namespace dfu {

// The interface class the WinUSB driver package registers the device's DFU interface under.
inline constexpr GUID kDfuInterfaceClassGuid{
    0x3FE809AB, 0xFB91, 0x4CB5, {0xA6, 0x43, 0x69, 0x67, 0x0D, 0x52, 0x36, 0x6E}};

// The ASCII paths of the present interfaces of a class, in enumeration order; an interface whose
// path cannot be read is left out.
std::vector<std::string> PresentInterfacePaths(const GUID& interfaceClass);

// The present DFU interfaces: the default lister on Windows.
Result<std::vector<std::string>> ListSetupDiInterfaces();

}  // namespace dfu
