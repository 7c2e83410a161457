// Background operations through the boundary: a whole update, launch refusals, stop, and the
// fault matrix against the simulated device.
#include <gtest/gtest.h>

#include "dfu/debug_output.h"
#include "dfu/protocol.h"
#include "stdfu/tests/boundary_rig.h"

namespace stdfu::testing {
namespace {

using Operations = BoundaryTest;

// 60000 bytes from the start of the small device: sectors 0 to 3, 4 erases and 30 blocks.
dfu::Image MainImage() {
    return dfu::Image{0, "main", {{0x08000000, Pattern(60000, 3)}}};
}

struct Mapped {
    StdfuMapping* entries = nullptr;
    uint32_t count = 0;
    explicit Mapped(const std::string& path) {
        EXPECT_EQ(STDFUPRT_CreateMappingFromDevice(path.c_str(), &entries, &count), STDFU_OK);
    }
    ~Mapped() { STDFUPRT_DestroyMapping(&entries); }
};

TEST_F(Operations, AnUpdateOfTwoImagesStoresThemAndLeavesNoHandle) {
    sim::Config config = dfu::testing::SmallDevice();
    config.alts.push_back({"@Dunor /0x00000000/08*001Kg", {}});
    Use(config);
    const dfu::Image images[] = {MainImage(),
                                 dfu::Image{1, "dunor", {{0x00000100, Pattern(5000, 9)}}}};
    Mapped mapping(Path());
    ASSERT_EQ(+mapping.count, 2u);

    for (size_t k = 0; k < 2; ++k) {
        uint32_t slot = AddImage(images[k]);
        const auto& element = images[k].elements[0];
        bool storedAtHundred = false;
        StdfuOperationContext c = UpdateImage(Path(), mapping.entries[k], slot, [&](const auto&) {
            storedAtHundred =
                rig_->device->ReadMemory(k, element.address, element.data.size()) == element.data;
        });
        EXPECT_EQ(+c.errorCode, STDFU_OK) << "image " << k;
        EXPECT_EQ(+c.percent, 100);
        EXPECT_EQ(+c.operation, STDFU_OP_UPGRADE);
        EXPECT_EQ(+c.wTransferSize, 2048);
        EXPECT_EQ(+c.lastStatus.bStatus, 0);
        EXPECT_EQ(+c.lastStatus.bState, 2) << "left in dfuIDLE";
        EXPECT_TRUE(storedAtHundred) << "100 % read before the image was all there";
        EXPECT_EQ(rig_->device->ReadMemory(k, element.address, element.data.size()), element.data);
        STDFUFILES_DestroyImage(&slot);
    }
}

TEST_F(Operations, StatusAndStopCopyTheLaunchContextWithTheOutFields) {
    Use(dfu::testing::SmallDevice());
    Mapped mapping(Path());
    uint32_t image = AddImage(MainImage());
    uint32_t eraseCopy = FilteredCopy(image, mapping.entries[0], STDFU_OP_ERASE);
    StdfuOperationContext launched = LaunchContext(Path(), eraseCopy);
    std::memset(launched.reserved2, 0xA5, sizeof launched.reserved2);
    uint32_t id = 0;
    ASSERT_EQ(STDFUPRT_LaunchOperation(&launched, &id), STDFU_OK);
    EXPECT_NE(id, 0u);
    PollToEnd(id);
    StdfuOperationContext out{};
    ASSERT_EQ(STDFUPRT_StopOperation(id, &out), STDFU_OK);

    // Everything the caller set comes back as it was.
    StdfuOperationContext in = out;
    in.percent = 0;
    in.wTransferSize = 0;
    in.lastStatus = {};
    in.currentRequest = in.currentNBlock = in.currentLength = 0;
    in.errorCode = 0;
    EXPECT_EQ(std::memcmp(&in, &launched, sizeof in), 0);
    EXPECT_EQ(+out.percent, 100);
    EXPECT_EQ(+out.errorCode, STDFU_OK);
    EXPECT_EQ(+out.wTransferSize, 2048);
    EXPECT_EQ(+out.currentRequest, STDFU_RQ_GET_STATUS) << "the last request asked the state";
    EXPECT_EQ(+out.currentNBlock, 0u) << "the erase commands go in block 0";
    EXPECT_EQ(+out.currentLength, 5u);

    // The ID is dead now.
    EXPECT_NE(STDFUPRT_GetOperationStatus(id, &out), STDFU_OK);
    EXPECT_NE(STDFUPRT_StopOperation(id, nullptr), STDFU_OK);
    STDFUFILES_DestroyImage(&eraseCopy);
    STDFUFILES_DestroyImage(&image);
}

TEST_F(Operations, LaunchRefusals) {
    Use(dfu::testing::SmallDevice());
    Mapped mapping(Path());
    uint32_t raw = AddImage(MainImage());
    uint32_t erase = FilteredCopy(raw, mapping.entries[0], STDFU_OP_ERASE);
    uint32_t write = FilteredCopy(raw, mapping.entries[0], STDFU_OP_UPGRADE);

    struct Case {
        const char* what;
        int32_t operation;
        uint32_t image;
        std::string path;
        uint32_t expected;
    };
    const Case cases[] = {
        {"detach", STDFU_OP_DETACH, erase, Path(), STDFU_ERR_UNSUPPORTED},
        {"return", STDFU_OP_RETURN, erase, Path(), STDFU_ERR_UNSUPPORTED},
        {"upload", STDFU_OP_UPLOAD, erase, Path(), STDFU_ERR_UNSUPPORTED},
        {"unknown operation", 77, erase, Path(), STDFU_ERR_UNSUPPORTED},
        {"no image", STDFU_OP_ERASE, 0, Path(), STDFU_ERR_BAD_PARAMETER},
        {"dead image", STDFU_OP_ERASE, 999999, Path(), STDFU_ERR_BAD_PARAMETER},
        {"image not filtered", STDFU_OP_ERASE, raw, Path(), STDFU_ERR_BAD_PARAMETER},
        {"filtered for writing", STDFU_OP_ERASE, write, Path(), STDFU_ERR_BAD_PARAMETER},
        {"no such device", STDFU_OP_ERASE, erase, "\\\\?\\USB#NONE", STDFU_ERR_UNEXPECTED},
    };
    for (const Case& c : cases) {
        StdfuOperationContext context = LaunchContext(c.path, c.image);
        context.operation = c.operation;
        uint32_t id = 5;
        EXPECT_EQ(STDFUPRT_LaunchOperation(&context, &id), c.expected) << c.what;
        EXPECT_EQ(id, 0u) << c.what;
    }
    uint32_t id = 0;
    EXPECT_EQ(STDFUPRT_LaunchOperation(nullptr, &id), STDFU_ERR_BAD_PARAMETER);
    StdfuOperationContext context = LaunchContext(Path(), erase);
    EXPECT_EQ(STDFUPRT_LaunchOperation(&context, nullptr), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUPRT_GetOperationStatus(0, &context), STDFU_ERR_BAD_PARAMETER);
    EXPECT_EQ(STDFUPRT_StopOperation(0, &context), STDFU_ERR_BAD_PARAMETER);
    for (uint32_t* h : {&raw, &erase, &write}) STDFUFILES_DestroyImage(h);
}

TEST_F(Operations, AnImageThatDoesNotFitItsEntryIsRefusedBeforeTheDeviceIsTouched) {
    Use(dfu::testing::SmallDevice());  // 128 KiB at 0x08000000
    Mapped mapping(Path());
    const std::vector<uint8_t> erased(128 * 1024, 0xFF);
    struct Case {
        const char* what;
        dfu::Image image;
        const char* refusal;
    };
    const Case cases[] = {
        {"wholly outside", {0, "", {{0x20000000, Pattern(0x10000, 1)}}},
         "bytes 0x20000000..0x2000ffff lie outside the writable memory of alternate setting 0"},
        {"past 4 GiB", {0, "", {{0xFFFFFF00, Pattern(0x1000, 2)}}},
         "bytes 0xffffff00..0x100000eff lie outside the writable memory of alternate setting 0"},
        {"larger than the memory", {0, "", {{0x08000000, Pattern(200 * 1024, 3)}}},
         "bytes 0x08020000..0x08031fff lie outside the writable memory of alternate setting 0"},
        {"starting before the memory", {0, "", {{0x07FF8000, Pattern(0x10000, 4)}}},
         "bytes 0x07ff8000..0x07ffffff lie outside the writable memory of alternate setting 0"},
        {"an empty element only", {0, "", {{0x08000000, {}}}}, "the image holds no byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dfu::DebugLineCapture debug;
        uint32_t raw = AddImage(c.image);
        uint32_t erase = FilteredCopy(raw, mapping.entries[0], STDFU_OP_ERASE);
        uint32_t write = FilteredCopy(raw, mapping.entries[0], STDFU_OP_UPGRADE);
        for (auto [operation, image] : {std::pair{STDFU_OP_ERASE, erase}, {STDFU_OP_UPGRADE, write}}) {
            StdfuOperationContext context = LaunchContext(Path(), image);
            context.operation = operation;
            uint32_t id = 5;
            EXPECT_EQ(STDFUPRT_LaunchOperation(&context, &id), STDFU_ERR_BAD_PARAMETER);
            EXPECT_EQ(id, 0u);
        }
        EXPECT_EQ(debug.lines(),
                  (std::vector<std::string>{std::string("cannot launch the erase phase: ") + c.refusal,
                                            std::string("cannot launch the write phase: ") + c.refusal}));
        EXPECT_TRUE(rig_->device->ReadMemory(0, 0x08000000, erased.size()) == erased);
        for (uint32_t* h : {&raw, &erase, &write}) STDFUFILES_DestroyImage(h);
    }
}

TEST_F(Operations, ALaunchWhileOneRunsOnTheDeviceIsRefusedAndStopIsPrompt) {
    sim::Config config = dfu::testing::SmallDevice();
    config.timing.erase_ms_per_sector = 600;
    Use(config);
    Mapped mapping(Path());
    uint32_t image = AddImage(MainImage());
    uint32_t erase = FilteredCopy(image, mapping.entries[0], STDFU_OP_ERASE);
    StdfuOperationContext context = LaunchContext(Path(), erase);
    uint32_t first = 0, second = 0;
    ASSERT_EQ(STDFUPRT_LaunchOperation(&context, &first), STDFU_OK);

    // The same device, whatever the letter case of its path.
    StdfuOperationContext lower = LaunchContext(rig_->path, erase);
    EXPECT_EQ(STDFUPRT_LaunchOperation(&lower, &second), STDFU_ERR_ALREADY_RUNNING);
    EXPECT_EQ(second, 0u);

    std::this_thread::sleep_for(50ms);  // well into the first erase's busy time
    const auto before = std::chrono::steady_clock::now();
    StdfuOperationContext stopped{};
    ASSERT_EQ(STDFUPRT_StopOperation(first, &stopped), STDFU_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 300ms) << "stop waited for the device";
    EXPECT_LT(+stopped.percent, 100);

    // Once stopped, the device takes a new phase, which waits out the busy erase and ends.
    STDFUFILES_DestroyImage(&erase);
    STDFUFILES_DestroyImage(&image);
    const dfu::Image small{0, "small", {{0x08000000, Pattern(3000, 4)}}};
    image = AddImage(small);
    StdfuOperationContext done = UpdateImage(Path(), mapping.entries[0], image);
    EXPECT_EQ(+done.errorCode, STDFU_OK);
    EXPECT_EQ(+done.percent, 100);
    EXPECT_EQ(rig_->device->ReadMemory(0, 0x08000000, 3000), small.elements[0].data);
    STDFUFILES_DestroyImage(&image);
}

TEST_F(Operations, StopBeforeTheEndAndDestroyingTheImageMeanwhileAreSafe) {
    sim::Config config = dfu::testing::SmallDevice();
    config.timing.program_ms_per_block = 20;
    Use(config);
    Mapped mapping(Path());
    uint32_t image = AddImage(MainImage());
    uint32_t write = FilteredCopy(image, mapping.entries[0], STDFU_OP_UPGRADE);
    StdfuOperationContext context = LaunchContext(Path(), write);
    context.operation = STDFU_OP_UPGRADE;
    uint32_t id = 0;
    ASSERT_EQ(STDFUPRT_LaunchOperation(&context, &id), STDFU_OK);
    // The operation keeps what it reads alive on its own.
    STDFUFILES_DestroyImage(&write);
    STDFUFILES_DestroyImage(&image);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(STDFUPRT_StopOperation(id, nullptr), STDFU_OK);
}

struct Fault {
    const char* what;
    sim::FaultConfig fault;
    int32_t failedPhase;
    uint32_t errorCode;
    int bStatus;  // -1: not looked at
    int bState;
};

void PrintTo(const Fault& f, std::ostream* out) {
    *out << f.what;
}

sim::FaultConfig At(sim::FaultPhase phase, sim::FaultAction action, uint8_t status = 0) {
    sim::FaultConfig f;
    f.phase = phase;
    f.action = action;
    f.status = status;
    f.at_percent = 50;
    f.total = phase == sim::FaultPhase::Erase ? 4 : 30;
    return f;
}

using sim::FaultAction;
using sim::FaultPhase;

class FaultMatrix : public BoundaryTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultMatrix, ReportsTheFaultThenASecondAttemptWritesTheImage) {
    const Fault& f = GetParam();
    sim::Config config = dfu::testing::SmallDevice();
    config.fault = f.fault;
    Use(config);
    Mapped mapping(Path());
    const dfu::Image main = MainImage();
    uint32_t image = AddImage(main);

    StdfuOperationContext failed = UpdateImage(Path(), mapping.entries[0], image);
    EXPECT_EQ(+failed.errorCode, f.errorCode);
    EXPECT_EQ(+failed.operation, f.failedPhase);
    EXPECT_LT(+failed.percent, 100);
    EXPECT_GT(+failed.percent, 0) << "the fault strikes half-way";
    EXPECT_NE(+failed.currentRequest, 0u);
    if (f.bStatus >= 0) {
        EXPECT_EQ(+failed.lastStatus.bStatus, f.bStatus);
    }
    if (f.bState >= 0) {
        EXPECT_EQ(+failed.lastStatus.bState, f.bState);
    }

    if (rig_->device->attached()) {
        // The failed phase left the device ready for another attempt.
        auto transport = dfu::OpenTransport(Path());
        ASSERT_TRUE(transport.ok());
        dfu::Dfu dfu(**transport, 0);
        auto status = dfu.GetStatus();
        ASSERT_TRUE(status.ok());
        EXPECT_EQ(status->state, uint8_t(dfu::State::DfuIdle));
        EXPECT_EQ(status->status, uint8_t(dfu::StatusCode::Ok));
    } else {
        rig_->bus.Plug(rig_->device);
    }
    StdfuOperationContext again = UpdateImage(Path(), mapping.entries[0], image);
    EXPECT_EQ(+again.errorCode, STDFU_OK);
    EXPECT_EQ(+again.percent, 100);
    const auto& e = main.elements[0];
    EXPECT_EQ(rig_->device->ReadMemory(0, e.address, e.data.size()), e.data);
    STDFUFILES_DestroyImage(&image);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultMatrix,
    ::testing::Values(Fault{"erase_status", At(FaultPhase::Erase, FaultAction::Status, 4),
                            STDFU_OP_ERASE, STDFU_ERR_DFU, 4, 10},
                      Fault{"write_status", At(FaultPhase::Write, FaultAction::Status, 3),
                            STDFU_OP_UPGRADE, STDFU_ERR_DFU, 3, 10},
                      Fault{"erase_stall", At(FaultPhase::Erase, FaultAction::Stall),
                            STDFU_OP_ERASE, STDFU_ERR_DFU, 15, 10},
                      Fault{"write_stall", At(FaultPhase::Write, FaultAction::Stall),
                            STDFU_OP_UPGRADE, STDFU_ERR_DFU, 15, 10},
                      Fault{"erase_unplug", At(FaultPhase::Erase, FaultAction::Unplug),
                            STDFU_OP_ERASE, STDFU_ERR_UNEXPECTED, -1, -1},
                      Fault{"write_unplug", At(FaultPhase::Write, FaultAction::Unplug),
                            STDFU_OP_UPGRADE, STDFU_ERR_UNEXPECTED, -1, -1},
                      Fault{"write_corrupt", At(FaultPhase::Write, FaultAction::Corrupt),
                            STDFU_OP_UPGRADE, STDFU_ERR_DFU, 7, -1}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace stdfu::testing
