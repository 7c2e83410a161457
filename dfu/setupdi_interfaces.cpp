#include "dfu/setupdi_interfaces.h"

#include <setupapi.h>

#include <cstring>
#include <memory>

namespace dfu {

namespace {

// Releases the device-information set when the enumeration ends.
struct InfoSet {
    HDEVINFO handle;
    ~InfoSet() { ::SetupDiDestroyDeviceInfoList(handle); }
};

// The path of interface `data`, or none when its detail cannot be read. A size query that gives
// no room for a path means there is none to read.
bool ReadInterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, std::string& path) {
    DWORD size = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    if (size <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)) return false;

    // Allocated as records of the detail's own alignment.
    const size_t records = (size + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) - 1) /
                           sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    auto detail = std::make_unique<SP_DEVICE_INTERFACE_DETAIL_DATA_A[]>(records);
    detail[0].cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!::SetupDiGetDeviceInterfaceDetailA(set, &data, detail.get(), size, nullptr, &info))
        return false;
    // The path ends within the buffer, terminated or not.
    const char* const text = detail[0].DevicePath;
    const size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    path.assign(text, strnlen(text, room));
    return true;
}

}  // namespace

std::vector<std::string> PresentInterfacePaths(const GUID& interfaceClass) {
    std::vector<std::string> paths;
    const HDEVINFO set = ::SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr,
                                                 DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    const InfoSet release{set};
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &data);
         ++index) {
        std::string path;
        if (ReadInterfacePath(set, data, path)) paths.push_back(std::move(path));
    }
    return paths;
}

Result<std::vector<std::string>> ListSetupDiInterfaces() {
    return PresentInterfacePaths(kDfuInterfaceClassGuid);
}

}  // namespace dfu
