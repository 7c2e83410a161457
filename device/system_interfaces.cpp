// The system's interface source: the device set-up services for the present interfaces, and
// device notifications registered on the window.
#include "device/interface_source.h"
#include "device/interface_path.h"

#include <dbt.h>
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

#include <cstring>
#include <memory>

namespace device {
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

class SystemInterfaceSource : public InterfaceSource {
public:
    std::vector<std::string> Paths(const GUID& interfaceClass) override {
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

    void RegisterWindow(HWND window) override {
        for (const GUID& interfaceClass : NotificationClasses()) {
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = interfaceClass;
            // Never withdrawn: the registration ends with the window.
            ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        }
    }
};

}  // namespace

std::array<GUID, 2> NotificationClasses() {
    static_assert(sizeof(GUID) == sizeof(StdfuGuid));
    GUID dfu;
    std::memcpy(&dfu, &kDfuInterfaceClass, sizeof dfu);
    GUID hid;
    ::HidD_GetHidGuid(&hid);
    return {dfu, hid};
}

InterfaceSource& SystemInterfaces() {
    static SystemInterfaceSource source;
    return source;
}

}  // namespace device
