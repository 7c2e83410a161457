// The WinUSB transport's own code under Wine, against stand-ins of the system functions that
// carry its transfers to the simulated device as WinUSB would carry them to a real one.
#include "dfu/transport_winusb.h"

#include <array>
#include <thread>

#include <gtest/gtest.h>

#include "dfu/device.h"
#include "dfu/dfu11a.h"
#include "dfu/protocol.h"
#include "dfu/tests/sim_rig.h"

namespace dfu {
namespace {

constexpr const char* kPath = "\\\\?\\usb#vid_1209&pid_5a01#1#{3fe809ab-fb91-4cb5-a643-69670d52366e}";
constexpr uint8_t kInterface = 0;  // the simulated device's DFU interface
HANDLE const kFile = reinterpret_cast<HANDLE>(0x1234);
WINUSB_INTERFACE_HANDLE const kUsb = reinterpret_cast<WINUSB_INTERFACE_HANDLE>(0x5678);

// What the stand-ins see and do; one test at a time uses them.
struct StandIn {
    std::shared_ptr<sim::Device> device;
    bool initializeFails = false;
    DWORD injected = 0;  // a transfer fails with this error code, when not 0
    int filesOpen = 0, usbOpen = 0;
    std::vector<WINUSB_SETUP_PACKET> packets;
    std::vector<ULONG> timeoutsSet;  // PIPE_TRANSFER_TIMEOUT values set on the default pipe
};
StandIn* g_standIn = nullptr;

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// The device's answer as WinUSB reports it.
BOOL Carry(const WINUSB_SETUP_PACKET& packet, std::span<uint8_t> data, ULONG* transferred) {
    if (g_standIn->injected) return Fail(g_standIn->injected);
    const sim::Setup setup{packet.RequestType, packet.Request, packet.Value, packet.Index,
                           packet.Length};
    const sim::TransferResult result = g_standIn->device->Control(setup, data);
    switch (result.status) {
        case sim::TransferStatus::Ok:
            if (transferred) *transferred = ULONG(result.length);
            return TRUE;
        case sim::TransferStatus::Stall: return Fail(ERROR_GEN_FAILURE);
        case sim::TransferStatus::Timeout: return Fail(ERROR_SEM_TIMEOUT);
        case sim::TransferStatus::Gone: return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    return Fail(ERROR_INVALID_PARAMETER);
}

HANDLE WINAPI CreateFileStandIn(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                HANDLE) {
    if (std::string_view(path) != kPath || !g_standIn->device->attached()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    ++g_standIn->filesOpen;
    return kFile;
}

BOOL WINAPI CloseHandleStandIn(HANDLE file) {
    if (file != kFile) return Fail(ERROR_INVALID_HANDLE);
    --g_standIn->filesOpen;
    return TRUE;
}

BOOL WINAPI InitializeStandIn(HANDLE file, PWINUSB_INTERFACE_HANDLE usb) {
    if (file != kFile) return Fail(ERROR_INVALID_HANDLE);
    if (g_standIn->initializeFails) return Fail(ERROR_BAD_COMMAND);
    ++g_standIn->usbOpen;
    *usb = kUsb;
    return TRUE;
}

BOOL WINAPI FreeStandIn(WINUSB_INTERFACE_HANDLE usb) {
    if (usb != kUsb) return Fail(ERROR_INVALID_HANDLE);
    --g_standIn->usbOpen;
    return TRUE;
}

BOOL WINAPI QueryInterfaceSettingsStandIn(WINUSB_INTERFACE_HANDLE usb, UCHAR index,
                                          PUSB_INTERFACE_DESCRIPTOR descriptor) {
    if (usb != kUsb || index != 0) return Fail(ERROR_NO_MORE_ITEMS);
    *descriptor = USB_INTERFACE_DESCRIPTOR{9, 4, kInterface, 0, 0, 0xFE, 1, 2, 0};
    return TRUE;
}

BOOL WINAPI SetPipePolicyStandIn(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG policy,
                                 ULONG length, PVOID value) {
    if (usb != kUsb || length != sizeof(ULONG)) return Fail(ERROR_INVALID_PARAMETER);
    if (pipe == 0 && policy == PIPE_TRANSFER_TIMEOUT)
        g_standIn->timeoutsSet.push_back(*static_cast<ULONG*>(value));
    return TRUE;
}

BOOL WINAPI ControlTransferStandIn(WINUSB_INTERFACE_HANDLE usb, WINUSB_SETUP_PACKET packet,
                                   PUCHAR buffer, ULONG length, PULONG transferred,
                                   LPOVERLAPPED overlapped) {
    if (usb != kUsb || overlapped || length != packet.Length) return Fail(ERROR_INVALID_PARAMETER);
    g_standIn->packets.push_back(packet);
    return Carry(packet, std::span(buffer, length), transferred);
}

// WinUSB sends the standard request itself.
BOOL WINAPI SetCurrentAlternateSettingStandIn(WINUSB_INTERFACE_HANDLE usb, UCHAR alternate) {
    if (usb != kUsb) return Fail(ERROR_INVALID_HANDLE);
    return Carry({0x01, 11, alternate, kInterface, 0}, {}, nullptr);
}

const WinUsbApi kStandIns{&CreateFileStandIn,   &CloseHandleStandIn,
                          &InitializeStandIn,   &FreeStandIn,
                          &QueryInterfaceSettingsStandIn, &SetPipePolicyStandIn,
                          &ControlTransferStandIn, &SetCurrentAlternateSettingStandIn};

class WinUsbTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Config config = testing::SmallDevice();
        config.alts.push_back({"@Other /0x20000000/01*004Kg", {}});
        auto created = sim::Device::Create(config);
        ASSERT_TRUE(bool(created)) << created.error();
        standIn_.device = *created;
        bus_.Add(standIn_.device);
        bus_.Plug(standIn_.device);
        g_standIn = &standIn_;
    }
    void TearDown() override {
        EXPECT_EQ(standIn_.filesOpen, 0) << "file handle left open";
        EXPECT_EQ(standIn_.usbOpen, 0) << "WinUSB handle left open";
        g_standIn = nullptr;
    }

    std::unique_ptr<Transport> Open() {
        auto opened = WinUsbTransport::Open(kPath, kStandIns);
        EXPECT_TRUE(opened.ok()) << opened.error().message();
        return opened.ok() ? std::move(*opened) : nullptr;
    }

    sim::Bus bus_;
    StandIn standIn_;
};

TEST_F(WinUsbTransportTest, OpenFailuresSayWhyAndLeaveNoHandle) {
    auto missing = WinUsbTransport::Open("\\\\?\\usb#none", kStandIns);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind(), ErrorKind::Gone);
    EXPECT_NE(missing.error().message().find("\\\\?\\usb#none"), std::string::npos);

    standIn_.initializeFails = true;
    auto refused = WinUsbTransport::Open(kPath, kStandIns);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message().find("WinUsb_Initialize"), std::string::npos);
}

TEST_F(WinUsbTransportTest, CarriesInAndOutTransfersAndSelectsTheAlternate) {
    auto transport = Open();
    ASSERT_TRUE(transport);
    auto descriptor = ReadDeviceDescriptor(*transport);
    ASSERT_TRUE(descriptor.ok()) << descriptor.error().message();
    EXPECT_EQ(descriptor->idVendor(), 0x1209);
    auto iface = ReadDfuInterface(*transport);
    ASSERT_TRUE(iface.ok()) << iface.error().message();
    ASSERT_EQ(iface->alternates.size(), 2u);

    ASSERT_TRUE(SelectAlternate(*transport, *iface, 1).ok());
    // Interface requests name the interface of the handle in wIndex, whatever number the caller
    // gave.
    Dfu dfu(*transport, 7);
    const auto sleep = [](auto deadline) {
        std::this_thread::sleep_until(deadline);
        return true;
    };
    ASSERT_TRUE(dfu11a::EraseSector(dfu, 0x20000000, sleep).ok());
    ASSERT_TRUE(dfu11a::SetAddressPointer(dfu, 0x20000000, sleep).ok());
    std::vector<uint8_t> block(2048);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 13);
    ASSERT_TRUE(dfu.Dnload(dfu11a::kFirstDataBlock, block).ok());
    ASSERT_TRUE(dfu.WaitWhileBusy(sleep).ok());
    // Read back as the write phase does: the pointer set again from dfuIDLE, UPLOAD from dfuIDLE.
    ASSERT_TRUE(dfu.ToIdle(sleep).ok());
    ASSERT_TRUE(dfu11a::SetAddressPointer(dfu, 0x20000000, sleep).ok());
    ASSERT_TRUE(dfu.ToIdle(sleep).ok());
    std::vector<uint8_t> back(block.size());
    auto got = dfu.Upload(dfu11a::kFirstDataBlock, back);
    ASSERT_TRUE(got.ok()) << got.error().message();
    EXPECT_EQ(back, block);
    EXPECT_EQ(standIn_.device->ReadMemory(1, 0x20000000, block.size()), block)
        << "the block went to the selected setting";
    for (const WINUSB_SETUP_PACKET& p : standIn_.packets)
        if ((p.RequestType & 0x1F) == 0x01) EXPECT_EQ(p.Index, kInterface);

    auto other = transport->SelectAlternate(3, 0);
    ASSERT_FALSE(other.ok());
    EXPECT_EQ(other.error().kind(), ErrorKind::BadParameter);
    auto missing = SelectAlternate(*transport, *iface, 2);
    EXPECT_FALSE(missing.ok()) << "no third setting";
}

TEST_F(WinUsbTransportTest, SetsTheDefaultPipeTimeoutWhenItChanges) {
    auto transport = Open();
    ASSERT_TRUE(transport);
    std::array<uint8_t, 18> buffer{};
    const dfu::Setup getDevice{0x80, 6, 0x0100, 0, 18};
    for (auto timeout : {kRequestTimeout, kRequestTimeout, std::chrono::milliseconds(250),
                         std::chrono::milliseconds(250), kRequestTimeout})
        ASSERT_TRUE(transport->Control(getDevice, buffer, timeout).ok());
    EXPECT_EQ(standIn_.timeoutsSet, (std::vector<ULONG>{10000, 250, 10000}));
}

TEST_F(WinUsbTransportTest, ErrorsByKind) {
    auto transport = Open();
    ASSERT_TRUE(transport);
    std::array<uint8_t, 6> buffer{};
    const dfu::Setup getStatus{0xA1, 3, 0, kInterface, 6};

    // The device's own stall: a descriptor type it does not have.
    auto stalled = transport->Control({0x80, 6, 0x7700, 0, 6}, buffer, kRequestTimeout);
    ASSERT_FALSE(stalled.ok());
    EXPECT_EQ(stalled.error().kind(), ErrorKind::Stall);
    EXPECT_TRUE(transport->Control(getStatus, buffer, kRequestTimeout).ok()) << "still there";

    struct Case {
        DWORD code;
        ErrorKind kind;
    };
    const Case cases[] = {
        {ERROR_GEN_FAILURE, ErrorKind::Stall},
        {ERROR_SEM_TIMEOUT, ErrorKind::Timeout},
        {ERROR_DEVICE_NOT_CONNECTED, ErrorKind::Gone},
        {ERROR_BAD_COMMAND, ErrorKind::Gone},
        {ERROR_FILE_NOT_FOUND, ErrorKind::Gone},
        {ERROR_INVALID_PARAMETER, ErrorKind::Other},
    };
    for (const Case& c : cases) {
        standIn_.injected = c.code;
        auto failed = transport->Control(getStatus, buffer, kRequestTimeout);
        ASSERT_FALSE(failed.ok()) << c.code;
        EXPECT_EQ(failed.error().kind(), c.kind) << c.code;
        EXPECT_NE(failed.error().message().find("error " + std::to_string(c.code)),
                  std::string::npos)
            << failed.error().message();
        auto alternate = transport->SelectAlternate(kInterface, 0);
        ASSERT_FALSE(alternate.ok());
        EXPECT_EQ(alternate.error().kind(), c.kind) << c.code;
    }
    standIn_.injected = 0;

    // Unplugged: every transfer says the device is gone.
    bus_.Unplug(standIn_.device);
    auto gone = transport->Control(getStatus, buffer, kRequestTimeout);
    ASSERT_FALSE(gone.ok());
    EXPECT_EQ(gone.error().kind(), ErrorKind::Gone);
}

}  // namespace
}  // namespace dfu
