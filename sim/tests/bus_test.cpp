// The bus: enumeration, plugging and unplugging, events to listeners, timed plugs.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "sim/bus.h"
#include "sim/tests/host.h"

namespace sim::test {
namespace {

using namespace std::chrono_literals;

// Records what listeners hear, and waits for it.
class Ear {
public:
    struct Heard {
        BusEvent event;
        std::string class_guid;
        std::string path;
        bool operator==(const Heard&) const = default;
    };

    Listener listener() {
        return [this](BusEvent event, const std::string& guid, const std::string& path) {
            std::lock_guard lock(mutex_);
            heard_.push_back({event, guid, path});
            changed_.notify_all();
        };
    }
    bool WaitFor(size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return heard_.size() >= count; });
    }
    std::vector<Heard> heard() {
        std::lock_guard lock(mutex_);
        return heard_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Heard> heard_;
};

std::shared_ptr<Device> Make(uint16_t product_id = 0x5A01) {
    Config config = QuickConfig();
    config.device.product_id = product_id;
    return *Device::Create(config);
}

const std::string kHid(kHidClassGuid);
const std::string kDfu(kDfuClassGuid);

TEST(Bus, EnumeratesInPlugOrderAndFindsIgnoringCase) {
    Bus bus;
    std::shared_ptr<Device> first = Make(0x0001), second = Make(0x0002);
    bus.Plug(first);
    bus.Plug(second);
    bus.PlugInterface(kHid, "\\\\?\\hid#vid_046d&pid_c077#7&1#" + kHid);
    std::vector<std::string> paths = bus.Paths("{3FE809AB-FB91-4CB5-A643-69670D52366E}");
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], "\\\\?\\usb#vid_1209&pid_0001#sim0#{3fe809ab-fb91-4cb5-a643-69670d52366e}");
    EXPECT_EQ(paths[1], "\\\\?\\usb#vid_1209&pid_0002#sim1#{3fe809ab-fb91-4cb5-a643-69670d52366e}");
    EXPECT_EQ(bus.Find("\\\\?\\USB#VID_1209&PID_0002#SIM1#{3FE809AB-FB91-4CB5-A643-69670D52366E}"), second);
    EXPECT_EQ(bus.Paths(kHid).size(), 1u);
    EXPECT_EQ(bus.Find(bus.Paths(kHid)[0]), nullptr);  // not a DFU device

    // Unplugged and plugged again, the first device comes last.
    bus.Unplug(first);
    bus.Plug(first);
    EXPECT_EQ(bus.Paths(kDfu).back(), paths[0]);
    EXPECT_EQ(bus.Devices(), (std::vector<std::shared_ptr<Device>>{first, second}));
}

TEST(Bus, ListenersHearArrivalsAndRemovalsInOrder) {
    Ear ear;
    Bus bus;
    bus.Subscribe(ear.listener());
    std::shared_ptr<Device> device = Make();
    std::string path = bus.Add(device);
    const std::string hid = "\\\\?\\hid#vid_046d&pid_c077#7&1#" + kHid;
    bus.Plug(device);
    bus.PlugInterface(kHid, hid);
    bus.UnplugInterface(hid);
    bus.Unplug(device);
    bus.Unplug(device);  // already gone: no second event
    bus.WaitIdle();
    EXPECT_EQ(ear.heard(), (std::vector<Ear::Heard>{{BusEvent::Arrived, kDfu, path},
                                                     {BusEvent::Arrived, kHid, hid},
                                                     {BusEvent::Removed, kHid, hid},
                                                     {BusEvent::Removed, kDfu, path}}));
}

TEST(Bus, AnUnpluggedDeviceIsGoneAndComesBackFresh) {
    Bus bus;
    std::shared_ptr<Device> device = Make();
    bus.Plug(device);
    Host host(device);
    ASSERT_EQ(host.Detach(), TransferStatus::Stall);  // leaves it in dfuERROR
    bus.Unplug(device);
    EXPECT_EQ(host.GetStatus().transfer, TransferStatus::Gone);
    EXPECT_TRUE(host.Descriptor(1, 0).empty());
    bus.Plug(device);
    StatusRecord record = host.GetStatus();
    EXPECT_EQ(record.state, State::DfuIdle);
    EXPECT_EQ(record.status, Status::Ok);
}

TEST(Bus, ADeviceAddedButNotPluggedIsAbsent) {
    Bus bus;
    std::shared_ptr<Device> device = Make();
    std::string path = bus.Add(device);
    EXPECT_TRUE(bus.Paths(kDfu).empty());
    EXPECT_EQ(bus.Find(path), nullptr);
    EXPECT_EQ(Host(device).GetStatus().transfer, TransferStatus::Gone);
}

TEST(Bus, FromConfigPlugsNowLaterOrNever) {
    Ear ear;
    Config now = QuickConfig();
    Outcome<std::unique_ptr<Bus>> bus = Bus::FromConfig(now);
    ASSERT_TRUE(bus);
    EXPECT_EQ((*bus)->Paths(kDfu).size(), 1u);

    Config never = QuickConfig();
    never.device.present = false;
    bus = Bus::FromConfig(never);
    EXPECT_TRUE((*bus)->Paths(kDfu).empty());
    EXPECT_EQ((*bus)->Devices().size(), 1u);

    Config later = QuickConfig();
    later.device.present = false;
    later.device.plug_after_ms = 60;
    auto begin = std::chrono::steady_clock::now();
    bus = Bus::FromConfig(later);
    (*bus)->Subscribe(ear.listener());
    EXPECT_TRUE((*bus)->Paths(kDfu).empty());
    ASSERT_TRUE(ear.WaitFor(1, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 60ms);
    EXPECT_EQ(ear.heard()[0].event, BusEvent::Arrived);
    EXPECT_EQ((*bus)->Paths(kDfu), std::vector<std::string>{ear.heard()[0].path});

    Config broken = QuickConfig(std::filesystem::path("/nonexistent/folder"));
    Outcome<std::unique_ptr<Bus>> failed = Bus::FromConfig(broken);
    EXPECT_FALSE(failed);
    EXPECT_FALSE(failed.error().empty());
}

TEST(Bus, ListenersHearOnlyWhatHappensAfterTheySubscribe) {
    Ear early, late;
    Bus bus;
    bus.Subscribe(early.listener());
    bus.PlugInterface(kHid, "hid0");
    bus.Subscribe(late.listener());
    bus.UnplugInterface("hid0");
    bus.WaitIdle();
    EXPECT_EQ(early.heard().size(), 2u);
    ASSERT_EQ(late.heard().size(), 1u);
    EXPECT_EQ(late.heard()[0].event, BusEvent::Removed);
}

TEST(Bus, UnsubscribedListenersHearNothingMore) {
    Ear kept, dropped;
    Bus bus;
    bus.Subscribe(kept.listener());
    Bus::ListenerId id = bus.Subscribe(dropped.listener());
    bus.PlugInterface(kHid, "hid0");
    bus.WaitIdle();
    bus.Unsubscribe(id);
    bus.UnplugInterface("HID0");
    bus.WaitIdle();
    EXPECT_EQ(kept.heard().size(), 2u);
    EXPECT_EQ(dropped.heard().size(), 1u);
}

TEST(Bus, AListenerMayUseTheBus) {
    std::vector<size_t> seen;
    Bus::ListenerId id = 0;
    Bus bus;
    id = bus.Subscribe([&](BusEvent, const std::string&, const std::string&) {
        seen.push_back(bus.Paths(kDfu).size());
        bus.Unsubscribe(id);
    });
    std::shared_ptr<Device> device = Make();
    bus.Plug(device);
    bus.Unplug(device);
    bus.WaitIdle();
    EXPECT_EQ(seen.size(), 1u);
}

TEST(Bus, DestructionEndsPendingTimedPlugs) {
    auto begin = std::chrono::steady_clock::now();
    {
        Bus bus;
        bus.PlugAfter(Make(), 10s);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
}

}  // namespace
}  // namespace sim::test
