// Where detection and device-change notifications reach the system: the interface paths present
// for a device interface class, and arrivals and removals of DFU and HID interfaces delivered to a
// window as WM_DEVICECHANGE with a DEV_BROADCAST_DEVICEINTERFACE_W record.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

namespace device {

class InterfaceSource {
public:
    virtual ~InterfaceSource() = default;

    // The ASCII interface paths of the present interfaces of a class, in enumeration order.
    // Interfaces whose path cannot be read are left out.
    virtual std::vector<std::string> Paths(const GUID& interfaceClass) = 0;

    // From now until the window is destroyed, arrivals and removals of interfaces of the DFU
    // and the HID classes reach the window.
    virtual void RegisterWindow(HWND window) = 0;
};

// The classes a window is registered for, in registration order: DFU, then HID.
std::array<GUID, 2> NotificationClasses();

// The system's device set-up services and device notifications.
InterfaceSource& SystemInterfaces();

}  // namespace device
