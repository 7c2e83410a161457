// The real program updating the simulated device: started from a folder of its own with a firmware
// set, lang.ini and a simulation file, driven from outside as a user would drive it, and judged by
// what its window shows and by what the device's memory holds afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include "dfu/dfu_file.h"
#include "running_program.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPatienceMs = 60000;
constexpr int kUpgradeButton = 1006;
constexpr int kQuitButton = 1007;
constexpr int kStatusLine = 1015;
constexpr int kProgressBar = 1009;

const std::wstring kDone = L"\u0413\u043e\u0442\u043e\u0432\u043e";
const std::wstring kConnected = L"Velmarquist GPS \u043f\u043e\u0434\u043a\u043b\u044e\u0447\u0435\u043d.";
const std::wstring kNoConnection =
    L"\u041d\u0435\u0442 \u0441\u043e\u0435\u0434\u0438\u043d\u0435\u043d\u0438\u044f \u043f\u043e USB, "
    L"\u043f\u0440\u043e\u0432\u0435\u0440\u044c\u0442\u0435 USB-\u0441\u043e\u0435\u0434\u0438\u043d\u0435\u043d\u0438\u0435 !";
const std::wstring kUnplugged = L"Velmarquist GPS \u0440\u0430\u0437\u044a\u0435\u0434\u0438\u043d\u0435\u043d.";

using rig::Text;

// The three images of the set, and where the device keeps them.
struct Slot {
    const char* file;
    uint8_t alt;
    uint32_t address;
    const char* layout;
    size_t size;
};
constexpr std::array<Slot, 3> kSlots{{
    {"prog.dfu", 0, 0x08000000, "@Velmarquist /0x08000000/04*016Kg,01*064Kg", 70000},
    {"Dunorfile.dfu", 1, 0x90000000, "@Data /0x90000000/04*016Kg", 20000},
    {"file3.dfu", 2, 0x90100000, "@Voice /0x90100000/04*016Kg", 9000},
}};

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = uint8_t(x);
    }
    return bytes;
}

// A copy of the program in a fresh folder with the firmware set and a simulated device described
// by `fault` (the lines of a [fault] section, or empty), started; ended and removed with the object.
class UpdateRun {
public:
    UpdateRun(const std::wstring& name, const std::string& fault, int msPerBlock = 4) : name_(name) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::filesystem::path(temp) /
                  (L"vqz-update-test-" + name + L"-" + std::to_wstring(::GetCurrentProcessId()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        const std::filesystem::path exe = folder_ / L"vqz_downloader.exe";
        EXPECT_TRUE(::CopyFileW(rig::BuiltProgram().c_str(), exe.c_str(), FALSE)) << "copy of the program";

        // The caption tells the runs apart; a short pause between images.
        std::ofstream(folder_ / L"lang.ini", std::ios::binary)
            << "[title]\r\n101=vqz " << std::string(name.begin(), name.end())
            << "\r\n[control]\r\n9000=200\r\n";

        std::ofstream sim(folder_ / L"device.ini", std::ios::binary);
        sim << "[device]\ntransfer_size = 1024\n";
        for (const Slot& s : kSlots) {
            sim << "[alt" << int(s.alt) << "]\nname = " << s.layout << "\nstore = alt" << int(s.alt) << ".bin\n";
            images_.push_back(Pattern(s.size, s.alt + 1));
            dfu::DfuFile file;
            dfu::Image image;
            image.alternate = s.alt;
            image.elements.push_back({s.address, images_.back()});
            file.images.push_back(image);
            auto bytes = dfu::SerializeDfuFile(file);
            EXPECT_TRUE(bytes);
            std::ofstream(folder_ / s.file, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        }
        sim << "[timing]\nerase_ms_per_sector = 40\nprogram_ms_per_block = " << msPerBlock << "\n";
        if (!fault.empty()) sim << "[fault]\n" << fault;
        sim.close();

        process_.emplace(exe, L"\"" + exe.wstring() + L"\" --simulate=device.ini", folder_, kPatienceMs);
    }
    ~UpdateRun() {
        process_.reset();  // ended before its folder goes
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    const rig::RunningProgram& process() const { return *process_; }

    HWND WaitForDialog() {
        dialog_ = process_->WaitForWindow(L"vqz " + name_);
        return dialog_;
    }

    // A message box of the program: a dialog captioned with the program's name.
    HWND WaitForBox() const {
        return process_->WaitFor([&]() -> HWND {
            for (HWND hwnd : process_->VisibleWindows())
                if (hwnd != dialog_ && Text(hwnd) == L"vqz_downloader") return hwnd;
            return nullptr;
        });
    }

    bool WaitForStatus(const std::wstring& text) const {
        return process_->WaitFor([&]() -> HWND {
                   return Text(::GetDlgItem(dialog_, kStatusLine)) == text ? dialog_ : nullptr;
               }) != nullptr;
    }

    HWND Control(int id) const { return ::GetDlgItem(dialog_, id); }

    // The control of the dialog that has the keyboard focus; null when none has.
    HWND Focus() const {
        GUITHREADINFO gui{sizeof gui};
        if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog_, nullptr), &gui)) return nullptr;
        return gui.hwndFocus;
    }

    // A key pressed and released on the control with the focus, as the keyboard sends it.
    void PressKey(WPARAM key) const {
        const HWND focus = Focus();
        const LPARAM scan = LPARAM(::MapVirtualKeyW(UINT(key), MAPVK_VK_TO_VSC)) << 16;
        ::PostMessageW(focus, WM_KEYDOWN, key, 1 | scan);
        ::PostMessageW(focus, WM_KEYUP, key, 1 | scan | LPARAM(0xC0000000u));
    }

    // Presses a button as a click would.
    void Press(int id) const { ::PostMessageW(Control(id), BM_CLICK, 0, 0); }

    // The device's memory where slot k's image goes.
    std::vector<uint8_t> Stored(size_t k) const {
        std::ifstream store(folder_ / (L"alt" + std::to_wstring(kSlots[k].alt) + L".bin"), std::ios::binary);
        std::vector<uint8_t> bytes(images_[k].size());
        store.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
        bytes.resize(size_t(store.gcount()));
        return bytes;
    }
    const std::vector<uint8_t>& Image(size_t k) const { return images_[k]; }
    bool Erased(size_t k) const {
        for (uint8_t b : Stored(k))
            if (b != 0xFF) return false;
        return true;
    }

private:
    std::wstring name_;
    std::filesystem::path folder_;
    std::vector<std::vector<uint8_t>> images_;
    HWND dialog_ = nullptr;
    std::optional<rig::RunningProgram> process_;
};

// Started together, since each takes seconds under Wine; then judged one by one.
class UpdateProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        complete_ = new UpdateRun(L"complete", "");
        failure_ = new UpdateRun(L"failure", "phase = write\nalt = 1\nat_percent = 50\nstatus = 3\ntotal = 20\n");
        unplug_ = new UpdateRun(L"unplug", "phase = write\nalt = 0\nat_percent = 50\nunplug = 1\ntotal = 69\n");
        // Slow enough to be still at work when its test comes.
        // Started by its own test, from the keyboard.
        keys_ = new UpdateRun(L"keys", "");
        quit_ = new UpdateRun(L"quit", "", 500);
        escape_ = new UpdateRun(L"escape", "", 500);
        for (UpdateRun* run : {complete_, failure_, unplug_, quit_, escape_}) {
            if (!run->WaitForDialog() || !run->WaitForStatus(kConnected)) continue;
            run->Press(kUpgradeButton);
        }
    }
    static void TearDownTestSuite() {
        delete complete_;
        delete failure_;
        delete unplug_;
        delete keys_;
        delete quit_;
        delete escape_;
    }

    static inline UpdateRun* complete_ = nullptr;
    static inline UpdateRun* failure_ = nullptr;
    static inline UpdateRun* unplug_ = nullptr;
    static inline UpdateRun* keys_ = nullptr;
    static inline UpdateRun* quit_ = nullptr;
    static inline UpdateRun* escape_ = nullptr;
};

TEST_F(UpdateProgram, WritesAllThreeImagesAndSaysDone) {
    UpdateRun& run = *complete_;
    ASSERT_TRUE(run.WaitForStatus(kDone)) << "the status line says \"Готово\"";
    EXPECT_EQ(Text(run.Control(kProgressBar)), kDone) << "and so does the bar";
    EXPECT_FALSE(::IsWindowEnabled(run.Control(kUpgradeButton)));
    EXPECT_EQ(Text(run.Control(1042)), L"8 KB(9000 Bytes) of 8 KB(9000 Bytes)");
    for (size_t k = 0; k < kSlots.size(); ++k) EXPECT_EQ(run.Stored(k), run.Image(k)) << "slot " << k;
    run.Press(kQuitButton);
    EXPECT_EQ(run.process().WaitForExit(), 0u);
}

TEST_F(UpdateProgram, AFailedWriteIsReportedAndTheDeviceIsFoundAgain) {
    UpdateRun& run = *failure_;
    HWND box = run.WaitForBox();
    ASSERT_TRUE(box) << "a report box";
    const std::wstring report = Text(::GetDlgItem(box, 0xFFFF));
    EXPECT_EQ(report.rfind(L"Error Code: DFU error\n", 0), 0u) << report;
    EXPECT_NE(report.find(L"Operation: UPGRADE\n"), std::wstring::npos) << report;
    EXPECT_NE(report.find(L"DFU Status: STATUS_errWRITE\n"), std::wstring::npos) << report;
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    // The detection after the box: the device is there, the set reloaded, Upgrade enabled again.
    ASSERT_TRUE(run.WaitForStatus(kConnected));
    EXPECT_TRUE(run.process().WaitFor([&]() -> HWND {
        return ::IsWindowEnabled(run.Control(kUpgradeButton)) ? run.Control(kUpgradeButton) : nullptr;
    }));
    EXPECT_EQ(run.Stored(0), run.Image(0)) << "the image before the failed one is written";
    EXPECT_TRUE(run.Erased(2)) << "the image after it is not";
    run.Press(kQuitButton);
    EXPECT_EQ(run.process().WaitForExit(), 0u);
}

TEST_F(UpdateProgram, UnpluggingTheDeviceStopsTheUpdateAndSaysSo) {
    UpdateRun& run = *unplug_;
    HWND box = run.WaitForBox();
    ASSERT_TRUE(box) << "a box";
    EXPECT_EQ(Text(::GetDlgItem(box, 0xFFFF)), kUnplugged);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(run.WaitForStatus(kNoConnection));
    EXPECT_FALSE(::IsWindowEnabled(run.Control(kUpgradeButton)));
    EXPECT_TRUE(run.Erased(1)) << "nothing more is written";
    run.Press(kQuitButton);
    EXPECT_EQ(run.process().WaitForExit(), 0u);
}

TEST_F(UpdateProgram, QuitDuringTheUpdateEndsTheProgramWithExitCodeZero) {
    UpdateRun& run = *quit_;
    ASSERT_EQ(Text(run.Control(kProgressBar)).rfind(L"Write", 0), 0u) << "the update runs";
    run.Press(kQuitButton);
    EXPECT_EQ(run.process().WaitForExit(), 0u);
}

TEST_F(UpdateProgram, EscapeDuringTheUpdateEndsTheProgramWithExitCodeZero) {
    UpdateRun& run = *escape_;
    ASSERT_EQ(Text(run.Control(kProgressBar)).rfind(L"Write", 0), 0u) << "the update runs";
    // The key as the focused control gets it (the bar, during an update); the dialog turns it
    // into cancel.
    ::PostMessageW(run.Control(kProgressBar), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(run.process().WaitForExit(), 0u);
}

TEST_F(UpdateProgram, SpaceOnUpgradeStartsTheUpdateAndPressedAgainEndsNothing) {
    UpdateRun& run = *keys_;
    ASSERT_TRUE(run.WaitForDialog());
    ASSERT_TRUE(run.WaitForStatus(kConnected));
    // The status line can show before the dialog's thread has taken the focus.
    ASSERT_TRUE(run.process().WaitFor([&]() -> HWND {
        return run.Focus() == run.Control(kUpgradeButton) ? run.Focus() : nullptr;
    })) << "the keyboard starts on Upgrade";
    run.PressKey(VK_SPACE);
    ASSERT_TRUE(run.process().WaitFor([&]() -> HWND {
        return run.Focus() == run.Control(kProgressBar) ? run.Focus() : nullptr;
    })) << "the keyboard rests on the bar during the update";
    // The common double presses reach the bar, where they press nothing.
    for (WPARAM key : {VK_SPACE, VK_RETURN, VK_SPACE}) run.PressKey(key);
    ASSERT_TRUE(run.WaitForStatus(kDone)) << "the update goes on to the end";
    for (size_t k = 0; k < kSlots.size(); ++k) EXPECT_EQ(run.Stored(k), run.Image(k)) << "slot " << k;
    EXPECT_TRUE(run.process().WaitFor([&]() -> HWND {
        return run.Focus() == run.Control(kQuitButton) ? run.Focus() : nullptr;
    })) << "and then on the first enabled button";
    run.Press(kQuitButton);
    EXPECT_EQ(run.process().WaitForExit(), 0u);
}

}  // namespace
