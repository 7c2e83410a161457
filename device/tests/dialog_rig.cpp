#include "device/tests/dialog_rig.h"

#include "device/interface_path.h"
#include "device/narrow.h"
#include "framework/win_app.h"
#include "dfu/dfu_file.h"
#include "dfu/transport_sim.h"
#include "stdfu/stdfu.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace rig {

std::wstring ExeFolder() { return ExecutableFolder(ModulePath()); }

std::string Utf8(const std::wstring& wide) { return device::Narrow(wide, CP_UTF8); }

void WriteFirmwareFile(const std::wstring& name, const std::vector<size_t>& sizes) {
    const std::string path = Utf8(ExeFolder() + L"\\" + name);
    std::remove(path.c_str());
    if (sizes.empty()) return;
    dfu::DfuFile file;
    for (size_t i = 0; i < sizes.size(); ++i) {
        dfu::Image image;
        image.alternate = uint8_t(i);
        image.elements.push_back({0x08000000, std::vector<uint8_t>(sizes[i], uint8_t(0x5A + i))});
        file.images.push_back(std::move(image));
    }
    auto bytes = dfu::SerializeDfuFile(file);
    ASSERT_TRUE(bytes) << bytes.error().message();
    ASSERT_TRUE(dfu::WriteFileBytes(path, *bytes));
}

void RemoveFirmwareFiles() {
    for (const wchar_t* name : {L"prog.dfu", L"prog2.dfu", L"Dunorfile.dfu", L"file3.dfu"})
        WriteFirmwareFile(name, {});
}

// ---- Wine without a window manager

namespace {

// Under Wine without a window manager, hiding or destroying a managed window waits two seconds
// for a manager that never answers. This program's windows are made unmanaged, before the first
// window exists, for Wine alone (its setting is read per program name).
const bool kUnmanagedUnderWine = [] {
    if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return false;
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring exe(path, n);
    const std::wstring key =
        L"Software\\Wine\\AppDefaults\\" + exe.substr(exe.rfind(L'\\') + 1) + L"\\X11 Driver";
    HKEY handle;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                          nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t value[] = L"N";
    ::RegSetValueExW(handle, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    ::RegCloseKey(handle);
    return true;
}();

}  // namespace

// ---- Debug text

// OutputDebugStringA raises this exception for a debugger to see; a vectored handler sees it
// first, and passes it on.
constexpr DWORD kDebugPrintException = 0x40010006;

DebugText::DebugText() : m_thread(::GetCurrentThreadId()) {
    s_current = this;
    m_handler = ::AddVectoredExceptionHandler(1, &DebugText::OnException);
}

DebugText::~DebugText() {
    ::RemoveVectoredExceptionHandler(m_handler);
    s_current = nullptr;
}

long __stdcall DebugText::OnException(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD& r = *e->ExceptionRecord;
    if (r.ExceptionCode == kDebugPrintException && r.NumberParameters >= 2 && s_current &&
        ::GetCurrentThreadId() == s_current->m_thread && r.ExceptionInformation[0] > 0)
        s_current->m_text.append(reinterpret_cast<const char*>(r.ExceptionInformation[1]),
                                 r.ExceptionInformation[0] - 1);
    return EXCEPTION_CONTINUE_SEARCH;
}

// ---- Message boxes

MessageBoxes::MessageBoxes(std::function<void(const std::wstring& text)> whileOpen)
    : m_whileOpen(std::move(whileOpen)) {
    s_current = this;
    m_timer = ::SetTimer(nullptr, 0, 10, &MessageBoxes::OnTimer);
}

MessageBoxes::~MessageBoxes() {
    ::KillTimer(nullptr, m_timer);
    s_current = nullptr;
}

void CALLBACK MessageBoxes::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (s_current) ::EnumThreadWindows(::GetCurrentThreadId(), &MessageBoxes::OnWindow, 0);
}

BOOL CALLBACK MessageBoxes::OnWindow(HWND window, LPARAM) {
    wchar_t cls[16]{};
    ::GetClassNameW(window, cls, 16);
    // A message box's text is its static control 0xFFFF; the dialog under test has none.
    if (std::wstring(cls) != L"#32770" || !::IsWindowVisible(window) || !::GetDlgItem(window, 0xFFFF))
        return TRUE;
    wchar_t text[2048]{};
    ::GetDlgItemTextW(window, 0xFFFF, text, 2048);
    MessageBoxes& self = *s_current;
    ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    if (self.m_whileOpen) self.m_whileOpen(text);
    self.m_texts.push_back(text);
    return TRUE;
}

// ---- The dialog on a bus

sim::Config DeviceConfig(std::vector<std::string> layouts) {
    sim::Config config;
    config.alts.clear();
    for (std::string& layout : layouts) config.alts.push_back({std::move(layout), {}});
    config.timing = {0, 0};
    return config;
}

namespace {

// The simulated device's transfers, with the requests the test picks stalled.
class StallingTransport : public dfu::Transport {
public:
    StallingTransport(std::shared_ptr<sim::Device> device, std::function<bool(const dfu::Setup&)> stall)
        : m_inner(std::move(device)), m_stall(std::move(stall)) {}

    dfu::Result<size_t> Control(const dfu::Setup& setup, std::span<uint8_t> data,
                                std::chrono::milliseconds timeout) override {
        if (m_stall && m_stall(setup))
            return dfu::Error("device stalled the request", dfu::ErrorKind::Stall);
        return m_inner.Control(setup, data, timeout);
    }
    dfu::Status SelectAlternate(uint8_t interfaceNumber, uint8_t alternate) override {
        return m_inner.SelectAlternate(interfaceNumber, alternate);
    }

private:
    dfu::SimTransport m_inner;
    std::function<bool(const dfu::Setup&)> m_stall;
};

}  // namespace

void DialogTest::SetUpTestSuite() {
    // An empty language file: every text its default.
    std::ofstream(std::filesystem::path(ExeFolder() + L"\\lang.ini"), std::ios::binary | std::ios::trunc);
}

void DialogTest::SetUp() {
    m_baseline = STDFU_LiveHandleCount();
    RemoveFirmwareFiles();
    m_bus = std::make_unique<sim::Bus>();
    dfu::SetTransportOpener([this](const std::string& path) -> dfu::Result<std::unique_ptr<dfu::Transport>> {
        std::shared_ptr<sim::Device> device = m_bus->Find(path);
        for (const auto& [alias, aliased] : m_aliases)
            if (!device && device::SameInterfacePath(alias, path)) device = aliased;
        if (!device) return dfu::Error("no device at " + path);
        return std::unique_ptr<dfu::Transport>(std::make_unique<StallingTransport>(device, stall));
    });
    m_debug.emplace();
    m_boxes.emplace();
}

void DialogTest::TearDown() {
    if (m_dlg) {
        if (m_dlg->m_hWnd) m_dlg->DestroyWindow();
        // The mapping is the dialog's until the next detection or the end of the process.
        if (m_dlg->m_pMapping) STDFUPRT_DestroyMapping(&m_dlg->m_pMapping);
        m_dlg.reset();
    }
    m_boxes.reset();
    m_debug.reset();
    m_interfaces.reset();
    dfu::SetTransportOpener({});
    dfu::SetInterfaceLister({});
    m_bus.reset();
    EXPECT_EQ(STDFU_LiveHandleCount(), m_baseline) << "a handle was left alive";
    RemoveFirmwareFiles();
}

std::shared_ptr<sim::Device> DialogTest::Plug(const sim::Config& config) {
    auto device = sim::Device::Create(config);
    EXPECT_TRUE(device) << device.error();
    m_bus->Add(*device);
    m_bus->Plug(*device);
    return *device;
}

void DialogTest::PlugAlias(const std::string& path, std::shared_ptr<sim::Device> device) {
    m_aliases[path] = std::move(device);
    m_bus->PlugInterface(std::string(sim::kDfuClassGuid), path);
}

void DialogTest::Open() {
    m_bus->WaitIdle();  // what was plugged before the dialog is not announced to it
    m_interfaces = std::make_unique<device::SimulatedInterfaces>(*m_bus);
    m_dlg = std::make_unique<Cvqz_downloaderDlg>();
    m_dlg->m_pInterfaces = m_interfaces.get();
    ASSERT_TRUE(m_dlg->Create());
    ::KillTimer(m_dlg->m_hWnd, 1);
    Settle();
}

void DialogTest::Settle() {
    m_bus->WaitIdle();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

int DialogTest::ProgressShown() const {
    const RECT client = m_dlg->m_ctrlProgress.GetClientRect();
    const int width = client.right, height = client.bottom;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    uint32_t* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP bitmap = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    m_dlg->m_ctrlProgress.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    ::GdiFlush();
    int done = 0;
    for (int x = 0; x < width; ++x)  // the top row: no text there
        if ((bits[x] & 0xFFFFFF) == 0x008000) ++done;
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return width ? done * 100 / width : 0;
}

std::vector<uint32_t> DialogTest::ImageSizes() const {
    std::vector<uint32_t> sizes;
    for (uint32_t image : m_dlg->m_hImages) sizes.push_back(image ? STDFUFILES_GetImageSize(image) : 0);
    return sizes;
}

}  // namespace rig
