// The system's interface source: the device set-up services for the present interfaces, and
// device notifications registered on the window.
#include "device/interface_source.h"
#include "device/interface_path.h"
#include "dfu/setupdi_interfaces.h"

#include <dbt.h>
extern "C" {
#include <hidsdi.h>
}

namespace device {
namespace {

class SystemInterfaceSource : public InterfaceSource {
public:
    std::vector<std::string> Paths(const GUID& interfaceClass) override {
        return dfu::PresentInterfacePaths(interfaceClass);
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
    GUID hid;
    ::HidD_GetHidGuid(&hid);
    return {dfu::kDfuInterfaceClassGuid, hid};
}

InterfaceSource& SystemInterfaces() {
    static SystemInterfaceSource source;
    return source;
}

}  // namespace device
