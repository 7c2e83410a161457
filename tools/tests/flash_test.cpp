// vqzdfu flash in-process against the simulated bus: every injected fault of the erase and the
// write phase fails the device with words that name it, and a second flash then writes the
// exact images; --all works on every device at once, one failing.
#include <filesystem>

#include <gtest/gtest.h>

#include "dfu/dfu_file.h"
#include "dfu/transport_sim.h"
#include "sim/bus.h"
#include "tools/commands.h"

namespace vqzdfu {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
    return bytes;
}

struct Captured {
    std::string out, err;
    Console console{[this](std::string_view t) { out += t; }, [this](std::string_view t) { err += t; },
                    false};
};

struct Fault {
    const char* what;
    sim::FaultPhase phase;
    sim::FaultAction action;
    uint8_t status;
    std::vector<const char*> words;  // in the failed device's message
};

class FlashTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (std::string("vqz-flash-") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        dfu::DfuFile file;
        file.images = {main_, options_};
        auto bytes = dfu::SerializeDfuFile(file);
        ASSERT_TRUE(bytes.ok());
        ASSERT_TRUE(dfu::WriteFileBytes(Utf8(folder_ / "fw.dfu"), *bytes).ok());
    }
    void TearDown() override {
        dfu::SetTransportOpener({});
        dfu::SetInterfaceLister({});
        fs::remove_all(folder_);
    }
    static std::string Utf8(const fs::path& p) {
        const std::u8string text = p.u8string();
        return std::string(text.begin(), text.end());
    }

    int Flash(Captured& c) { return vqzdfu::Flash({Utf8(folder_ / "fw.dfu")}, c.console); }

    void ExpectWritten(const sim::Device& device) {
        for (const dfu::Image* image : {&main_, &options_})
            for (const dfu::Element& e : image->elements)
                EXPECT_EQ(device.ReadMemory(image->alternate, e.address, e.data.size()), e.data)
                    << "at " << std::hex << e.address;
    }

    fs::path folder_;
    const dfu::Image main_{0, "main", {{0x08000000, Pattern(40000, 1)}, {0x08010000, Pattern(9000, 2)}}};
    const dfu::Image options_{1, "", {{0x1FFFC000, Pattern(16, 3)}}};
};

class FlashFaults : public FlashTest, public ::testing::WithParamInterface<Fault> {};

sim::Config TwoSettings() {
    sim::Config config;
    config.alts = {{"@Program Memory /0x08000000/04*016Kg,01*064Kg", {}},
                   {"@Settings Area /0x1FFFC000/01*016 g", {}}};
    config.timing = {1, 0};
    return config;
}

TEST_P(FlashFaults, FailsWithWordsThatNameItAndASecondFlashWritesTheImages) {
    const Fault& f = GetParam();
    sim::Config config = TwoSettings();
    // The image's share of the work: 4 sectors to erase, 25 blocks to write.
    const uint32_t total = f.phase == sim::FaultPhase::Erase ? 4 : 25;
    config.fault = sim::FaultConfig{f.phase, 0, 50, f.action, f.status, total};
    sim::Bus bus;
    auto device = bus.AddFromConfig(config);
    ASSERT_TRUE(bool(device)) << device.error();
    dfu::UseSimulatedBus(bus);

    Captured first;
    EXPECT_EQ(Flash(first), kExitFailed) << first.out << first.err;
    for (const char* word : f.words)
        EXPECT_NE(first.out.find(word), std::string::npos) << "'" << word << "' missing in: " << first.out;

    if (!(*device)->attached()) bus.Plug(*device);
    Captured second;
    ASSERT_EQ(Flash(second), 0) << second.out << second.err;
    EXPECT_NE(second.out.find(": ok: 2 image(s), 49016 bytes written and verified"), std::string::npos)
        << second.out;
    ExpectWritten(**device);
}

TEST_F(FlashTest, AllFlashesEveryDeviceAtOnceAndOneFailureStopsNoOther) {
    sim::Bus bus;
    std::vector<std::shared_ptr<sim::Device>> devices;
    for (int i = 0; i < 3; ++i) {
        sim::Config config = TwoSettings();
        config.timing = {2, 1};
        if (i == 1) config.fault = sim::FaultConfig{sim::FaultPhase::Write, 0, 30, sim::FaultAction::Status, 3, 25};
        auto device = bus.AddFromConfig(config);
        ASSERT_TRUE(bool(device)) << device.error();
        devices.push_back(*device);
    }
    dfu::UseSimulatedBus(bus);
    Captured c;
    ASSERT_EQ(vqzdfu::Flash({Utf8(folder_ / "fw.dfu"), "--all"}, c.console), kExitFailed) << c.out;
    const std::string lines[] = {"#sim0#", "#sim1#", "#sim2#"};
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        at = c.out.find(lines[i], at);
        ASSERT_NE(at, std::string::npos) << "no result line of device " << i << " in order: " << c.out;
        const std::string line = c.out.substr(at, c.out.find('\n', at) - at);
        EXPECT_NE(line.find(i == 1 ? ": failed: write of " : ": ok: 2 image(s)"), std::string::npos) << line;
        if (i != 1) ExpectWritten(*devices[i]);
    }
}

using sim::FaultAction;
using sim::FaultPhase;
INSTANTIATE_TEST_SUITE_P(
    EraseAndWrite, FlashFaults,
    ::testing::Values(
        Fault{"erase_status", FaultPhase::Erase, FaultAction::Status, 4,
              {"failed: erase of ", "cannot erase the sector at 0x08", "status errERASE",
               "state dfuERROR", "request GETSTATUS"}},
        Fault{"erase_stall", FaultPhase::Erase, FaultAction::Stall, 0,
              {"failed: erase of ", "cannot erase the sector at 0x08", "transfer error: stall;",
               "status errSTALLEDPKT", "request DNLOAD"}},
        Fault{"erase_unplug", FaultPhase::Erase, FaultAction::Unplug, 0,
              {"failed: erase of ", "cannot erase the sector at 0x08", "transfer error: device gone;",
               "request DNLOAD"}},
        Fault{"write_status", FaultPhase::Write, FaultAction::Status, 3,
              {"failed: write of ", "cannot write 0x08", "status errWRITE", "state dfuERROR",
               "request GETSTATUS"}},
        Fault{"write_stall", FaultPhase::Write, FaultAction::Stall, 0,
              {"failed: write of ", "cannot write 0x08", "transfer error: stall;", "status errSTALLEDPKT",
               "request DNLOAD block"}},
        Fault{"write_unplug", FaultPhase::Write, FaultAction::Unplug, 0,
              {"failed: write of ", "cannot write 0x08", "transfer error: device gone;",
               "request DNLOAD block"}}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace vqzdfu
