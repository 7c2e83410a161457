// Detection and device-change handling in the real dialog, against the simulated bus and device
// and the real toolkit: what the user sees after each outcome, which device is chosen, and what
// arrivals and removals do while an update runs.
#include "device/tests/dialog_rig.h"

#include "device/interface_path.h"

#include <dbt.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using rig::kConnected;
using rig::kNoConnection;

class Detection : public rig::DialogTest {};

constexpr uint8_t kGetDescriptor = 6;
bool DeviceDescriptorRequest(const dfu::Setup& s) { return s.bRequest == kGetDescriptor && s.wValue >> 8 == 1; }
bool ConfigurationRequest(const dfu::Setup& s) { return s.bRequest == kGetDescriptor && s.wValue >> 8 == 2; }

const std::string kDfuSuffix = "#{3fe809ab-fb91-4cb5-a643-69670d52366e}";
const std::string kHidPath = "\\\\?\\hid#vid_046d&pid_c077#7&2a0f&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// The debug text of a detection that read the default device's descriptors and passed the path.
const std::string kIdentity = "VID:1209\nPID:5A01\nBCD:0200\n\n";

// ---- What the user sees after a detection

struct Outcome {
    const char* name;
    void (*arrange)(rig::DialogTest&);
    std::wstring_view status;
    std::vector<std::wstring> boxes;
    bool debugText;  // the device's identity was written
};

void PrintTo(const Outcome& outcome, std::ostream* os) { *os << outcome.name; }

class DetectionOutcome : public rig::DialogTest, public ::testing::WithParamInterface<Outcome> {};

sim::Config WithVersion(uint16_t version) {
    sim::Config config = rig::DeviceConfig();
    config.device.dfu_version = version;
    return config;
}

const Outcome kOutcomes[] = {
    {"NoInterface", [](rig::DialogTest&) {}, kNoConnection, {}, false},
    {"InterfaceThatCannotBeOpened",
     [](rig::DialogTest& t) {
         t.m_bus->PlugInterface(std::string(sim::kDfuClassGuid), "\\\\?\\usb#vid_1209&pid_5a01#gone" + kDfuSuffix);
     },
     kNoConnection, {}, false},
    {"DeviceDescriptorUnreadable",
     [](rig::DialogTest& t) {
         t.Plug(rig::DeviceConfig());
         t.stall = DeviceDescriptorRequest;
     },
     kNoConnection, {L"Unable to get descriptors... Bad Firmware"}, false},
    {"DfuDescriptorUnreadable",
     [](rig::DialogTest& t) {
         t.Plug(rig::DeviceConfig());
         t.stall = ConfigurationRequest;
     },
     kNoConnection, {L"Unable to get DFU descriptor... Bad Firmware"}, false},
    {"Version0119", [](rig::DialogTest& t) { t.Plug(WithVersion(0x0119)); }, kNoConnection,
     {L"Bad DFU protocol version. Should be 1.1A"}, false},
    {"Version011A", [](rig::DialogTest& t) { t.Plug(WithVersion(0x011A)); }, kConnected, {}, true},
    {"Version011F", [](rig::DialogTest& t) { t.Plug(WithVersion(0x011F)); }, kConnected, {}, true},
    {"Version0120", [](rig::DialogTest& t) { t.Plug(WithVersion(0x0120)); }, kNoConnection,
     {L"Bad DFU protocol version. Should be 1.1A"}, false},
    {"Version0", [](rig::DialogTest& t) { t.Plug(WithVersion(0)); }, kNoConnection, {}, false},
    {"PathOfAnotherClass",
     [](rig::DialogTest& t) {
         t.PlugAlias("\\\\?\\usb#vid_1209&pid_5a01#sim9#{3fe809ab-fb91-4cb5-a643-69670d52366f}",
                     t.Plug(rig::DeviceConfig()));
     },
     kNoConnection, {}, false},
    {"PathOfExactlyTheClassText",
     [](rig::DialogTest& t) {
         t.PlugAlias("{3fe809ab-fb91-4cb5-a643-69670d52366e}", t.Plug(rig::DeviceConfig()));
     },
     kConnected, {}, true},
    {"PathOf38CharactersOfAnotherClass",
     [](rig::DialogTest& t) {
         t.PlugAlias("{3fe809ab-fb91-4cb5-a643-69670d52366f}", t.Plug(rig::DeviceConfig()));
     },
     kNoConnection, {}, false},
    {"MappingUndecodable", [](rig::DialogTest& t) { t.Plug(rig::DeviceConfig({"Velmarquist, no layout"})); },
     kNoConnection, {L"Unable to find or decode device mapping... Bad Firmware"}, true},
    {"Accepted", [](rig::DialogTest& t) { t.Plug(rig::DeviceConfig()); }, kConnected, {}, true},
    // A mapping with no entries: the toolkit finds no DFU interface without an alternate setting,
    // so such a device already fails at the DFU descriptor.
    {"NoAlternateSetting", [](rig::DialogTest& t) { t.Plug(rig::DeviceConfig({})); }, kNoConnection,
     {L"Unable to get DFU descriptor... Bad Firmware"}, false},
};

TEST_P(DetectionOutcome, StatusLineUpgradeButtonAndBoxes) {
    const Outcome& c = GetParam();
    rig::WriteFirmwareFile(L"prog.dfu", {100});
    c.arrange(*this);
    Open();
    const std::string debug = m_debug->text();
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(m_boxes->texts(), c.boxes);
    const bool connected = c.status == kConnected;
    EXPECT_EQ(UpgradeEnabled(), connected);
    EXPECT_EQ(m_dlg->m_strMappingName.empty(), !connected);
    EXPECT_EQ(m_dlg->m_pMapping != nullptr, connected);
    EXPECT_EQ(debug.substr(0, kIdentity.size()), c.debugText ? kIdentity : "");
    // The path is kept, in upper case, even when a later check fails.
    if (m_bus->Paths(sim::kDfuClassGuid).empty())
        EXPECT_EQ(m_dlg->m_strDevicePath, "");
    else
        EXPECT_EQ(m_dlg->m_strDevicePath, device::UpperCasePath(m_bus->Paths(sim::kDfuClassGuid).back()));
}

INSTANTIATE_TEST_SUITE_P(, DetectionOutcome, ::testing::ValuesIn(kOutcomes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Detection, AcceptedDeviceWritesItsIdentityAndTheMainFilePath) {
    sim::Config config = rig::DeviceConfig();
    config.device.vendor_id = 0xABCD;
    config.device.product_id = 0x00EF;
    config.device.bcd_device = 0x1A2B;
    Plug(config);
    Open();
    EXPECT_EQ(m_debug->text(), "VID:ABCD\nPID:00EF\nBCD:1A2B\n\nDFU:" + rig::Utf8(rig::ExeFolder()) + "\\prog.dfu\n");
}

TEST_F(Detection, OfTwoDevicesTheLaterInEnumerationOrderIsSelected) {
    sim::Config first = rig::DeviceConfig({"@Velmarquist2 /0x08000000/04*016Kg"});
    sim::Config second = rig::DeviceConfig();
    second.device.product_id = 0x5A02;
    Plug(first);
    Plug(second);
    Open();
    EXPECT_EQ(Status(), kConnected);
    EXPECT_EQ(m_dlg->m_strDevicePath, device::UpperCasePath(m_bus->Paths(sim::kDfuClassGuid).back()));
    EXPECT_NE(m_debug->text().find("PID:5A02\n"), std::string::npos);
    EXPECT_EQ(m_dlg->m_strMappingName, "Velmarquist");
}

// ---- Arrivals and removals

TEST_F(Detection, RemovalOfTheDeviceKeepsTheLoadedSetAndTheProgressDisplay) {
    rig::WriteFirmwareFile(L"prog.dfu", {100});
    auto device = Plug(rig::DeviceConfig());
    Open();
    ASSERT_EQ(Status(), kConnected);
    const auto images = m_dlg->m_hImages;
    m_dlg->m_ctrlProgress.SetPos(40);
    m_dlg->m_ctrlProgress.SetWindowText(L"Write 40% (1/1)");
    const int shown = ProgressShown();
    EXPECT_NEAR(shown, 40, 1);

    m_bus->Unplug(device);
    Settle();
    EXPECT_EQ(Status(), kNoConnection);
    EXPECT_FALSE(UpgradeEnabled());
    EXPECT_EQ(m_dlg->m_pMapping, nullptr);
    EXPECT_EQ(m_dlg->m_strDevicePath, "");
    EXPECT_EQ(m_dlg->m_hImages, images);
    EXPECT_TRUE(m_dlg->m_bFilesLoaded);
    EXPECT_EQ(ProgressShown(), shown);
    EXPECT_EQ(m_dlg->m_ctrlProgress.GetWindowText(), L"Write 40% (1/1)");
    EXPECT_TRUE(m_boxes->texts().empty());

    // Plugged in again: found and loaded afresh.
    m_bus->Plug(device);
    Settle();
    EXPECT_EQ(Status(), kConnected);
    EXPECT_TRUE(UpgradeEnabled());
    EXPECT_EQ(ProgressShown(), 0);
}

TEST_F(Detection, HidArrivalRunsAFullDetection) {
    rig::WriteFirmwareFile(L"prog.dfu", {100});
    Plug(rig::DeviceConfig());
    Open();
    const auto images = m_dlg->m_hImages;
    const std::string firstDetection = m_debug->text();
    m_dlg->m_ctrlProgress.SetPos(60);
    m_dlg->m_ctrlProgress.SetWindowText(L"Erase 60% (1/2)");

    m_bus->PlugInterface(std::string(sim::kHidClassGuid), kHidPath);
    Settle();
    EXPECT_EQ(m_debug->text(), firstDetection + firstDetection) << "descriptors read again";
    EXPECT_NE(m_dlg->m_hImages[0], images[0]) << "files loaded again";
    EXPECT_NE(m_dlg->m_hImages[0], 0u);
    EXPECT_EQ(ProgressShown(), 0);
    EXPECT_EQ(m_dlg->m_ctrlProgress.GetWindowText(), L"");
    EXPECT_EQ(Status(), kConnected);

    // Its removal too.
    m_bus->UnplugInterface(kHidPath);
    Settle();
    EXPECT_EQ(m_debug->text(), firstDetection + firstDetection + firstDetection);
}

TEST_F(Detection, OtherEventsAndOtherRecordsChangeNothing) {
    Plug(rig::DeviceConfig());
    Open();
    const std::string before = m_debug->text();
    DEV_BROADCAST_HDR volume{sizeof volume, DBT_DEVTYP_VOLUME, 0};
    const struct {
        WPARAM event;
        const DEV_BROADCAST_HDR* record;
    } events[] = {
        {DBT_DEVNODES_CHANGED, nullptr},
        {DBT_DEVICEQUERYREMOVE, &volume},
        {DBT_DEVICEARRIVAL, &volume},
        {DBT_DEVICEREMOVECOMPLETE, &volume},
        {DBT_DEVICEARRIVAL, nullptr},
    };
    for (const auto& e : events)
        EXPECT_EQ(m_dlg->SendMessage(WM_DEVICECHANGE, e.event, reinterpret_cast<LPARAM>(e.record)), TRUE);
    EXPECT_EQ(m_debug->text(), before) << "no detection ran";
    EXPECT_EQ(Status(), kConnected);
}

// ---- While an update runs

class DuringUpdate : public rig::DialogTest {
protected:
    // A device whose erase takes long enough to be caught at work, and the update started.
    void StartUpdate() {
        rig::WriteFirmwareFile(L"prog.dfu", {6000});
        sim::Config config = rig::DeviceConfig({"@Velmarquist /0x08000000/04*016Kg"});
        config.timing.erase_ms_per_sector = 400;
        m_device = Plug(config);
        Open();
        ASSERT_TRUE(UpgradeEnabled());
        m_dlg->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_UPGRADE, BN_CLICKED),
                           reinterpret_cast<LPARAM>(m_dlg->m_btnUpgrade.m_hWnd));
        ASSERT_NE(m_dlg->m_dwOperationId, 0u);
    }

    bool UpdateOver() const { return m_dlg->m_dwOperationId == 0 && !m_dlg->m_bNextImagePending; }

    // Ticks as the dialog's timer would until the update is over.
    void TickUntilOver() {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!UpdateOver() && std::chrono::steady_clock::now() < end) {
            Settle();
            m_dlg->SendMessage(WM_TIMER, 1);
            std::this_thread::sleep_for(10ms);
        }
        Settle();
    }

    std::shared_ptr<sim::Device> m_device;
};

TEST_F(DuringUpdate, RemovalOfAnotherInterfaceChangesNothing) {
    m_bus->PlugInterface(std::string(sim::kHidClassGuid), kHidPath);
    StartUpdate();
    const uint32_t operation = m_dlg->m_dwOperationId;
    const StdfuMapping* mapping = m_dlg->m_pMapping;
    const std::string debug = m_debug->text();

    m_bus->UnplugInterface(kHidPath);
    Settle();
    EXPECT_EQ(m_dlg->m_dwOperationId, operation);
    EXPECT_EQ(m_dlg->m_pMapping, mapping);
    EXPECT_EQ(m_debug->text(), debug) << "no detection ran";
    EXPECT_FALSE(m_dlg->m_bDetectionPending);
    TickUntilOver();
}

TEST_F(DuringUpdate, ArrivalWaitsUntilTheUpdateHasEnded) {
    StartUpdate();
    const StdfuMapping* mapping = m_dlg->m_pMapping;
    const auto images = m_dlg->m_hImages;
    const std::string debug = m_debug->text();

    m_bus->PlugInterface(std::string(sim::kHidClassGuid), kHidPath);
    Settle();
    EXPECT_TRUE(m_dlg->m_bDetectionPending);
    EXPECT_EQ(m_dlg->m_pMapping, mapping) << "the running operation's mapping was kept";
    EXPECT_EQ(m_dlg->m_hImages, images) << "the running operation's images were kept";
    EXPECT_EQ(m_debug->text(), debug);

    TickUntilOver();
    EXPECT_EQ(m_device->ReadMemory(0, 0x08000000, 6000), std::vector<uint8_t>(6000, 0x5A)) << "the update completed";
    EXPECT_FALSE(m_dlg->m_bDetectionPending);
    EXPECT_EQ(m_debug->text(), debug + debug) << "the detection ran once the update was over";
    EXPECT_EQ(Status(), kConnected);
}

TEST_F(DuringUpdate, RemovalOfTheDeviceStopsTheUpdateDetectsAndTellsTheUser) {
    StartUpdate();
    m_bus->Unplug(m_device);
    Settle();
    EXPECT_EQ(m_dlg->m_dwOperationId, 0u);
    EXPECT_EQ(Status(), kNoConnection);
    EXPECT_FALSE(UpgradeEnabled());
    EXPECT_EQ(m_boxes->texts(), std::vector<std::wstring>{L"Velmarquist GPS \u0440\u0430\u0437\u044a\u0435\u0434\u0438\u043d\u0435\u043d."});
    TickUntilOver();
    EXPECT_EQ(m_boxes->texts().size(), 1u) << "nothing more happened at the next ticks";
}

}  // namespace

namespace {

TEST_F(Detection, DevicePluggedInLaterIsFound) {
    sim::Config config = rig::DeviceConfig();
    config.device.present = false;
    config.device.plug_after_ms = 300;
    auto bus = sim::Bus::FromConfig(config);
    ASSERT_TRUE(bus) << bus.error();
    m_bus = std::move(*bus);
    Open();
    EXPECT_EQ(Status(), kNoConnection);
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (Status() != kConnected && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
        Settle();
    }
    EXPECT_EQ(Status(), kConnected);
}

}  // namespace
