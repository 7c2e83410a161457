#include "sim/bus.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

struct Interface {
    std::string class_guid;
    std::string path;
    std::shared_ptr<Device> device;  // null for a bare interface
};

struct Event {
    BusEvent kind;
    std::string class_guid;
    std::string path;
    std::vector<Bus::ListenerId> recipients;  // those listening when it happened
};

struct TimedPlug {
    Clock::time_point due;
    std::shared_ptr<Device> device;
};

}  // namespace

struct Bus::State : std::enable_shared_from_this<Bus::State> {
    mutable std::mutex mutex;
    std::condition_variable wake;  // the bus thread: an event or a timed plug
    std::condition_variable idle;  // WaitIdle
    std::vector<Interface> present;
    std::vector<std::pair<std::shared_ptr<Device>, std::string>> known;
    std::deque<Event> events;
    std::vector<TimedPlug> timed;
    std::map<ListenerId, Listener> listeners;
    ListenerId next_listener = 1;
    bool delivering = false;
    bool stop = false;
    std::thread::id thread_id;
    // Held while listeners run, so that Unsubscribe can wait for a call in progress.
    std::mutex listener_mutex;

    std::string AddLocked(const std::shared_ptr<Device>& device) {
        for (const auto& [known_device, path] : known)
            if (known_device == device) return path;
        const DeviceConfig& config = device->config().device;
        char path[128];
        std::snprintf(path, sizeof path, "\\\\?\\usb#vid_%04x&pid_%04x#sim%zu#", config.vendor_id,
                      config.product_id, known.size());
        std::string full = path + std::string(kDfuClassGuid);
        known.emplace_back(device, full);
        device->SetAttached(false);
        std::weak_ptr<State> weak_state = weak_from_this();
        std::weak_ptr<Device> weak_device = device;
        device->SetUnplugHandler([weak_state, weak_device] {
            std::shared_ptr<State> state = weak_state.lock();
            std::shared_ptr<Device> device = weak_device.lock();
            if (!state || !device) return;
            std::lock_guard lock(state->mutex);
            state->RemoveLocked(device);
        });
        return full;
    }

    void PlugLocked(const std::shared_ptr<Device>& device) {
        std::string path = AddLocked(device);
        for (const Interface& interface : present)
            if (interface.device == device) return;
        device->SetAttached(true);
        present.push_back({std::string(kDfuClassGuid), path, device});
        Post({BusEvent::Arrived, std::string(kDfuClassGuid), path});
    }

    void RemoveLocked(const std::shared_ptr<Device>& device) {
        auto it = std::find_if(present.begin(), present.end(),
                               [&](const Interface& i) { return i.device == device; });
        device->SetAttached(false);
        if (it == present.end()) return;
        Post({BusEvent::Removed, it->class_guid, it->path});
        present.erase(it);
    }

    void Post(Event event) {
        for (const auto& [id, listener] : listeners) event.recipients.push_back(id);
        events.push_back(std::move(event));
        wake.notify_all();
    }

    void Run() {
        std::unique_lock lock(mutex);
        while (!stop) {
            Clock::time_point now = Clock::now();
            for (size_t i = 0; i < timed.size();) {
                if (timed[i].due > now) {
                    ++i;
                    continue;
                }
                std::shared_ptr<Device> device = std::move(timed[i].device);
                timed.erase(timed.begin() + static_cast<std::ptrdiff_t>(i));
                PlugLocked(device);
            }
            if (!events.empty()) {
                delivering = true;
                lock.unlock();
                Deliver();
                lock.lock();
                delivering = false;
                if (events.empty()) idle.notify_all();
                continue;
            }
            idle.notify_all();
            if (timed.empty()) {
                wake.wait(lock);
            } else {
                auto earliest = std::min_element(timed.begin(), timed.end(),
                                                 [](const TimedPlug& a, const TimedPlug& b) { return a.due < b.due; });
                wake.wait_until(lock, earliest->due);
            }
        }
    }

    // Takes the next event and hands it to every listener, without the bus lock held.
    void Deliver() {
        std::lock_guard calling(listener_mutex);
        Event event;
        std::vector<Listener> callees;
        {
            std::lock_guard lock(mutex);
            if (events.empty()) return;
            event = std::move(events.front());
            events.pop_front();
            for (ListenerId id : event.recipients) {
                auto it = listeners.find(id);
                if (it != listeners.end()) callees.push_back(it->second);
            }
        }
        for (const Listener& listener : callees) listener(event.kind, event.class_guid, event.path);
    }
};

Bus::Bus() : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_] { state->Run(); });
    std::lock_guard lock(state_->mutex);
    state_->thread_id = thread_.get_id();
}

Bus::~Bus() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
        state_->wake.notify_all();
        for (const auto& [device, path] : state_->known) device->SetUnplugHandler({});
    }
    thread_.join();
}

Outcome<std::unique_ptr<Bus>> Bus::FromConfig(const Config& config) {
    auto bus = std::make_unique<Bus>();
    if (auto device = bus->AddFromConfig(config); !device) return Failure{device.error()};
    return bus;
}

Outcome<std::shared_ptr<Device>> Bus::AddFromConfig(const Config& config) {
    Outcome<std::shared_ptr<Device>> device = Device::Create(config);
    if (!device) return device;
    Add(*device);
    if (config.device.present) Plug(*device);
    else if (config.device.plug_after_ms > 0)
        PlugAfter(*device, std::chrono::milliseconds(config.device.plug_after_ms));
    return device;
}

std::string Bus::Add(std::shared_ptr<Device> device) {
    std::lock_guard lock(state_->mutex);
    return state_->AddLocked(device);
}

void Bus::Plug(const std::shared_ptr<Device>& device) {
    std::lock_guard lock(state_->mutex);
    state_->PlugLocked(device);
}

void Bus::Unplug(const std::shared_ptr<Device>& device) {
    std::lock_guard lock(state_->mutex);
    state_->RemoveLocked(device);
}

void Bus::PlugAfter(const std::shared_ptr<Device>& device, std::chrono::milliseconds delay) {
    std::lock_guard lock(state_->mutex);
    state_->AddLocked(device);
    state_->timed.push_back({Clock::now() + delay, device});
    state_->wake.notify_all();
}

void Bus::PlugInterface(std::string classGuid, std::string path) {
    std::lock_guard lock(state_->mutex);
    state_->present.push_back({classGuid, path, nullptr});
    state_->Post({BusEvent::Arrived, std::move(classGuid), std::move(path)});
}

void Bus::UnplugInterface(std::string_view path) {
    std::lock_guard lock(state_->mutex);
    auto it = std::find_if(state_->present.begin(), state_->present.end(),
                           [&](const Interface& i) { return SameText(i.path, path); });
    if (it == state_->present.end()) return;
    if (it->device) {
        state_->RemoveLocked(it->device);
        return;
    }
    state_->Post({BusEvent::Removed, it->class_guid, it->path});
    state_->present.erase(it);
}

std::vector<std::string> Bus::Paths(std::string_view classGuid) const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> paths;
    for (const Interface& interface : state_->present)
        if (SameText(interface.class_guid, classGuid)) paths.push_back(interface.path);
    return paths;
}

std::shared_ptr<Device> Bus::Find(std::string_view path) const {
    std::lock_guard lock(state_->mutex);
    for (const Interface& interface : state_->present)
        if (interface.device && SameText(interface.path, path)) return interface.device;
    return nullptr;
}

std::vector<std::shared_ptr<Device>> Bus::Devices() const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::shared_ptr<Device>> devices;
    for (const auto& [device, path] : state_->known) devices.push_back(device);
    return devices;
}

Bus::ListenerId Bus::Subscribe(Listener listener) {
    std::lock_guard lock(state_->mutex);
    ListenerId id = state_->next_listener++;
    state_->listeners.emplace(id, std::move(listener));
    return id;
}

void Bus::Unsubscribe(ListenerId id) {
    std::thread::id bus_thread;
    {
        std::lock_guard lock(state_->mutex);
        state_->listeners.erase(id);
        bus_thread = state_->thread_id;
    }
    // Wait for a delivery that may still be calling it; from a listener itself, no need.
    if (std::this_thread::get_id() != bus_thread) {
        std::lock_guard calling(state_->listener_mutex);
    }
}

void Bus::WaitIdle() {
    std::unique_lock lock(state_->mutex);
    state_->idle.wait(lock, [&] { return state_->events.empty() && !state_->delivering; });
}

}  // namespace sim
