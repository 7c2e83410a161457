// The upgrade in the real dialog against the simulated device and the real toolkit: the dialog is
// created in-process, its timer is stopped, and the test sends the ticks itself, so every case
// controls when the dialog polls. Message boxes are read and closed from inside their own message
// loop, after a tick has been sent to the dialog while the box is open.
//
// Two cases the toolkit does not produce are tested natively on their texts: a phase failing with
// STDFU_ERR_UNSUPPORTED (failure_text_test) and a write seen at exactly 99 % (progress_text_test).
#include "app/vqz_downloaderDlg.h"
#include "device/tests/dialog_rig.h"

#include <gtest/gtest.h>

#include "dfu/debug_output.h"
#include "dfu/dfu_file.h"
#include "dfu/transport.h"
#include "dfu/transport_sim.h"
#include "device/simulated_interfaces.h"
#include "sim/bus.h"
#include "update/progress_text.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::wstring kDone = L"\u0413\u043e\u0442\u043e\u0432\u043e";  // message 1030's default
const std::wstring kUnplugged = L"Velmarquist GPS \u0440\u0430\u0437\u044a\u0435\u0434\u0438\u043d\u0435\u043d.";

using rig::ExeFolder;
using rig::Utf8;

// The three images of the set: slot k is written to alternate setting k at kAddress[k].
const char* const kFiles[3] = {"prog.dfu", "Dunorfile.dfu", "file3.dfu"};
constexpr uint32_t kAddress[3] = {0x08000000, 0x08100000, 0x08200000};
const char* const kLayouts[3] = {
    "@Velmarquist /0x08000000/04*016Kg,01*064Kg",
    "@Dunor /0x08100000/04*016Kg",
    "@Extra /0x08200000/04*016Kg",
};

bool StartsWith(const std::wstring& text, const std::wstring& start) { return text.rfind(start, 0) == 0; }

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = 0x9E3779B9u * (seed + 1u);
    for (uint8_t& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = uint8_t(x >> 24);
    }
    return bytes;
}

// The message boxes the dialog shows while this watcher lives: a tick is sent to the dialog while
// each is open (what the dialog holds then is noted), and the box is closed with OK.
class BoxWatcher {
public:
    struct Box {
        std::wstring text;
        uint32_t operationDuringBox;
        bool pauseDuringBox;
    };

    explicit BoxWatcher(Cvqz_downloaderDlg& dialog)
        : watcher_([this, &dialog](const std::wstring& text) {
              if (dialog.m_hWnd) dialog.SendMessage(WM_TIMER, 1);
              boxes_.push_back({text, dialog.m_dwOperationId, dialog.m_bNextImagePending});
          }) {}
    const std::vector<Box>& boxes() const { return boxes_; }

private:
    std::vector<Box> boxes_;
    rig::MessageBoxes watcher_;
};

// The device reports an error status once, in the write phase of one alternate setting.
struct WriteFault {
    uint8_t alt;
    uint32_t atPercent;
    uint8_t status;
    uint32_t total;  // blocks the phase writes
};

class Upgrade : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // An empty language file: every text its default.
        std::ofstream(std::filesystem::path(ExeFolder() + L"\\lang.ini"), std::ios::binary | std::ios::trunc);
    }

    void SetUp() override { baseline_ = STDFU_LiveHandleCount(); }

    void TearDown() override {
        if (otherId_) ReleaseDevice();
        Close();
        EXPECT_EQ(STDFU_LiveHandleCount(), baseline_) << "a handle was left alive";
        for (const char* f : kFiles) std::remove(Utf8(ExeFolder() + L"\\").append(f).c_str());
    }

    // The firmware set beside the program: an image of sizes[k] bytes for each slot with a size.
    void WriteFiles(std::array<std::optional<size_t>, 3> sizes) {
        for (int k = 0; k < 3; ++k) {
            std::remove((Utf8(ExeFolder() + L"\\") + kFiles[k]).c_str());
            images_[k].clear();
            if (!sizes[k]) continue;
            images_[k] = Pattern(*sizes[k], uint8_t(k));
            WriteSlotFile(k, kAddress[k], images_[k]);
        }
    }

    // The file of slot k with one element.
    static void WriteSlotFile(int k, uint32_t address, const std::vector<uint8_t>& data) {
        dfu::DfuFile file;
        dfu::Image image;
        image.alternate = uint8_t(k);
        image.elements.push_back({address, data});
        file.images.push_back(image);
        auto bytes = dfu::SerializeDfuFile(file);
        ASSERT_TRUE(bytes);
        ASSERT_TRUE(dfu::WriteFileBytes(Utf8(ExeFolder() + L"\\") + kFiles[k], *bytes));
    }

    // The device, the bus and the dialog on them.
    void Open(sim::TimingConfig timing = {1, 1}, std::optional<WriteFault> fault = std::nullopt,
              uint16_t transferSize = 2048, size_t settings = 3) {
        sim::Config config;
        config.device.transfer_size = transferSize;
        config.alts.clear();
        for (size_t k = 0; k < settings; ++k) config.alts.push_back({kLayouts[k], {}});
        config.timing = timing;
        if (fault) {
            sim::FaultConfig f;
            f.phase = sim::FaultPhase::Write;
            f.alt = fault->alt;
            f.at_percent = fault->atPercent;
            f.total = fault->total;
            f.action = sim::FaultAction::Status;
            f.status = fault->status;
            config.fault = f;
        }
        auto bus = sim::Bus::FromConfig(config);
        ASSERT_TRUE(bus) << bus.error();
        bus_ = std::move(*bus);
        bus_->WaitIdle();
        dfu::UseSimulatedBus(*bus_);
        interfaces_ = std::make_unique<device::SimulatedInterfaces>(*bus_);
        dlg_ = std::make_unique<Cvqz_downloaderDlg>();
        dlg_->m_pInterfaces = interfaces_.get();
        ASSERT_TRUE(dlg_->Create());
        // The test sends the ticks.
        ::KillTimer(dlg_->m_hWnd, 1);
    }

    void Close() {
        if (dlg_) {
            if (dlg_->m_hWnd) dlg_->DestroyWindow();
            // The mapping lives until the next detection or the process's end; the test ends it.
            if (dlg_->m_pMapping) STDFUPRT_DestroyMapping(&dlg_->m_pMapping);
            dlg_.reset();
        }
        interfaces_.reset();
        dfu::SetTransportOpener({});
        dfu::SetInterfaceLister({});
        bus_.reset();
    }

    void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit_ = true;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    // Keys pressed on the control with the focus, through the modal loop's steps: the dialog
    // manager first, else translation and dispatch.
    void PressKeys(std::initializer_list<WPARAM> keys) {
        for (WPARAM key : keys) {
            const UINT scan = ::MapVirtualKeyW(UINT(key), MAPVK_VK_TO_VSC);
            ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, LPARAM(1 | scan << 16));
            ::PostMessageW(::GetFocus(), WM_KEYUP, key, LPARAM(1 | scan << 16 | 0xC0000000u));
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit_ = true;
                    continue;
                }
                if (dlg_->m_hWnd && ::IsDialogMessageW(dlg_->m_hWnd, &msg)) continue;
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
    }

    void PressUpgrade() {
        dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_UPGRADE, BN_CLICKED),
                         reinterpret_cast<LPARAM>(dlg_->m_btnUpgrade.m_hWnd));
    }

    // One tick; notes what the bar says afterwards when it changed.
    void Tick() {
        dlg_->SendMessage(WM_TIMER, 1);
        const std::wstring text = BarText();
        if (seen_.empty() || seen_.back() != text) seen_.push_back(text);
        if (text.rfind(L"Write", 0) == 0) sizes_.emplace_back(text, Text(IDC_SIZE));
    }

    // Ticks every few milliseconds until `done` holds; false after `limit`.
    bool TickUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            // Device notifications reach the window before the next tick, as they do promptly.
            bus_->WaitIdle();
            Pump();
            if (done()) return true;
            Tick();
            if (done()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    // Another program starts an erase on the device, which the toolkit then refuses to anyone else.
    void HoldDevice() {
        StdfuOperationContext other{};
        other.operation = STDFU_OP_ERASE;
        std::snprintf(other.szDevLink, sizeof other.szDevLink, "%s", dlg_->m_strDevicePath.c_str());
        STDFUFILES_DuplicateImage(dlg_->m_hImages[0], &otherImage_);
        STDFUFILES_FilterImageForOperation(otherImage_, &dlg_->m_pMapping[0], STDFU_OP_ERASE, 0);
        other.hImage = otherImage_;
        ASSERT_EQ(STDFUPRT_LaunchOperation(&other, &otherId_), STDFU_OK);
    }
    void ReleaseDevice() {
        STDFUPRT_StopOperation(otherId_, nullptr);
        STDFUFILES_DestroyImage(&otherImage_);
        otherId_ = 0;
    }

    bool Idle() const { return dlg_->m_dwOperationId == 0 && !dlg_->m_bNextImagePending; }
    std::wstring BarText() const { return dlg_->m_ctrlProgress.GetWindowText(); }
    std::wstring Text(int id) const { return dlg_->GetDlgItem(id).GetWindowText(); }
    bool UpgradeEnabled() const { return dlg_->m_btnUpgrade.IsWindowEnabled(); }

    std::vector<uint8_t> DeviceMemory(int k) const {
        return bus_->Devices().front()->ReadMemory(size_t(k), kAddress[k], images_[k].size());
    }
    bool Erased(int k) const {
        for (uint8_t b : DeviceMemory(k))
            if (b != 0xFF) return false;
        return true;
    }

    // The step texts seen that name a phase, in order, with the percentage taken out.
    std::vector<std::wstring> Steps() const {
        std::vector<std::wstring> steps;
        static const std::wregex step(L"(Erase|Write) \\d+% \\((\\d+)/(\\d+)\\)");
        for (const std::wstring& t : seen_) {
            std::wsmatch m;
            if (!std::regex_match(t, m, step)) continue;
            std::wstring s = m[1].str() + L" " + m[2].str() + L"/" + m[3].str();
            if (steps.empty() || steps.back() != s) steps.push_back(s);
        }
        return steps;
    }

    std::unique_ptr<Cvqz_downloaderDlg> dlg_;
    std::unique_ptr<sim::Bus> bus_;
    std::unique_ptr<device::SimulatedInterfaces> interfaces_;
    std::array<std::vector<uint8_t>, 3> images_;
    std::vector<std::wstring> seen_;
    std::vector<std::pair<std::wstring, std::wstring>> sizes_;  // (write step text, size line)
    uint32_t baseline_ = 0;
    bool quit_ = false;
    uint32_t otherId_ = 0, otherImage_ = 0;
};

// ---- Sequencing of the loaded slots

TEST_F(Upgrade, WithNoSlotLoadedUpgradeLaunchesNothing) {
    WriteFiles({std::nullopt, std::nullopt, std::nullopt});
    Open();
    PressUpgrade();
    EXPECT_EQ(dlg_->m_dwOperationId, 0u);
    Tick();
    EXPECT_TRUE(Idle());
    EXPECT_EQ(Text(IDC_DURATION), L"00:00:00");
    EXPECT_EQ(Text(IDC_SIZE), L"0 KB(0 Bytes) of 0 KB(0 Bytes)");
}

TEST_F(Upgrade, WritesEachLoadedSlotToItsOwnMappingEntryWithItsStepNumbers) {
    struct Case {
        const char* name;
        std::array<std::optional<size_t>, 3> sizes;
        std::vector<std::wstring> steps;
    };
    const Case cases[] = {
        {"only slot 2", {std::nullopt, std::nullopt, 5000}, {L"Erase 1/2", L"Write 2/2"}},
        {"slots 0 and 2", {3000, std::nullopt, 1000}, {L"Erase 1/4", L"Write 2/4", L"Erase 3/4", L"Write 4/4"}},
        {"all three", {3000, 5000, 1000},
         {L"Erase 1/6", L"Write 2/6", L"Erase 3/6", L"Write 4/6", L"Erase 5/6", L"Write 6/6"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFiles(c.sizes);
        Open({1, 20}, std::nullopt, 512);
        dlg_->m_nImageDelay = 0;
        ASSERT_TRUE(UpgradeEnabled());
        PressUpgrade();
        EXPECT_FALSE(UpgradeEnabled());
        ASSERT_TRUE(TickUntil([&] { return Text(IDC_TITLE_MESSAGE) == kDone; }));
        EXPECT_TRUE(Idle());
        EXPECT_EQ(BarText(), kDone);
        EXPECT_FALSE(UpgradeEnabled());
        EXPECT_EQ(Steps(), c.steps);
        for (int k = 0; k < 3; ++k) {
            if (images_[k].empty()) continue;
            EXPECT_EQ(DeviceMemory(k), images_[k]) << "slot " << k;
        }
        EXPECT_EQ(Text(IDC_SIZE), update::SizeText(uint32_t(images_[2].size()), 100));
        Close();
        EXPECT_EQ(STDFU_LiveHandleCount(), baseline_);
        seen_.clear();
    }
}

TEST_F(Upgrade, ThePauseBetweenImagesLastsTheDelayAndZeroLaunchesAtTheNextTick) {
    WriteFiles({3000, std::nullopt, 1000});
    Open();
    dlg_->m_nImageDelay = 600;
    PressUpgrade();
    ASSERT_TRUE(TickUntil([&] { return dlg_->m_bNextImagePending; }));
    const auto pauseStart = std::chrono::steady_clock::now();
    // The finished write phase is held through the pause.
    EXPECT_NE(dlg_->m_dwOperationId, 0u);
    EXPECT_EQ(BarText(), L"Write 100% (2/4)");
    ASSERT_TRUE(TickUntil([&] { return !dlg_->m_bNextImagePending; }));
    EXPECT_GE(std::chrono::steady_clock::now() - pauseStart, 550ms);
    ASSERT_TRUE(TickUntil([&] { return Text(IDC_TITLE_MESSAGE) == kDone; }));
    Close();

    WriteFiles({3000, std::nullopt, 1000});
    Open();
    dlg_->m_nImageDelay = 0;
    PressUpgrade();
    ASSERT_TRUE(TickUntil([&] { return dlg_->m_bNextImagePending; }));
    Tick();
    EXPECT_FALSE(dlg_->m_bNextImagePending);
    EXPECT_NE(dlg_->m_dwOperationId, 0u) << "the next image is launched on the next tick";
    EXPECT_EQ(dlg_->m_hCurrentImage, dlg_->m_hImages[2]);
    Close();

    // The longest pause the key can hold is 49.7 days, not none.
    WriteFiles({3000, std::nullopt, 1000});
    Open();
    dlg_->m_nImageDelay = 0xFFFFFFFFu;
    PressUpgrade();
    ASSERT_TRUE(TickUntil([&] { return dlg_->m_bNextImagePending; }));
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(20ms);
        Tick();
        EXPECT_TRUE(dlg_->m_bNextImagePending);
    }
    // A pause of 2^31 ms that began 2^31 + 10 ms ago is over.
    dlg_->m_nImageDelay = 0x80000000u;
    dlg_->m_dwPauseStartTick = ::GetTickCount() - 0x8000000Au;
    Tick();
    EXPECT_FALSE(dlg_->m_bNextImagePending);
    EXPECT_EQ(dlg_->m_hCurrentImage, dlg_->m_hImages[2]);
}

// ---- What each tick shows

TEST_F(Upgrade, APhaseBelowOneHundredIsPolledOnEveryTick) {
    WriteFiles({std::nullopt, 60000, std::nullopt});
    Open({200, 1});  // four sectors to erase, 200 ms each
    PressUpgrade();
    for (int i = 0; i < 5; ++i) {
        dlg_->m_ctrlProgress.SetWindowText(L"marker");
        Tick();
        EXPECT_TRUE(std::regex_match(BarText(), std::wregex(L"Erase \\d\\d?% \\(1/2\\)"))) << BarText();
        std::this_thread::sleep_for(20ms);
    }
    const uint32_t running = dlg_->m_dwOperationId;
    EXPECT_NE(running, 0u);
    // A click that reaches the disabled button's handler all the same starts nothing.
    PressUpgrade();
    EXPECT_EQ(dlg_->m_dwOperationId, running);
}

TEST_F(Upgrade, TheSizeLineFollowsTheWritePhaseOfTheWorkCopy) {
    WriteFiles({1000, std::nullopt, std::nullopt});
    Open({1, 40}, std::nullopt, 100);  // ten blocks of 100 bytes, 40 ms each
    PressUpgrade();
    EXPECT_EQ(Text(IDC_SIZE), L"0 KB(0 Bytes) of 0 KB(1000 Bytes)");
    ASSERT_TRUE(TickUntil([&] { return Text(IDC_TITLE_MESSAGE) == kDone; }));
    ASSERT_GE(sizes_.size(), 3u);
    static const std::wregex write(L"Write (\\d+)% \\(2/2\\)");
    for (const auto& [step, size] : sizes_) {
        std::wsmatch m;
        ASSERT_TRUE(std::regex_match(step, m, write)) << step;
        EXPECT_EQ(size, update::SizeText(1000, unsigned(std::stoi(m[1].str()))));
    }
}

TEST_F(Upgrade, TheDurationDropsWholeDays) {
    WriteFiles({std::nullopt, 60000, std::nullopt});
    Open({200, 1});
    PressUpgrade();
    dlg_->m_tUpdateStart = int64_t(std::time(nullptr)) - (25 * 3600 + 2 * 60 + 5);
    Tick();
    EXPECT_TRUE(std::regex_match(Text(IDC_DURATION), std::wregex(L"01:02:0[56]"))) << Text(IDC_DURATION);
}

// ---- Failures

TEST_F(Upgrade, ALaunchThatFailsAtUpgradeIsReportedAndCanBeTriedAgain) {
    WriteFiles({3000, std::nullopt, std::nullopt});
    Open({600, 1});  // a slow erase, so the other phase still holds the device
    HoldDevice();
    {
        BoxWatcher boxes(*dlg_);
        PressUpgrade();
        Pump();
        ASSERT_EQ(boxes.boxes().size(), 1u);
        EXPECT_TRUE(StartsWith(boxes.boxes()[0].text, L"Error Code: DFU already running\n")) << boxes.boxes()[0].text;
        EXPECT_NE(boxes.boxes()[0].text.find(L"TransferSize: 0\n"), std::wstring::npos);
        EXPECT_EQ(boxes.boxes()[0].operationDuringBox, 0u) << "a tick during the box finds nothing held";
    }
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(UpgradeEnabled());
    ReleaseDevice();

    PressUpgrade();
    EXPECT_NE(dlg_->m_dwOperationId, 0u) << "the second press launches";
    ASSERT_TRUE(TickUntil([&] { return Text(IDC_TITLE_MESSAGE) == kDone; }));
    EXPECT_EQ(DeviceMemory(0), images_[0]);
}

TEST_F(Upgrade, ALaunchThatFailsDuringTheUpdateEndsItWithUpgradeStillDisabled) {
    struct Case {
        const char* name;
        std::function<bool()> phaseDone;  // the held phase has ended on the device
        const wchar_t* operationLine;     // of the report: the phase that could not start
    };
    const auto finished = [this] {
        StdfuOperationContext ctx{};
        STDFUPRT_GetOperationStatus(dlg_->m_dwOperationId, &ctx);
        return ctx.percent == 100;
    };
    const Case cases[] = {
        {"the write after the erase", [&] { return finished() && !dlg_->m_bNextImagePending; },
         L"Operation: UPGRADE\n"},
        {"the next image after the pause", [&] { return dlg_->m_bNextImagePending; }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFiles({3000, std::nullopt, 1000});
        Open({600, 1});
        dlg_->m_nImageDelay = 0;
        PressUpgrade();
        if (c.operationLine) {
            // No tick until the erase has ended: the next one launches the write.
            const auto end = std::chrono::steady_clock::now() + 20s;
            while (!c.phaseDone() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
        } else {
            ASSERT_TRUE(TickUntil(c.phaseDone));
        }
        HoldDevice();
        BoxWatcher boxes(*dlg_);
        Tick();
        Pump();
        ASSERT_EQ(boxes.boxes().size(), 1u);
        const std::wstring& report = boxes.boxes()[0].text;
        EXPECT_TRUE(StartsWith(report, L"Error Code: DFU already running\n")) << report;
        EXPECT_EQ(report.find(L"Operation: "), c.operationLine ? report.find(c.operationLine) : std::wstring::npos)
            << report;
        EXPECT_EQ(boxes.boxes()[0].operationDuringBox, 0u);
        EXPECT_TRUE(Idle());
        EXPECT_FALSE(UpgradeEnabled()) << "no detection follows a failed launch";
        ReleaseDevice();
        Close();
        EXPECT_EQ(STDFU_LiveHandleCount(), baseline_);
    }
}

TEST_F(Upgrade, ASlotWithoutItsMappingEntryIsNeverWritten) {
    WriteFiles({3000, std::nullopt, 1000});
    Open({1, 1}, std::nullopt, 2048, 1);  // one alternate setting: entry 2 does not exist
    ASSERT_EQ(dlg_->m_nMappingCount, 1u);
    EXPECT_EQ(dlg_->m_hImages[2], 0u) << "left empty at loading";
    // Launched for slot 2 all the same, the launch refuses.
    BoxWatcher boxes(*dlg_);
    dlg_->m_hCurrentImage = dlg_->m_hImages[0];
    dlg_->LaunchImage(2);
    Pump();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_TRUE(StartsWith(boxes.boxes()[0].text, L"Error Code: Bad parameter\n")) << boxes.boxes()[0].text;
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(UpgradeEnabled());
    EXPECT_TRUE(Erased(0));
}

TEST_F(Upgrade, AnImageThatDoesNotFitItsEntryIsRefusedBeforeAnythingIsErased) {
    struct Case {
        const char* name;
        uint32_t address;
        size_t size;
        const char* refusal;
    };
    // Entry 0 holds 128 KiB at 0x08000000.
    const Case cases[] = {
        {"wholly outside", 0x20000000, 0x10000,
         "bytes 0x20000000..0x2000ffff lie outside the writable memory of alternate setting 0"},
        {"past 4 GiB", 0xFFFFFF00, 0x1000,
         "bytes 0xffffff00..0x100000eff lie outside the writable memory of alternate setting 0"},
        {"larger than the memory", 0x08000000, 200 * 1024,
         "bytes 0x08020000..0x08031fff lie outside the writable memory of alternate setting 0"},
        {"starting before the memory", 0x07FF8000, 0x10000,
         "bytes 0x07ff8000..0x07ffffff lie outside the writable memory of alternate setting 0"},
        {"an empty element only", 0x08000000, 0, "the image holds no byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFiles({std::nullopt, std::nullopt, 1000});
        WriteSlotFile(0, c.address, Pattern(c.size, 7));
        Open();
        ASSERT_NE(dlg_->m_hImages[0], 0u);
        dfu::DebugLineCapture debug;
        {
            BoxWatcher boxes(*dlg_);
            PressUpgrade();
            Pump();
            ASSERT_EQ(boxes.boxes().size(), 1u);
            EXPECT_TRUE(StartsWith(boxes.boxes()[0].text, L"Error Code: Bad parameter\n")) << boxes.boxes()[0].text;
        }
        EXPECT_EQ(debug.lines(), std::vector<std::string>{std::string("cannot launch the erase phase: ") + c.refusal});
        for (int i = 0; i < 5; ++i) Tick();
        EXPECT_TRUE(Idle());
        EXPECT_NE(Text(IDC_TITLE_MESSAGE), kDone);
        EXPECT_NE(BarText(), kDone);
        EXPECT_TRUE(UpgradeEnabled());
        const std::vector<uint8_t> erased(128 * 1024, 0xFF);
        EXPECT_TRUE(bus_->Devices().front()->ReadMemory(0, kAddress[0], erased.size()) == erased)
            << "the device's memory is as before";
        EXPECT_TRUE(Erased(2)) << "the images after it are not written";
        Close();
        EXPECT_EQ(STDFU_LiveHandleCount(), baseline_);
    }
}

TEST_F(Upgrade, AnErrorMidWriteIsReportedAtRestAndTheDeviceIsDetectedAgain) {
    WriteFiles({3000, 5000, std::nullopt});
    Open({1, 5}, WriteFault{0, 50, 3, 12}, 256);
    dlg_->m_nImageDelay = 0;
    BoxWatcher boxes(*dlg_);
    PressUpgrade();
    ASSERT_TRUE(TickUntil([&] { return !boxes.boxes().empty(); }));
    Pump();
    const BoxWatcher::Box& box = boxes.boxes()[0];
    EXPECT_TRUE(StartsWith(box.text, L"Error Code: DFU error\n")) << box.text;
    EXPECT_NE(box.text.find(L"Operation: UPGRADE\n"), std::wstring::npos) << box.text;
    EXPECT_NE(box.text.find(L"DFU Status: STATUS_errWRITE\n"), std::wstring::npos) << box.text;
    // A tick while the box was open found the update at rest.
    EXPECT_EQ(box.operationDuringBox, 0u);
    EXPECT_FALSE(box.pauseDuringBox);
    // Then a new detection: the device is found again, the set reloaded, the display reset.
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(UpgradeEnabled());
    EXPECT_EQ(Text(IDC_SIZE), L"0 KB(0 Bytes) of 0 KB(0 Bytes)");
    EXPECT_TRUE(Erased(1)) << "the images after a failed one are not written";
    Tick();
    EXPECT_TRUE(Idle());
}

// ---- Device changes during an update

TEST_F(Upgrade, UnpluggingTheDeviceEndsTheUpdateInEachPhase) {
    struct Case {
        const char* name;
        std::function<bool()> unplugWhen;
    };
    const Case cases[] = {
        {"during the erase", [this] { return std::regex_search(BarText(), std::wregex(L"^Erase [1-9][0-9]?%")); }},
        {"during the write", [this] { return std::regex_search(BarText(), std::wregex(L"^Write [1-9][0-9]?%")); }},
        {"during the pause", [this] { return dlg_->m_bNextImagePending; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFiles({60000, 5000, std::nullopt});
        Open({50, 5}, std::nullopt, 1024);
        dlg_->m_nImageDelay = 60000;
        BoxWatcher boxes(*dlg_);
        PressUpgrade();
        ASSERT_TRUE(TickUntil(c.unplugWhen));
        // Unplugged between two ticks: the removal reaches the window before the next poll.
        bus_->Unplug(bus_->Devices().front());
        ASSERT_TRUE(TickUntil([&] { return !boxes.boxes().empty(); }));
        Tick();
        Pump();
        ASSERT_EQ(boxes.boxes().size(), 1u);
        EXPECT_EQ(boxes.boxes()[0].text, kUnplugged);
        EXPECT_TRUE(Idle());
        EXPECT_FALSE(UpgradeEnabled());
        EXPECT_EQ(Text(IDC_TITLE_MESSAGE), dlg_->Message(1021));
        EXPECT_EQ(::GetFocus(), dlg_->GetDlgItem(IDC_QUIT).m_hWnd) << "the first enabled button";
        EXPECT_TRUE(Erased(1)) << "nothing more is written";
        Close();
        EXPECT_EQ(STDFU_LiveHandleCount(), baseline_);
    }
}

TEST_F(Upgrade, AnArrivalDuringTheUpdateIsDetectedOnlyOnceItHasEnded) {
    WriteFiles({3000, 5000, std::nullopt});
    Open({20, 2});
    dlg_->m_nImageDelay = 0;
    PressUpgrade();
    ASSERT_TRUE(TickUntil([&] { return BarText().rfind(L"Write", 0) == 0; }));
    const uint32_t slot0 = dlg_->m_hImages[0];
    bus_->PlugInterface(std::string(sim::kHidClassGuid), "\\\\?\\hid#vid_046d&pid_c077#1&2&0#" +
                                                             std::string(sim::kHidClassGuid));
    bus_->WaitIdle();
    Pump();
    EXPECT_TRUE(dlg_->m_bDetectionPending);
    EXPECT_EQ(dlg_->m_hImages[0], slot0) << "the images of the running update stay";
    ASSERT_TRUE(TickUntil([&] { return Idle(); }));
    EXPECT_EQ(DeviceMemory(0), images_[0]);
    EXPECT_EQ(DeviceMemory(1), images_[1]);
    // The detection put off ran at the end: the set is reloaded and Upgrade enabled again.
    EXPECT_FALSE(dlg_->m_bDetectionPending);
    EXPECT_TRUE(UpgradeEnabled());
}

// ---- Ending the program during an update

TEST_F(Upgrade, SpaceAndReturnPressedAgainDuringAnUpdatePressNothing) {
    WriteFiles({60000, std::nullopt, std::nullopt});
    Open({20, 2});
    ::SetFocus(dlg_->m_btnUpgrade.m_hWnd);
    PressKeys({VK_SPACE});
    ASSERT_NE(dlg_->m_dwOperationId, 0u) << "Space on Upgrade starts the update";
    EXPECT_EQ(::GetFocus(), dlg_->m_ctrlProgress.m_hWnd);
    // The common double presses, and the same keys again once the erase is under way.
    PressKeys({VK_SPACE, VK_RETURN});
    ASSERT_TRUE(TickUntil([&] { return StartsWith(BarText(), L"Erase"); }));
    PressKeys({VK_RETURN, VK_SPACE});
    EXPECT_FALSE(quit_);
    ASSERT_NE(dlg_->m_hWnd, nullptr);
    ASSERT_TRUE(TickUntil([&] { return Text(IDC_TITLE_MESSAGE) == kDone; }));
    EXPECT_FALSE(quit_);
    EXPECT_EQ(DeviceMemory(0), images_[0]);
    // Upgrade stays disabled after the update: the focus is back on Quit.
    EXPECT_EQ(::GetFocus(), dlg_->GetDlgItem(IDC_QUIT).m_hWnd);
}

TEST_F(Upgrade, AfterAFailedUpdateTheFocusGoesBackToTheFirstEnabledButton) {
    WriteFiles({3000, 5000, std::nullopt});
    Open({1, 5}, WriteFault{0, 50, 3, 12}, 256);
    ::SetFocus(dlg_->m_btnUpgrade.m_hWnd);
    BoxWatcher boxes(*dlg_);
    PressKeys({VK_SPACE});
    ASSERT_NE(dlg_->m_dwOperationId, 0u);
    ASSERT_TRUE(TickUntil([&] { return !boxes.boxes().empty(); }));
    Pump();
    // The device was found again and Upgrade enabled: it has the focus, as at the start.
    ASSERT_TRUE(UpgradeEnabled());
    EXPECT_EQ(::GetFocus(), dlg_->m_btnUpgrade.m_hWnd);
}

TEST_F(Upgrade, QuitAndEscapeDuringAnUpdateStopItBeforeTheImagesAreReleased) {
    for (const bool quit : {true, false}) {
        SCOPED_TRACE(quit ? "Quit" : "Escape");
        WriteFiles({60000, std::nullopt, std::nullopt});
        Open({20, 2});
        ::SetFocus(dlg_->m_btnUpgrade.m_hWnd);
        PressUpgrade();
        // The disabled button has handed the keyboard on, so keys still reach the dialog.
        EXPECT_EQ(::GetFocus(), dlg_->m_ctrlProgress.m_hWnd);
        ASSERT_TRUE(TickUntil([&] { return StartsWith(BarText(), L"Erase"); }));
        ASSERT_NE(dlg_->m_dwOperationId, 0u);
        if (quit) {
            dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_QUIT, BN_CLICKED), 0);
            quit_ = false;
            Pump();
            EXPECT_TRUE(quit_) << "Quit ends the message loop";
            // What the dialog's modal run does when its loop ends.
            dlg_->DestroyWindow();
        } else {
            // The key as the modal loop hands it to the dialog manager.
            MSG key{::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001};
            ::IsDialogMessageW(dlg_->m_hWnd, &key);
        }
        EXPECT_EQ(dlg_->m_hWnd, nullptr);
        EXPECT_EQ(dlg_->m_dwOperationId, 0u);
        EXPECT_EQ(dlg_->m_hWorkImage, 0u);
        Close();
        EXPECT_EQ(STDFU_LiveHandleCount(), baseline_);
    }
}

}  // namespace
