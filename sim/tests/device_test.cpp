// The device as a host sees it through control transfers: its state machine, descriptors,
// erase / program / read-back, flash errors, busy time and stores.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <thread>

#include "sim/descriptors.h"
#include "sim/device.h"
#include "sim/tests/host.h"

namespace sim::test {
namespace {

std::shared_ptr<Device> Make(const Config& config) {
    Outcome<std::shared_ptr<Device>> device = Device::Create(config);
    EXPECT_TRUE(device) << device.error();
    return *device;
}

// Where a row of the transition table starts. Erases are slow here so that dfuDNBUSY lasts.
struct Start {
    const char* name;
    std::function<void(Host&)> reach;
    State state;
};

const Start kStarts[] = {
    {"dfuIDLE", [](Host&) {}, State::DfuIdle},
    {"dfuDNLOAD-SYNC", [](Host& h) { h.Dnload(0, Le32(kCommandSetAddress, 0x08000000)); }, State::DnloadSync},
    {"dfuDNBUSY", [](Host& h) { h.Dnload(0, Le32(kCommandErase, 0x08000000)); h.GetStatus(); }, State::DnBusy},
    {"dfuDNLOAD-IDLE", [](Host& h) { h.SetAddress(0x08000000); }, State::DnloadIdle},
    {"dfuMANIFEST-SYNC", [](Host& h) { h.SetAddress(0x08000000); h.Dnload(0, {}); }, State::ManifestSync},
    {"dfuUPLOAD-IDLE", [](Host& h) { std::vector<uint8_t> f(64); h.Upload(2, f); }, State::UploadIdle},
    {"dfuERROR", [](Host& h) { h.Detach(); }, State::DfuError},
};

enum class Ask { Detach, Dnload, DnloadEmpty, Upload, GetStatus, ClrStatus, GetState, Abort };

struct Transition {
    State from;
    Ask ask;
    TransferStatus transfer;
    State to;
};

// What the DFU 1.1 state diagram allows, and the stall plus dfuERROR (errSTALLEDPKT) for the rest.
const Transition kTransitions[] = {
    {State::DfuIdle, Ask::Dnload, TransferStatus::Ok, State::DnloadSync},
    {State::DfuIdle, Ask::DnloadEmpty, TransferStatus::Ok, State::ManifestSync},
    {State::DfuIdle, Ask::Upload, TransferStatus::Ok, State::UploadIdle},
    {State::DfuIdle, Ask::GetStatus, TransferStatus::Ok, State::DfuIdle},
    {State::DfuIdle, Ask::GetState, TransferStatus::Ok, State::DfuIdle},
    {State::DfuIdle, Ask::Abort, TransferStatus::Ok, State::DfuIdle},
    {State::DfuIdle, Ask::Detach, TransferStatus::Stall, State::DfuError},
    {State::DfuIdle, Ask::ClrStatus, TransferStatus::Stall, State::DfuError},

    {State::DnloadSync, Ask::GetStatus, TransferStatus::Ok, State::DnBusy},
    {State::DnloadSync, Ask::GetState, TransferStatus::Ok, State::DnloadSync},
    {State::DnloadSync, Ask::Abort, TransferStatus::Ok, State::DfuIdle},
    {State::DnloadSync, Ask::Dnload, TransferStatus::Stall, State::DfuError},
    {State::DnloadSync, Ask::Upload, TransferStatus::Stall, State::DfuError},

    {State::DnBusy, Ask::GetStatus, TransferStatus::Ok, State::DnBusy},
    {State::DnBusy, Ask::GetState, TransferStatus::Stall, State::DfuError},
    {State::DnBusy, Ask::Abort, TransferStatus::Stall, State::DfuError},
    {State::DnBusy, Ask::Dnload, TransferStatus::Stall, State::DfuError},

    {State::DnloadIdle, Ask::Dnload, TransferStatus::Ok, State::DnloadSync},
    {State::DnloadIdle, Ask::DnloadEmpty, TransferStatus::Ok, State::ManifestSync},
    {State::DnloadIdle, Ask::GetStatus, TransferStatus::Ok, State::DnloadIdle},
    {State::DnloadIdle, Ask::GetState, TransferStatus::Ok, State::DnloadIdle},
    {State::DnloadIdle, Ask::Abort, TransferStatus::Ok, State::DfuIdle},
    {State::DnloadIdle, Ask::Upload, TransferStatus::Stall, State::DfuError},
    {State::DnloadIdle, Ask::ClrStatus, TransferStatus::Stall, State::DfuError},

    {State::ManifestSync, Ask::GetStatus, TransferStatus::Ok, State::Manifest},
    {State::ManifestSync, Ask::GetState, TransferStatus::Ok, State::ManifestSync},
    {State::ManifestSync, Ask::Abort, TransferStatus::Ok, State::DfuIdle},
    {State::ManifestSync, Ask::Dnload, TransferStatus::Stall, State::DfuError},

    {State::UploadIdle, Ask::Upload, TransferStatus::Ok, State::UploadIdle},
    {State::UploadIdle, Ask::GetStatus, TransferStatus::Ok, State::UploadIdle},
    {State::UploadIdle, Ask::Abort, TransferStatus::Ok, State::DfuIdle},
    {State::UploadIdle, Ask::Dnload, TransferStatus::Stall, State::DfuError},

    {State::DfuError, Ask::GetStatus, TransferStatus::Ok, State::DfuError},
    {State::DfuError, Ask::GetState, TransferStatus::Ok, State::DfuError},
    {State::DfuError, Ask::ClrStatus, TransferStatus::Ok, State::DfuIdle},
    {State::DfuError, Ask::Abort, TransferStatus::Stall, State::DfuError},
    {State::DfuError, Ask::Dnload, TransferStatus::Stall, State::DfuError},
};

TEST(DeviceStateMachine, FollowsTheDfuStateDiagram) {
    for (const Transition& t : kTransitions) {
        const Start& start = *std::find_if(std::begin(kStarts), std::end(kStarts),
                                           [&](const Start& s) { return s.state == t.from; });
        SCOPED_TRACE(std::string(start.name) + ", request " + std::to_string(static_cast<int>(t.ask)));
        Config config = QuickConfig();
        config.timing.erase_ms_per_sector = 5000;
        Host host(Make(config));
        start.reach(host);

        TransferStatus transfer{};
        State to{};
        bool measured = false;
        std::vector<uint8_t> frame(64);
        switch (t.ask) {
        case Ask::Detach: transfer = host.Detach(); break;
        case Ask::Dnload: transfer = host.Dnload(0, Le32(kCommandSetAddress, 0x08000000)); break;
        case Ask::DnloadEmpty: transfer = host.Dnload(0, {}); break;
        case Ask::Upload: transfer = host.Upload(2, frame).status; break;
        case Ask::ClrStatus: transfer = host.ClrStatus(); break;
        case Ask::Abort: transfer = host.Abort(); break;
        case Ask::GetStatus: {
            StatusRecord record = host.GetStatus();
            transfer = record.transfer;
            to = record.state;
            measured = true;
            break;
        }
        case Ask::GetState:
            to = host.GetState();
            transfer = TransferStatus::Ok;
            measured = to != static_cast<State>(0xEE);
            if (!measured) transfer = TransferStatus::Stall;
            break;
        }
        EXPECT_EQ(transfer, t.transfer);
        if (!measured) to = host.GetState();
        if (t.to == State::DfuError && t.transfer == TransferStatus::Stall) {
            StatusRecord record = host.GetStatus();
            EXPECT_EQ(record.state, State::DfuError);
            EXPECT_EQ(record.status, Status::ErrStalledPkt);
        } else {
            EXPECT_EQ(to, t.to);
        }
    }
}

TEST(DeviceStateMachine, ManifestationEndsInIdleOrWaitsForAReset) {
    for (uint8_t attributes : {uint8_t{0x0B}, uint8_t{0x0F}}) {
        SCOPED_TRACE(attributes);
        Config config = QuickConfig();
        config.device.attributes = attributes;
        Host host(Make(config));
        // A tolerant device can go through it again and again.
        for (int round = 0; round < 2; ++round) {
            ASSERT_EQ(host.SetAddress(0x08000000).state, State::DnloadIdle);
            ASSERT_EQ(host.Dnload(0, {}), TransferStatus::Ok);
            EXPECT_EQ(host.GetStatus().state, State::Manifest);
            StatusRecord after = host.GetStatus();
            if (!(attributes & kManifestationTolerant)) {
                EXPECT_EQ(after.transfer, TransferStatus::Timeout);  // waits for a bus reset
                break;
            }
            EXPECT_EQ(after.state, State::DfuIdle);
        }
    }
}

TEST(DeviceStateMachine, RefusesWhatTheAttributesForbid) {
    Config config = QuickConfig();
    config.device.attributes = 0x00;
    Host host(Make(config));
    EXPECT_EQ(host.Dnload(0, Le32(kCommandSetAddress, 0x08000000)), TransferStatus::Stall);
    EXPECT_EQ(host.ClrStatus(), TransferStatus::Ok);
    std::vector<uint8_t> frame(16);
    EXPECT_EQ(host.Upload(2, frame).status, TransferStatus::Stall);
    EXPECT_EQ(host.GetStatus().status, Status::ErrStalledPkt);
}

TEST(DeviceStateMachine, RequestsForAnotherInterfaceStallWithoutError) {
    Host host(Make(QuickConfig()));
    uint8_t record[6];
    EXPECT_EQ(host.device().Control({0xA1, 3, 0, 1, 6}, record).status, TransferStatus::Stall);
    EXPECT_EQ(host.GetState(), State::DfuIdle);
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

TEST(DeviceDescriptors, DescribeTheConfiguredDevice) {
    Config config = QuickConfig();
    config.device.vendor_id = 0x1234;
    config.device.product_id = 0xABCD;
    config.device.bcd_device = 0x0317;
    config.device.dfu_version = 0x011F;
    config.device.transfer_size = 1024;
    config.alts = {{"@Flash /0x08000000/02*016Kg", {}}, {"@Settings area /0x1FFFC000/01*016 e", {}}};
    Host host(Make(config));

    EXPECT_EQ(host.Descriptor(kDescriptorDevice, 0),
              Bytes({18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x34, 0x12, 0xCD, 0xAB, 0x17, 0x03, 1, 2, 3, 1}));
    EXPECT_EQ(host.Descriptor(kDescriptorDevice, 0, 8).size(), 8u);  // as asked, no more

    const std::vector<uint8_t> functional = Bytes({9, 0x21, 0x0B, 0xFF, 0x00, 0x00, 0x04, 0x1F, 0x01});
    EXPECT_EQ(host.Descriptor(kDescriptorDfuFunctional, 0), functional);

    std::vector<uint8_t> whole = host.Descriptor(kDescriptorConfiguration, 0);
    std::vector<uint8_t> expected = Bytes({9, 2, 36, 0, 1, 1, 0, 0x80, 50,
                                           9, 4, 0, 0, 0, 0xFE, 1, 2, 4,
                                           9, 4, 0, 1, 0, 0xFE, 1, 2, 5});
    expected.insert(expected.end(), functional.begin(), functional.end());
    EXPECT_EQ(whole, expected);

    EXPECT_EQ(host.Descriptor(kDescriptorString, 0), Bytes({4, 3, 0x09, 0x04}));
    std::vector<uint8_t> name = host.Descriptor(kDescriptorString, 5);
    ASSERT_EQ(name.size(), 2 + 2 * config.alts[1].name.size());
    std::string decoded;
    for (size_t i = 2; i < name.size(); i += 2) {
        EXPECT_EQ(name[i + 1], 0);
        decoded += static_cast<char>(name[i]);
    }
    EXPECT_EQ(decoded, config.alts[1].name);
    EXPECT_TRUE(host.Descriptor(kDescriptorString, 6).empty());  // no such string: stall
}

TEST(DeviceDescriptors, NamesAreUtf16) {
    Config config = QuickConfig();
    config.alts = {{"@\xD0\x9F\xF0\x9F\x98\x80\xFF/0x08000000/01*1Kg", {}}};  // Cyrillic, emoji, bad byte
    Host host(Make(config));
    std::vector<uint8_t> name = host.Descriptor(kDescriptorString, kFirstAltString);
    std::vector<uint8_t> head(name.begin(), name.begin() + 12);
    EXPECT_EQ(head, Bytes({static_cast<int>(name.size()), 3, '@', 0, 0x1F, 0x04, 0x3D, 0xD8, 0x00, 0xDE, 0xFD, 0xFF}));
}

TEST(DeviceMemory, ErasesProgramsAndReadsBackAsAHostWould) {
    Config config = QuickConfig();
    config.device.transfer_size = 1024;
    Host host(Make(config));
    ASSERT_EQ(host.SetInterface(0), TransferStatus::Ok);
    EXPECT_EQ(host.Erase(0x08000000).state, State::DnloadIdle);
    EXPECT_EQ(host.Erase(0x08004000).state, State::DnloadIdle);

    // Three and a half blocks that cross the first sector boundary.
    std::vector<uint8_t> image = Pattern(3 * 1024 + 512, 1);
    const uint32_t at = 0x08004000 - 1024;
    StatusRecord record = host.Write(at, image);
    EXPECT_EQ(record.state, State::DnloadIdle);
    EXPECT_EQ(record.status, Status::Ok);
    EXPECT_EQ(host.device().ReadMemory(0, at, image.size()), image);
    EXPECT_EQ(host.Read(at, image.size()), image);

    // Erasing the second sector leaves the first alone.
    EXPECT_EQ(host.Erase(0x08004000).state, State::DnloadIdle);
    EXPECT_EQ(host.device().ReadMemory(0, at, 1024), std::vector<uint8_t>(image.begin(), image.begin() + 1024));
    EXPECT_EQ(host.device().ReadMemory(0, 0x08004000, 16 * 1024), std::vector<uint8_t>(16 * 1024, 0xFF));

    Activity activity = host.device().GetActivity();
    EXPECT_EQ(activity.erases, 3u);
    EXPECT_EQ(activity.blocks, 4u);
}

TEST(DeviceMemory, UploadStopsWithAShortFrameWhereReadableMemoryEnds) {
    Config config = QuickConfig();
    config.alts = {{"@Small /0x08000000/01*1Kg", {}}};
    config.device.transfer_size = 768;
    Host host(Make(config));
    EXPECT_EQ(host.Read(0x08000000, 4096).size(), 1024u);
    EXPECT_EQ(host.GetState(), State::DfuIdle);

    std::vector<uint8_t> commands(16);
    TransferResult listed = host.Upload(0, commands);
    EXPECT_EQ(listed.length, 3u);
    EXPECT_EQ(commands[1], kCommandSetAddress);
    EXPECT_EQ(commands[2], kCommandErase);
}

struct FlashFault {
    const char* what;
    std::function<StatusRecord(Host&)> act;
    Status status;
};

TEST(DeviceMemory, FlashFaultsReportTheirStatusUntilCleared) {
    // Sectors: two of everything, one not writable, one not erasable.
    const char* layout = "@Test /0x08000000/02*001Kg,01*001Kc,01*001Ke";
    const FlashFault faults[] = {
        {"program over programmed bytes", [](Host& h) { h.Write(0x08000000, Pattern(16, 1)); return h.Write(0x08000000, Pattern(16, 2)); }, Status::ErrProg},
        {"program outside every sector", [](Host& h) { return h.Write(0x20000000, Pattern(16, 1)); }, Status::ErrAddress},
        {"program past the end of memory", [](Host& h) { return h.Write(0x08000FF8, Pattern(16, 1)); }, Status::ErrAddress},
        {"program a sector that is not writable", [](Host& h) { return h.Write(0x08000800, Pattern(16, 1)); }, Status::ErrWrite},
        {"erase a sector that is not erasable", [](Host& h) { return h.Erase(0x08000C00); }, Status::ErrErase},
        {"erase outside every sector", [](Host& h) { return h.Erase(0x30000000); }, Status::ErrAddress},
    };
    for (const FlashFault& fault : faults) {
        SCOPED_TRACE(fault.what);
        Config config = QuickConfig();
        config.alts = {{layout, {}}};
        Host host(Make(config));
        std::vector<uint8_t> before = host.device().ReadMemory(0, 0x08000000, 4096);
        StatusRecord record = fault.act(host);
        EXPECT_EQ(record.state, State::DfuError);
        EXPECT_EQ(record.status, fault.status);
        EXPECT_EQ(host.GetStatus().status, fault.status);  // stays until cleared
        EXPECT_EQ(host.Dnload(0, Le32(kCommandSetAddress, 0x08000000)), TransferStatus::Stall);
        EXPECT_EQ(host.ClrStatus(), TransferStatus::Ok);
        StatusRecord cleared = host.GetStatus();
        EXPECT_EQ(cleared.state, State::DfuIdle);
        EXPECT_EQ(cleared.status, Status::Ok);
        if (fault.status != Status::ErrProg) {
            EXPECT_EQ(host.device().ReadMemory(0, 0x08000000, 4096), before);  // nothing written
        }
    }
}

TEST(DeviceMemory, ProgrammingTheSameBytesAgainIsAllowed) {
    Host host(Make(QuickConfig()));
    std::vector<uint8_t> image = Pattern(100, 9);
    EXPECT_EQ(host.Write(0x08000000, image).status, Status::Ok);
    EXPECT_EQ(host.Write(0x08000000, image).status, Status::Ok);
}

TEST(DeviceMemory, MassEraseClearsEveryErasableSector) {
    Config config = QuickConfig();
    config.alts = {{"@Test /0x08000000/02*001Kg,01*001Ke", {}}};
    config.timing.erase_ms_per_sector = 1;
    Host host(Make(config));
    ASSERT_EQ(host.Write(0x08000000, Pattern(3072, 4)).status, Status::Ok);
    EXPECT_EQ(host.EraseAll().state, State::DnloadIdle);
    EXPECT_EQ(host.device().ReadMemory(0, 0x08000000, 2048), std::vector<uint8_t>(2048, 0xFF));
    std::vector<uint8_t> kept = Pattern(3072, 4);
    EXPECT_EQ(host.device().ReadMemory(0, 0x08000800, 1024), std::vector<uint8_t>(kept.begin() + 2048, kept.end()));
    EXPECT_EQ(host.device().GetActivity().erases, 2u);
    EXPECT_EQ(host.device().GetActivity().erase_busy, std::chrono::milliseconds(2));
}

TEST(DeviceMemory, TheSelectedAlternateSettingIsTheOneWritten) {
    Config config = QuickConfig();
    config.alts = {{"@A /0x08000000/01*1Kg", {}}, {"@B /0x08000000/01*1Kg", {}}};
    Host host(Make(config));
    ASSERT_EQ(host.SetInterface(1), TransferStatus::Ok);
    ASSERT_EQ(host.Write(0x08000000, Pattern(8, 3)).status, Status::Ok);
    EXPECT_EQ(host.device().ReadMemory(1, 0x08000000, 8), Pattern(8, 3));
    EXPECT_EQ(host.device().ReadMemory(0, 0x08000000, 8), std::vector<uint8_t>(8, 0xFF));
    EXPECT_EQ(host.SetInterface(2), TransferStatus::Stall);
}

TEST(DeviceTiming, BusyTimeIsARealDeadline) {
    Config config = QuickConfig();
    config.timing = {40, 7};
    Host host(Make(config));
    auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(host.Dnload(0, Le32(kCommandErase, 0x08000000)), TransferStatus::Ok);
    StatusRecord first = host.GetStatus();
    EXPECT_EQ(first.state, State::DnBusy);
    EXPECT_EQ(first.poll_ms, 40u);
    StatusRecord early = host.GetStatus();
    EXPECT_EQ(early.state, State::DnBusy);
    EXPECT_GT(early.poll_ms, 0u);
    EXPECT_LE(early.poll_ms, 40u);
    std::this_thread::sleep_for(std::chrono::milliseconds(early.poll_ms));
    EXPECT_EQ(host.GetStatus().state, State::DnloadIdle);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(40));

    EXPECT_EQ(host.Write(0x08000000, Pattern(4096, 1)).state, State::DnloadIdle);
    Activity activity = host.device().GetActivity();
    EXPECT_EQ(activity.erase_busy, std::chrono::milliseconds(40));
    EXPECT_EQ(activity.program_busy, std::chrono::milliseconds(14));
}

TEST(DeviceStores, MemoryOutlivesTheDevice) {
    TempFolder folder;
    Config config = QuickConfig(folder.path());
    config.alts = {{"@Two regions /0x08000000/02*1Kg/0x00100000/01*1Kg", {}}, {"@Other /0x0/01*1Kg", "sub/other.bin"}};
    std::filesystem::create_directories(folder.path() / "sub");
    {
        Host host(Make(config));
        EXPECT_EQ(host.Write(0x00100000, Pattern(1024, 5)).status, Status::Ok);
        EXPECT_EQ(host.Write(0x08000400, Pattern(16, 6)).status, Status::Ok);
    }
    // The store is the regions one after the other.
    std::ifstream in(folder.path() / "alt0.bin", std::ios::binary);
    std::vector<uint8_t> store((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(store.size(), 3072u);
    EXPECT_EQ(std::vector<uint8_t>(store.begin(), store.begin() + 1024), std::vector<uint8_t>(1024, 0xFF));
    EXPECT_EQ(std::vector<uint8_t>(store.begin() + 1024, store.begin() + 1040), Pattern(16, 6));
    EXPECT_EQ(std::vector<uint8_t>(store.begin() + 2048, store.end()), Pattern(1024, 5));
    EXPECT_EQ(std::filesystem::file_size(folder.path() / "sub" / "other.bin"), 1024u);

    Host again(Make(config));
    EXPECT_EQ(again.device().ReadMemory(0, 0x00100000, 1024), Pattern(1024, 5));
    EXPECT_EQ(again.device().ReadMemory(0, 0x08000400, 16), Pattern(16, 6));
}

TEST(DeviceStores, ShortStoresArePaddedAndLongOnesKeepTheirTail) {
    TempFolder folder;
    Config config = QuickConfig(folder.path());
    config.alts = {{"@A /0x0/01*1Kg", {}}, {"@B /0x0/01*1Kg", {}}};
    {
        std::ofstream(folder.path() / "alt0.bin", std::ios::binary) << "abc";
        std::ofstream(folder.path() / "alt1.bin", std::ios::binary) << std::string(1030, 'x');
    }
    Host host(Make(config));
    std::vector<uint8_t> a = host.device().ReadMemory(0, 0, 1024);
    EXPECT_EQ(std::string(a.begin(), a.begin() + 3), "abc");
    EXPECT_EQ(a[3], 0xFF);
    EXPECT_EQ(std::filesystem::file_size(folder.path() / "alt0.bin"), 1024u);
    EXPECT_EQ(std::filesystem::file_size(folder.path() / "alt1.bin"), 1030u);
}

TEST(DeviceStores, AnUnwritableStoreIsAnError) {
    TempFolder folder;
    Config config = QuickConfig(folder.path() / "missing" / "folder");
    Outcome<std::shared_ptr<Device>> device = Device::Create(config);
    ASSERT_FALSE(device);
    EXPECT_NE(device.error().find("alt0.bin"), std::string::npos) << device.error();
}

TEST(DeviceStores, ABrokenNameGivesADeviceWithoutMemory) {
    TempFolder folder;
    Config config = QuickConfig(folder.path());
    config.alts = {{"not a layout", {}}};
    Host host(Make(config));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "alt0.bin"));
    EXPECT_EQ(host.Write(0x08000000, Pattern(4, 1)).status, Status::ErrAddress);
}

}  // namespace
}  // namespace sim::test
