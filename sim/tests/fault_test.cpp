// The injected fault: where it strikes, what it does, and that it strikes once.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "sim/bus.h"
#include "sim/tests/host.h"

namespace sim::test {
namespace {

// Eight 1 KiB sectors, 256-byte blocks: small numbers that are easy to follow.
Config FaultConfigFor(FaultPhase phase, FaultAction action, uint32_t at_percent, uint32_t total = 0) {
    Config config = QuickConfig();
    config.alts = {{"@Flash /0x08000000/08*001Kg", {}}};
    config.device.transfer_size = 256;
    FaultConfig fault;
    fault.phase = phase;
    fault.action = action;
    fault.at_percent = at_percent;
    fault.status = static_cast<uint8_t>(Status::ErrWrite);
    fault.total = total;
    config.fault = fault;
    return config;
}

std::shared_ptr<Device> Make(const Config& config) {
    Outcome<std::shared_ptr<Device>> device = Device::Create(config);
    EXPECT_TRUE(device) << device.error();
    return *device;
}

// Writes blocks 2.. one by one from 0x08000000; returns how many went through before one failed.
size_t BlocksBeforeFailure(Host& host, size_t blocks, StatusRecord& last) {
    last = host.SetAddress(0x08000000);
    for (size_t i = 0; i < blocks; ++i) {
        last = host.Run(static_cast<uint16_t>(2 + i), Pattern(256, static_cast<uint8_t>(i)));
        if (last.transfer != TransferStatus::Ok || last.state != State::DnloadIdle) return i;
    }
    return blocks;
}

TEST(Fault, StrikesAtTheShareOfTheWorkAndOnlyOnce) {
    struct Case {
        const char* what;
        uint32_t at_percent;
        uint32_t total;
        size_t erased_sectors;  // before writing: the default total follows them
        size_t strikes_on;      // block index, counting from 0
    } cases[] = {
        {"half of a given total", 50, 10, 0, 4},
        {"all of a given total", 100, 10, 0, 9},
        {"at 0: the first block", 0, 10, 0, 0},
        {"half of the erased sectors' blocks", 50, 0, 2, 3},   // 2 KiB = 8 blocks
        {"half of all writable memory when nothing was erased", 50, 0, 0, 15},  // 8 KiB = 32 blocks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Host host(Make(FaultConfigFor(FaultPhase::Write, FaultAction::Status, c.at_percent, c.total)));
        for (size_t s = 0; s < c.erased_sectors; ++s) ASSERT_EQ(host.Erase(0x08000000 + 1024 * s).state, State::DnloadIdle);
        StatusRecord last{};
        EXPECT_EQ(BlocksBeforeFailure(host, 32, last), c.strikes_on);
        EXPECT_EQ(last.state, State::DfuError);
        EXPECT_EQ(last.status, Status::ErrWrite);
        // The failed block was not written; after clearing, the same block goes through.
        uint32_t at = 0x08000000 + 256 * static_cast<uint32_t>(c.strikes_on);
        EXPECT_EQ(host.device().ReadMemory(0, at, 256), std::vector<uint8_t>(256, 0xFF));
        ASSERT_EQ(host.ClrStatus(), TransferStatus::Ok);
        EXPECT_EQ(host.Write(at, Pattern(256, 1)).status, Status::Ok);
        StatusRecord again{};
        EXPECT_EQ(host.EraseAll().state, State::DnloadIdle);
        EXPECT_EQ(BlocksBeforeFailure(host, 32, again), 32u);
    }
}

TEST(Fault, EraseShareCountsErasableSectors) {
    Host host(Make(FaultConfigFor(FaultPhase::Erase, FaultAction::Status, 50)));
    for (uint32_t s = 0; s < 3; ++s) EXPECT_EQ(host.Erase(0x08000000 + 1024 * s).state, State::DnloadIdle);
    StatusRecord fourth = host.Erase(0x08000000 + 3 * 1024);
    EXPECT_EQ(fourth.state, State::DfuError);
    EXPECT_EQ(fourth.status, Status::ErrWrite);
    EXPECT_EQ(host.device().GetActivity().erases, 3u);
}

TEST(Fault, OnlyTheNamedSettingAndPhaseCount) {
    Config config = FaultConfigFor(FaultPhase::Write, FaultAction::Status, 0, 1);
    config.alts.push_back(config.alts[0]);
    config.fault->alt = 1;
    Host host(Make(config));
    for (uint32_t s = 0; s < 8; ++s) EXPECT_EQ(host.Erase(0x08000000 + 1024 * s).state, State::DnloadIdle);
    EXPECT_EQ(host.Write(0x08000000, Pattern(1024, 1)).status, Status::Ok);
    ASSERT_EQ(host.SetInterface(1), TransferStatus::Ok);
    EXPECT_EQ(host.Write(0x08000000, Pattern(1024, 1)).status, Status::ErrWrite);
}

TEST(Fault, StallStallsTheRequest) {
    Host host(Make(FaultConfigFor(FaultPhase::Write, FaultAction::Stall, 50, 4)));
    ASSERT_EQ(host.SetAddress(0x08000000).state, State::DnloadIdle);
    EXPECT_EQ(host.Run(2, Pattern(256, 0)).state, State::DnloadIdle);
    EXPECT_EQ(host.Dnload(3, Pattern(256, 1)), TransferStatus::Stall);
    StatusRecord record = host.GetStatus();
    EXPECT_EQ(record.state, State::DfuError);
    EXPECT_EQ(record.status, Status::ErrStalledPkt);
    EXPECT_EQ(host.device().ReadMemory(0, 0x08000100, 256), std::vector<uint8_t>(256, 0xFF));
}

TEST(Fault, CorruptFlipsOneByteSilently) {
    for (FaultPhase phase : {FaultPhase::Write, FaultPhase::Erase}) {
        SCOPED_TRACE(phase == FaultPhase::Write ? "write" : "erase");
        Host host(Make(FaultConfigFor(phase, FaultAction::Corrupt, 50, 4)));
        for (uint32_t s = 0; s < 4; ++s) EXPECT_EQ(host.Erase(0x08000000 + 1024 * s).state, State::DnloadIdle);
        if (phase == FaultPhase::Erase) {
            // The second sector kept one byte unerased, and writing over it fails there.
            EXPECT_EQ(host.device().ReadMemory(0, 0x08000400 + 512, 1), std::vector<uint8_t>{0x00});
            EXPECT_EQ(host.Write(0x08000000, Pattern(2048, 3)).status, Status::ErrProg);
            continue;
        }
        std::vector<uint8_t> image = Pattern(1024, 3);
        StatusRecord record = host.Write(0x08000000, image);
        EXPECT_EQ(record.status, Status::Ok);
        std::vector<uint8_t> stored = host.device().ReadMemory(0, 0x08000000, 1024);
        size_t differing = 0, where = 0;
        for (size_t i = 0; i < image.size(); ++i)
            if (stored[i] != image[i]) ++differing, where = i;
        EXPECT_EQ(differing, 1u);
        EXPECT_EQ(where, 256u + 128u);  // the middle of the second block
    }
}

TEST(Fault, UnplugLeavesTheBusAndListenersHearIt) {
    std::mutex mutex;  // before the bus, which may still call the listener until it ends
    std::vector<std::pair<BusEvent, std::string>> heard;
    Config config = FaultConfigFor(FaultPhase::Write, FaultAction::Unplug, 50, 4);
    Outcome<std::unique_ptr<Bus>> bus = Bus::FromConfig(config);
    ASSERT_TRUE(bus) << bus.error();
    std::vector<std::string> paths = (*bus)->Paths(kDfuClassGuid);
    ASSERT_EQ(paths.size(), 1u);
    (*bus)->Subscribe([&](BusEvent event, const std::string&, const std::string& path) {
        std::lock_guard lock(mutex);
        heard.emplace_back(event, path);
    });

    Host host((*bus)->Find(paths[0]));
    StatusRecord last{};
    EXPECT_EQ(BlocksBeforeFailure(host, 4, last), 1u);
    EXPECT_EQ(last.transfer, TransferStatus::Gone);
    EXPECT_EQ(host.GetStatus().transfer, TransferStatus::Gone);
    (*bus)->WaitIdle();
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].first, BusEvent::Removed);
        EXPECT_EQ(heard[0].second, paths[0]);
    }
    EXPECT_TRUE((*bus)->Paths(kDfuClassGuid).empty());
    EXPECT_EQ((*bus)->Find(paths[0]), nullptr);

    // Plugged back, it works again and the fault does not strike twice.
    std::shared_ptr<Device> device = (*bus)->Devices().at(0);
    (*bus)->Plug(device);
    Host again(device);
    EXPECT_EQ(BlocksBeforeFailure(again, 4, last), 4u);
}

TEST(Fault, AFaultThatNeverStruckSaysHowFarItsPhaseGot) {
    struct Case {
        const char* what;
        FaultPhase phase;
        FaultAction action;
        uint32_t erases;  // sectors erased one by one
        uint32_t blocks;  // then blocks written from the first address
        std::optional<std::string> said;
    } cases[] = {
        // Half of the eight sectors is more than a small image erases.
        {"erase share not reached", FaultPhase::Erase, FaultAction::Status, 3, 0,
         "fault (erase, alt 0, at 50 %, status 3) never struck: the phase reached 37 % (3 of 8 sectors)"},
        {"write share not reached", FaultPhase::Write, FaultAction::Corrupt, 2, 3,
         "fault (write, alt 0, at 50 %, corrupt) never struck: the phase reached 37 % (3 of 8 blocks)"},
        {"phase never began", FaultPhase::Write, FaultAction::Unplug, 2, 0,
         "fault (write, alt 0, at 50 %, unplug) never struck: the phase never began"},
        {"struck", FaultPhase::Erase, FaultAction::Stall, 4, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Host host(Make(FaultConfigFor(c.phase, c.action, 50)));
        for (uint32_t s = 0; s < c.erases; ++s) host.Erase(0x08000000 + 1024 * s);
        StatusRecord last{};
        if (c.blocks > 0) {
            EXPECT_EQ(BlocksBeforeFailure(host, c.blocks, last), c.blocks);
        }
        EXPECT_EQ(host.device().UnstruckFault(), c.said);
    }
    Config none = FaultConfigFor(FaultPhase::Write, FaultAction::Status, 50);
    none.fault.reset();
    EXPECT_EQ(Make(none)->UnstruckFault(), std::nullopt);
}

}  // namespace
}  // namespace sim::test
