// The main dialog in-process on a simulated bus with the real toolkit: the language file and the
// firmware set beside the test program, the message boxes the dialog shows (read and closed from
// inside their own message loop), and the debug text it writes.
#pragma once

#include "app/vqz_downloaderDlg.h"
#include "device/simulated_interfaces.h"
#include "dfu/transport.h"
#include "sim/bus.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

std::wstring ExeFolder();
std::string Utf8(const std::wstring& wide);

// A DFU file beside the test program whose targets hold `sizes[i]` bytes each, for alternate
// setting i; no sizes: the file is removed.
void WriteFirmwareFile(const std::wstring& name, const std::vector<size_t>& sizes);
void RemoveFirmwareFiles();

// Everything the dialog wrote with OutputDebugStringA while this object lived, on this thread.
class DebugText {
public:
    DebugText();
    ~DebugText();
    const std::string& text() const { return m_text; }

private:
    static long __stdcall OnException(EXCEPTION_POINTERS* e);
    static inline DebugText* s_current = nullptr;
    void* m_handler;
    std::string m_text;
    DWORD m_thread;
};

// The texts of the message boxes shown on this thread while this object lives; each is closed
// with OK as soon as it shows. `whileOpen`, when given, runs for each box once it has been told to
// close but still shows (a box it causes is found and closed in turn).
class MessageBoxes {
public:
    explicit MessageBoxes(std::function<void(const std::wstring& text)> whileOpen = {});
    ~MessageBoxes();
    const std::vector<std::wstring>& texts() const { return m_texts; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK OnWindow(HWND window, LPARAM);
    static inline MessageBoxes* s_current = nullptr;
    std::function<void(const std::wstring& text)> m_whileOpen;
    UINT_PTR m_timer;
    std::vector<std::wstring> m_texts;
};

// A device as the simulation file would describe it, memory only.
sim::Config DeviceConfig(std::vector<std::string> layouts = {"@Velmarquist /0x08000000/04*016Kg"});

// Public throughout, so that tables of cases can arrange the bus.
class DialogTest : public ::testing::Test {
public:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Adds a device to the bus, plugged in, and returns it.
    std::shared_ptr<sim::Device> Plug(const sim::Config& config);
    // The device also answers at `path`, an interface of the DFU class on the bus.
    void PlugAlias(const std::string& path, std::shared_ptr<sim::Device> device);
    // Requests the device is sent from now on are stalled when this says so.
    std::function<bool(const dfu::Setup&)> stall;

    // Creates the dialog on the bus; its own timer is stopped, so nothing but the test's messages
    // and the bus's notifications drive it.
    void Open();
    // Lets the bus deliver what it has posted and the dialog handle it.
    void Settle();

    std::wstring Status() const { return m_dlg->GetDlgItem(IDC_TITLE_MESSAGE).GetWindowText(); }
    std::wstring Text(int id) const { return m_dlg->GetDlgItem(id).GetWindowText(); }
    bool UpgradeEnabled() const { return m_dlg->m_btnUpgrade.IsWindowEnabled(); }
    // The share of the progress bar painted in the colour of the done part, 0 to 100.
    int ProgressShown() const;
    std::vector<uint32_t> ImageSizes() const;  // per slot; 0 for an empty slot

    std::unique_ptr<sim::Bus> m_bus;
    std::unique_ptr<device::SimulatedInterfaces> m_interfaces;
    std::unique_ptr<Cvqz_downloaderDlg> m_dlg;
    std::map<std::string, std::shared_ptr<sim::Device>> m_aliases;
    std::optional<DebugText> m_debug;
    std::optional<MessageBoxes> m_boxes;
    uint32_t m_baseline = 0;
};

// The status line's texts: messages 1021 and 1024 by default.
inline constexpr std::wstring_view kNoConnection =
    L"\u041d\u0435\u0442 \u0441\u043e\u0435\u0434\u0438\u043d\u0435\u043d\u0438\u044f \u043f\u043e USB, "
    L"\u043f\u0440\u043e\u0432\u0435\u0440\u044c\u0442\u0435 USB-\u0441\u043e\u0435\u0434\u0438\u043d\u0435\u043d\u0438\u0435 !";
inline constexpr std::wstring_view kConnected = L"Velmarquist GPS \u043f\u043e\u0434\u043a\u043b\u044e\u0447\u0435\u043d.";

}  // namespace rig
