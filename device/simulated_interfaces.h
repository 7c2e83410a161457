// The interface source of the simulated bus: its present interfaces, and its arrivals and removals
// sent to the registered windows on their own thread, as the system sends them.
#pragma once

#include "device/interface_source.h"
#include "sim/bus.h"

#include <memory>
#include <mutex>
#include <vector>

namespace device {

class SimulatedInterfaces : public InterfaceSource {
public:
    // The bus must outlive this source. The windows registered belong to one thread, which also
    // destroys the source.
    explicit SimulatedInterfaces(sim::Bus& bus);
    // No event is posted after this returns. Records still queued for a window are freed: the
    // windows registered must be gone first.
    ~SimulatedInterfaces() override;
    SimulatedInterfaces(const SimulatedInterfaces&) = delete;
    SimulatedInterfaces& operator=(const SimulatedInterfaces&) = delete;

    std::vector<std::string> Paths(const GUID& interfaceClass) override;
    void RegisterWindow(HWND window) override;

private:
    // Runs on the bus thread: posts, never waits for the window's thread.
    void Deliver(sim::BusEvent event, const std::string& classGuid, const std::string& path);

    sim::Bus& bus_;
    std::mutex mutex_;
    std::vector<HWND> windows_;
    // Every record posted, kept until the source ends, since a posted message is handled later.
    std::vector<std::unique_ptr<std::byte[]>> records_;
    sim::Bus::ListenerId listener_;
    // WM_DEVICECHANGE carries a pointer and cannot be posted: the bus thread posts each event to
    // this message-only window on the windows' thread, which sends it on.
    HWND relay_ = nullptr;
};

}  // namespace device
