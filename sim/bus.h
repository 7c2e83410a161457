// The simulated bus: device interfaces of several classes, plugged and unplugged while programs
// run, with arrival and removal events posted to listeners from the bus's own thread, in order,
// as the system posts device-change notifications.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/config.h"
#include "sim/device.h"
#include "sim/outcome.h"

namespace sim {

// Interface class GUIDs as the system writes them in interface paths.
inline constexpr std::string_view kDfuClassGuid = "{3fe809ab-fb91-4cb5-a643-69670d52366e}";
inline constexpr std::string_view kHidClassGuid = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

enum class BusEvent { Arrived, Removed };

using Listener =
    std::function<void(BusEvent event, const std::string& classGuid, const std::string& path)>;

class Bus {
public:
    Bus();
    ~Bus();  // joins the bus thread; events not yet delivered are dropped
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // The bus of a simulation file: its one device, attached now, after plug_after_ms, or not.
    static Outcome<std::unique_ptr<Bus>> FromConfig(const Config& config);
    // The device of a simulation file added to this bus, attached as FromConfig attaches it.
    Outcome<std::shared_ptr<Device>> AddFromConfig(const Config& config);

    // Makes the device known to the bus (not yet present) and returns its interface path,
    // \\?\usb#vid_VVVV&pid_PPPP#simN#{dfu class guid}, N counting the bus's devices from 0.
    std::string Add(std::shared_ptr<Device> device);
    void Plug(const std::shared_ptr<Device>& device);
    void Unplug(const std::shared_ptr<Device>& device);
    // Plugs the device from the bus thread once `delay` has passed.
    void PlugAfter(const std::shared_ptr<Device>& device, std::chrono::milliseconds delay);

    // A bare interface of another class (a HID device, say), for the events it causes.
    void PlugInterface(std::string classGuid, std::string path);
    void UnplugInterface(std::string_view path);

    // Paths of the present interfaces of a class (GUID compared ignoring case), in enumeration
    // order: the one plugged last comes last.
    std::vector<std::string> Paths(std::string_view classGuid) const;
    // The present device with this interface path (ignoring case), or null.
    std::shared_ptr<Device> Find(std::string_view path) const;
    // Every device the bus knows, present or not, in the order they were added.
    std::vector<std::shared_ptr<Device>> Devices() const;

    using ListenerId = uint64_t;
    // The listener hears what happens from now on, not what happened before.
    ListenerId Subscribe(Listener listener);
    // After this returns the listener is not running and is never called again (unless called
    // from the listener itself, which then just finishes).
    void Unsubscribe(ListenerId id);
    // Waits until every event posted so far has been delivered.
    void WaitIdle();

private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace sim
