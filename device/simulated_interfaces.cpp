#include "device/simulated_interfaces.h"
#include "device/interface_path.h"

#include <dbt.h>

#include <cstddef>
#include <cstring>

namespace device {
namespace {

std::string ClassText(const GUID& interfaceClass) {
    StdfuGuid guid;
    static_assert(sizeof guid == sizeof interfaceClass);
    std::memcpy(&guid, &interfaceClass, sizeof guid);
    return GuidText(guid);
}

// The record the system hands with an interface event: header, class and the path, terminated.
std::unique_ptr<std::byte[]> InterfaceRecord(const GUID& interfaceClass, const std::string& path) {
    const std::wstring name(path.begin(), path.end());  // interface paths are ASCII
    const size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                        (name.size() + 1) * sizeof(wchar_t);
    auto bytes = std::make_unique<std::byte[]>(size);  // zeroed: the name ends terminated
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.get());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_classguid = interfaceClass;
    std::memcpy(record->dbcc_name, name.c_str(), name.size() * sizeof(wchar_t));
    return bytes;
}

// Relay messages: wParam the registered window, lParam the record.
constexpr UINT kRelayArrival = WM_APP;
constexpr UINT kRelayRemoval = WM_APP + 1;

LRESULT CALLBACK RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRelayArrival || message == kRelayRemoval) {
        const WPARAM code = message == kRelayArrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        ::SendMessageW(reinterpret_cast<HWND>(wParam), WM_DEVICECHANGE, code, lParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateRelayWindow() {
    static const ATOM relayClass = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &RelayProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VqzSimulatedInterfaceEvents";
        return ::RegisterClassW(&wc);
    }();
    return ::CreateWindowExW(0, MAKEINTATOM(relayClass), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

SimulatedInterfaces::SimulatedInterfaces(sim::Bus& bus)
    : bus_(bus),
      listener_(bus.Subscribe([this](sim::BusEvent event, const std::string& classGuid,
                                     const std::string& path) { Deliver(event, classGuid, path); })) {}

SimulatedInterfaces::~SimulatedInterfaces() {
    bus_.Unsubscribe(listener_);
    if (relay_) ::DestroyWindow(relay_);
}

std::vector<std::string> SimulatedInterfaces::Paths(const GUID& interfaceClass) {
    return bus_.Paths(ClassText(interfaceClass));
}

void SimulatedInterfaces::RegisterWindow(HWND window) {
    const std::lock_guard lock(mutex_);
    if (!relay_) relay_ = CreateRelayWindow();
    windows_.push_back(window);
}

void SimulatedInterfaces::Deliver(sim::BusEvent event, const std::string& classGuid,
                                  const std::string& path) {
    // Only the classes windows register for are announced.
    for (const GUID& interfaceClass : NotificationClasses()) {
        if (!SameInterfacePath(classGuid, ClassText(interfaceClass))) continue;
        const UINT relayed = event == sim::BusEvent::Arrived ? kRelayArrival : kRelayRemoval;
        const std::lock_guard lock(mutex_);
        if (windows_.empty()) return;
        records_.push_back(InterfaceRecord(interfaceClass, path));
        const LPARAM record = reinterpret_cast<LPARAM>(records_.back().get());
        for (const HWND window : windows_)
            ::PostMessageW(relay_, relayed, reinterpret_cast<WPARAM>(window), record);
        return;
    }
}

}  // namespace device
