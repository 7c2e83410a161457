// Cvqz_downloaderDlg: finding the DFU device (DetectDevice) and following arrivals and removals
// of device interfaces (OnDeviceChange).
#include "app/vqz_downloaderDlg.h"
#include "device/family.h"
#include "device/interface_path.h"
#include "device/interface_source.h"
#include "device/narrow.h"
#include "framework/ascii_text.h"
#include "framework/message_box.h"

#include <dbt.h>

#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

GUID DfuClass() { return device::NotificationClasses()[0]; }

// The device handle of a detection, closed on every way out.
class OpenedDevice {
public:
    explicit OpenedDevice(const std::string& path) {
        if (STDFU_Open(path.c_str(), &m_handle) != STDFU_OK) m_handle = 0;
    }
    ~OpenedDevice() {
        if (m_handle) STDFU_Close(&m_handle);
    }
    OpenedDevice(const OpenedDevice&) = delete;
    OpenedDevice& operator=(const OpenedDevice&) = delete;

    bool IsOpen() const { return m_handle != 0; }
    uint32_t* Handle() { return &m_handle; }

private:
    uint32_t m_handle = 0;
};

// How reading the device's descriptors ended: accepted, passed over without a word, or refused
// with the text of a message box.
struct DescriptorCheck {
    bool accepted = false;
    std::optional<std::wstring> refusal;
};

DescriptorCheck Refused(std::string_view text) { return {false, AsciiToWide(text)}; }

void DebugHex(const char* label, uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X\n", value);
    ::OutputDebugStringA(label);
    ::OutputDebugStringA(text);
}

// The interface path of an interface event, read no further than the record reaches.
std::string EventPath(const DEV_BROADCAST_DEVICEINTERFACE_W& record) {
    const size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (record.dbcc_size <= nameOffset) return {};
    const size_t room = (record.dbcc_size - nameOffset) / sizeof(wchar_t);
    return device::Narrow(std::wstring_view(record.dbcc_name, wcsnlen(record.dbcc_name, room)), CP_ACP);
}

// Opens the device and reads its device and DFU descriptors into the dialog's records.
DescriptorCheck ReadDescriptors(const std::string& path, StdfuDeviceDescriptor& deviceDesc,
                                StdfuDfuFunctionalDescriptor& dfuDesc) {
    OpenedDevice opened(path);
    if (!opened.IsOpen()) return {};
    if (STDFU_GetDeviceDescriptor(opened.Handle(), &deviceDesc) != STDFU_OK)
        return Refused("Unable to get descriptors... Bad Firmware");
    dfuDesc = {};
    if (STDFU_GetDFUDescriptor(opened.Handle(), nullptr, nullptr, &dfuDesc) != STDFU_OK)
        return Refused("Unable to get DFU descriptor... Bad Firmware");
    switch (device::CheckDfuVersion(dfuDesc.bcdDFUVersion)) {
        case device::DfuVersion::Accepted: return {true, std::nullopt};
        case device::DfuVersion::IgnoredSilently: return {};
        case device::DfuVersion::Refused: break;
    }
    return Refused(device::kBadDfuVersionText);
}

// The status line shows language message `key`.
void ShowStatusMessage(Cvqz_downloaderDlg& dialog, int key) {
    dialog.ChangeTexts([&] { dialog.m_strStatus = dialog.Message(key); });
}

}  // namespace

void Cvqz_downloaderDlg::DetectDevice() {
    // A held operation still uses the mapping and the images that a detection releases.
    if (m_dwOperationId != 0) {
        m_bDetectionPending = true;
        return;
    }
    m_bDetectionPending = false;

    m_strMappingName.clear();
    m_strDevicePath.clear();
    // The device is the last one in enumeration order.
    const std::vector<std::string> paths = m_pInterfaces->Paths(DfuClass());
    if (!paths.empty()) m_strDevicePath = device::UpperCasePath(paths.back());

    ShowStatusMessage(*this, lang::key::kNoConnection);
    EnableUpgrade(false);
    if (m_pMapping) STDFUPRT_DestroyMapping(&m_pMapping);  // leaves it null
    m_nMappingCount = 0;
    if (m_strDevicePath.empty()) return;

    // The device is closed before any message box, so that a detection running during the box
    // can open it.
    const DescriptorCheck check = ReadDescriptors(m_strDevicePath, m_DeviceDesc, m_DfuDesc);
    if (check.refusal) AfxMessageBox(*check.refusal);
    if (!check.accepted) return;

    if (!device::PathEndsWithClass(m_strDevicePath, device::kDfuInterfaceClass)) return;

    DebugHex("VID:", m_DeviceDesc.idVendor);
    DebugHex("PID:", m_DeviceDesc.idProduct);
    DebugHex("BCD:", m_DeviceDesc.bcdDevice);
    ::OutputDebugStringA("\n");

    if (STDFUPRT_CreateMappingFromDevice(m_strDevicePath.c_str(), &m_pMapping, &m_nMappingCount) != STDFU_OK) {
        m_pMapping = nullptr;
        m_nMappingCount = 0;
        AfxMessageBox(L"Unable to find or decode device mapping... Bad Firmware");
        return;
    }
    if (m_nMappingCount == 0) return;

    m_strMappingName = device::MappingName(m_pMapping[0]);
    ShowStatusMessage(*this, lang::key::kConnected);
    LoadFirmwareFiles();
}

BOOL Cvqz_downloaderDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
    if (nEventType != DBT_DEVICEARRIVAL && nEventType != DBT_DEVICEREMOVECOMPLETE) return TRUE;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(dwData);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return TRUE;

    if (nEventType == DBT_DEVICEARRIVAL || m_dwOperationId == 0) {
        DetectDevice();
        return TRUE;
    }

    // A removal while an operation is held: it matters only when it is the selected device.
    const auto& record = *reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    if (!device::SameInterfacePath(EventPath(record), m_strDevicePath)) return TRUE;
    StdfuOperationContext context{};
    if (STDFUPRT_GetOperationStatus(m_dwOperationId, &context) != STDFU_OK) return TRUE;
    if (context.operation == STDFU_OP_DETACH || context.operation == STDFU_OP_RETURN) return TRUE;

    StopHeldOperation(&context);
    DetectDevice();
    AfxMessageBox(Message(lang::key::kDisconnected));
    PlaceFocus();
    return TRUE;
}

void Cvqz_downloaderDlg::RunPendingDetection() {
    if (m_bDetectionPending && m_dwOperationId == 0 && !m_bNextImagePending) DetectDevice();
    PlaceFocus();
}
