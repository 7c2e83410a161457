// The main dialog as it is created from the program's template: its controls, its first texts
// and icons, and its painting (the picture centred in the header frame, the icon when minimised).
#include "app/vqz_downloaderDlg.h"
#include "framework/win_app.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <algorithm>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// Found by argument-dependent lookup of RECT, so in the global namespace.
bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::ostream& operator<<(std::ostream& os, const RECT& r) {
    return os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

namespace {

constexpr uint32_t kSentinel = 0x00FF00FF;  // magenta: nowhere in the artwork

std::wstring ExeFolder() { return ExecutableFolder(ModulePath()); }

// A 32-bit top-down DIB section with its own DC, filled with the sentinel colour.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
        dc_ = ::CreateCompatibleDC(nullptr);
        bitmap_ = ::CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                     nullptr, 0);
        old_ = ::SelectObject(dc_, bitmap_);
        std::fill(bits_, bits_ + width * height, kSentinel);
    }
    ~Canvas() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    uint32_t At(int x, int y) const {
        ::GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }
    // The smallest rectangle holding every pixel that is not the sentinel; empty when none.
    RECT Painted() const {
        ::GdiFlush();
        RECT r{width_, height_, 0, 0};
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if ((bits_[y * width_ + x] & 0xFFFFFF) != kSentinel) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        return r;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

// The pixels of a bitmap, top-down, 0x00RRGGBB.
std::vector<uint32_t> PixelsOf(HBITMAP bitmap, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width * height));
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

class MainDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // An empty language file: every text its default, the full layout.
        HANDLE file = ::CreateFileW((ExeFolder() + L"\\lang.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ::CloseHandle(file);
        shared = std::make_unique<Cvqz_downloaderDlg>();
    }
    // One dialog for the suite: Wine takes about two seconds to take a captioned window off an
    // X display that has no window manager.
    static void TearDownTestSuite() {
        if (shared->m_hWnd) shared->DestroyWindow();
        shared.reset();
    }
    void SetUp() override {
        if (!dlg.m_hWnd) {
            ASSERT_TRUE(dlg.Create());
        }
    }

    // A rectangle of the template, in dialog units, as pixels of the dialog's client area.
    // The dialog manager converts position and size each on their own.
    RECT DialogUnits(int x, int y, int w, int h) const {
        RECT r{x, y, w, h};
        ::MapDialogRect(dlg.m_hWnd, &r);
        return {r.left, r.top, r.left + r.right, r.top + r.bottom};
    }
    RECT ClientRectOf(int id) const {
        RECT r = dlg.GetDlgItem(id).GetWindowRect();
        dlg.ScreenToClient(r);
        return r;
    }

    static inline std::unique_ptr<Cvqz_downloaderDlg> shared;
    Cvqz_downloaderDlg& dlg = *shared;
};

// Dialog template 102 as the table gives it, control by control in template order.
struct TemplateControl {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD style;
    short x, y, w, h;
};
constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
const TemplateControl kTemplate[] = {
    {IDC_UPGRADE_INFO, L"Button", L"Upgrade Info", kShown | BS_GROUPBOX, 7, 98, 306, 45},
    {IDC_UPGRADE, L"Button", L"Upgrade", kShown | WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON, 54, 168, 95, 14},
    {IDC_QUIT, L"Button", L"Quit", kShown | WS_TABSTOP | BS_PUSHBUTTON, 167, 167, 98, 14},
    {IDC_PROGRESS, L"msctls_progress32", L"", kShown | WS_BORDER | PBS_SMOOTH, 7, 148, 305, 14},
    {IDC_DURATION, L"Static", L"00:00:00", kShown | WS_GROUP | SS_CENTER, 17, 122, 64, 9},
    {IDC_DURATION_FRAME, L"Button", L"Operation duration", kShown | BS_GROUPBOX, 12, 111, 82, 26},
    {IDC_SIZE_FRAME, L"Button", L"Transferred data size", kShown | BS_GROUPBOX, 98, 111, 212, 26},
    {IDC_SIZE, L"Static", L"0 KB", kShown | WS_GROUP | SS_LEFT, 107, 122, 199, 13},
    {IDC_TITLE_NAME, L"Static", L"TITLE_NAME", kShown | WS_GROUP | SS_LEFT, 9, 58, 313, 8},
    {IDC_HEADER_FRAME, L"Button", L"", WS_CHILD | BS_GROUPBOX, 9, 3, 303, 52},
    {IDC_TITLE_MESSAGE, L"Static", L"TITLE_MESSAGE", kShown | WS_GROUP | SS_LEFT, 13, 78, 290, 8},
    {-1, L"Button", L"", kShown | BS_GROUPBOX, 7, 70, 306, 21},
};

// Reads an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX records).
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* p) : p_(p) {}
    WORD Word() { WORD v; std::memcpy(&v, p_, 2); p_ += 2; return v; }
    DWORD Dword() { DWORD v; std::memcpy(&v, p_, 4); p_ += 4; return v; }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return *p_++; }
    std::wstring String() {
        std::wstring s;
        for (WORD c = Word(); c; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }
    // A name or an ordinal: none, 0xFFFF and a number, or a string. The predefined classes'
    // ordinals come back as their names.
    std::wstring NameOrOrdinal() {
        WORD first;
        std::memcpy(&first, p_, 2);
        if (first == 0) { p_ += 2; return L""; }
        if (first != 0xFFFF) return String();
        p_ += 2;
        switch (WORD ordinal = Word()) {
            case 0x80: return L"Button";
            case 0x81: return L"Edit";
            case 0x82: return L"Static";
            default: return L"#" + std::to_wstring(ordinal);
        }
    }
    void AlignDword(const BYTE* base) { p_ += (4 - (p_ - base) % 4) % 4; }

private:
    const BYTE* p_;
};

TEST_F(MainDialog, TemplateIsAsDesigned) {
    HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_VQZ_DOWNLOADER_DIALOG), RT_DIALOG);
    ASSERT_TRUE(info);
    const auto* base = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, info)));
    TemplateReader t(base);
    EXPECT_EQ(t.Word(), 1) << "DLGTEMPLATEEX version";
    EXPECT_EQ(t.Word(), 0xFFFF);
    EXPECT_EQ(t.Dword(), 0u) << "help ID";
    EXPECT_EQ(t.Dword(), static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(t.Dword(), static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME |
                                            DS_SETFONT | DS_FIXEDSYS));
    const WORD count = t.Word();
    EXPECT_EQ(count, std::size(kTemplate));
    EXPECT_EQ(t.Short(), 0);
    EXPECT_EQ(t.Short(), 0);
    EXPECT_EQ(t.Short(), 323);
    EXPECT_EQ(t.Short(), 194);
    EXPECT_EQ(t.NameOrOrdinal(), L"") << "no menu";
    EXPECT_EQ(t.NameOrOrdinal(), L"") << "no class of its own";
    EXPECT_EQ(t.String(), L"T862 Ver.0.94");
    EXPECT_EQ(t.Word(), 8) << "points";
    EXPECT_EQ(t.Word(), 0) << "weight";
    EXPECT_EQ(t.Byte(), 0) << "italic";
    EXPECT_EQ(t.Byte(), 1) << "character set";
    EXPECT_EQ(t.String(), L"MS Shell Dlg");

    for (size_t i = 0; i < std::min<size_t>(count, std::size(kTemplate)); ++i) {
        const TemplateControl& c = kTemplate[i];
        SCOPED_TRACE(testing::Message() << "control " << c.id);
        t.AlignDword(base);
        EXPECT_EQ(t.Dword(), 0u) << "help ID";
        EXPECT_EQ(t.Dword(), 0u) << "extended style";
        EXPECT_EQ(t.Dword(), c.style);
        EXPECT_EQ(t.Short(), c.x);
        EXPECT_EQ(t.Short(), c.y);
        EXPECT_EQ(t.Short(), c.w);
        EXPECT_EQ(t.Short(), c.h);
        EXPECT_EQ(static_cast<int>(t.Dword()), c.id);
        EXPECT_EQ(_wcsicmp(t.NameOrOrdinal().c_str(), c.windowClass), 0) << "window class";
        EXPECT_EQ(t.NameOrOrdinal(), c.text);
        EXPECT_EQ(t.Word(), 0) << "no creation data";
    }
}

// The raw bytes of a resource of this module.
std::string_view ResourceBytes(const wchar_t* type, const wchar_t* name) {
    HRSRC info = ::FindResourceW(nullptr, name, type);
    if (!info) return {};
    const void* data = ::LockResource(::LoadResource(nullptr, info));
    return {static_cast<const char*>(data), ::SizeofResource(nullptr, info)};
}

template <class T>
T At(std::string_view bytes, size_t offset) {
    T v{};
    if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

TEST(Resources, PicturesManifestAndVersionAreInTheirFormats) {
    // Bitmap 135: 456 x 88, 24 bits, BI_RGB, bottom-up, 3780 pixels per metre, no colour table.
    const std::string_view bitmap = ResourceBytes(RT_BITMAP, MAKEINTRESOURCEW(IDB_BACKGROUND));
    EXPECT_EQ(bitmap.size(), 120424u);
    const auto header = At<BITMAPINFOHEADER>(bitmap, 0);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 456);
    EXPECT_EQ(header.biHeight, 88) << "positive: rows bottom-up";
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biXPelsPerMeter, 3780);
    EXPECT_EQ(header.biYPelsPerMeter, 3780);
    EXPECT_EQ(header.biClrUsed, 0u);

    // Icon group 128: one image, 51 x 40, 32 bits (with alpha), 8,520 bytes.
    const std::string_view group = ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_EQ(At<WORD>(group, 4), 1) << "one image";
    EXPECT_EQ(At<BYTE>(group, 6), 51);
    EXPECT_EQ(At<BYTE>(group, 7), 40);
    EXPECT_EQ(At<WORD>(group, 12), 32);
    EXPECT_EQ(At<DWORD>(group, 14), 8520u);
    const std::string_view icon = ResourceBytes(RT_ICON, MAKEINTRESOURCEW(At<WORD>(group, 18)));
    EXPECT_EQ(icon.size(), 8520u);
    bool translucent = false;  // some alpha between opaque and clear: a real alpha channel
    for (size_t i = 40 + 3; i < 40 + 51 * 40 * 4; i += 4) {
        const auto a = static_cast<unsigned char>(icon[i]);
        translucent = translucent || (a > 0 && a < 255);
    }
    EXPECT_TRUE(translucent);

    const std::string manifest(ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1)));
    EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos) << "classic controls";

    // VS_FIXEDFILEINFO: file and product version 1.0.2.701.
    const std::string_view version = ResourceBytes(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    const size_t fixed = version.find(std::string_view("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(fixed, std::string_view::npos);
    const auto info = At<VS_FIXEDFILEINFO>(version, fixed);
    EXPECT_EQ(info.dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(info.dwFileVersionLS, MAKELONG(701, 2));
    EXPECT_EQ(info.dwProductVersionMS, info.dwFileVersionMS);
    EXPECT_EQ(info.dwProductVersionLS, info.dwFileVersionLS);
    EXPECT_NE(version.find(std::string_view("0\0004\0000\0009\0000\0004\000B\0000\0", 16)), std::string_view::npos)
        << "strings for 0x0409, Unicode";
}

TEST_F(MainDialog, ControlsAreCreatedFromTheTemplateInItsOrder) {
    HWND control = ::GetWindow(dlg.m_hWnd, GW_CHILD);
    for (const TemplateControl& c : kTemplate) {
        SCOPED_TRACE(testing::Message() << "control " << c.id);
        ASSERT_TRUE(control) << "fewer controls than the template has";
        EXPECT_EQ(static_cast<short>(::GetDlgCtrlID(control)), c.id);
        wchar_t name[64] = {};
        ::GetClassNameW(control, name, 64);
        EXPECT_EQ(_wcsicmp(name, c.windowClass), 0) << "window class";
        // The progress bar's border is the template's (checked above): the dialog manager may
        // turn WS_BORDER into an edge style of its choosing.
        const DWORD style = static_cast<DWORD>(::GetWindowLongW(control, GWL_STYLE));
        EXPECT_EQ(style & ~WS_BORDER, c.style & ~WS_BORDER);
        RECT r{};
        ::GetWindowRect(control, &r);
        dlg.ScreenToClient(r);
        EXPECT_EQ(r, DialogUnits(c.x, c.y, c.w, c.h));
        control = ::GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_FALSE(control) << "more controls than the template has";

    const DWORD style = static_cast<DWORD>(::GetWindowLongW(dlg.m_hWnd, GWL_STYLE));
    EXPECT_TRUE(style & WS_SYSMENU) << "added during initialisation for the close box";
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(::GetWindowLongW(dlg.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(dlg.GetClientRect(), DialogUnits(0, 0, 323, 194));
}

TEST_F(MainDialog, StartsWithItsFirstTextsBoundControlsAndIcons) {
    EXPECT_EQ(dlg.GetDlgItem(IDC_DURATION).GetWindowText(), L"00:00:00");
    EXPECT_EQ(dlg.GetDlgItem(IDC_SIZE).GetWindowText(), L"0 KB(0 Bytes) of 0 KB(0 Bytes)");
    EXPECT_EQ(dlg.m_btnUpgrade.m_hWnd, ::GetDlgItem(dlg.m_hWnd, IDC_UPGRADE));
    EXPECT_EQ(dlg.m_ctrlProgress.m_hWnd, ::GetDlgItem(dlg.m_hWnd, IDC_PROGRESS));
    EXPECT_FALSE(dlg.m_btnUpgrade.IsWindowEnabled());

    ASSERT_TRUE(dlg.m_hIcon) << "icon 128 loads";
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(dlg.m_hIcon, &info));
    BITMAP colour{};
    ::GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, ::GetSystemMetrics(SM_CXICON));
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    EXPECT_EQ(dlg.SendMessage(WM_GETICON, ICON_BIG), reinterpret_cast<LRESULT>(dlg.m_hIcon));
    EXPECT_EQ(dlg.SendMessage(WM_GETICON, ICON_SMALL), reinterpret_cast<LRESULT>(dlg.m_hIcon));
    EXPECT_EQ(dlg.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(dlg.m_hIcon));

    BITMAP picture{};
    ASSERT_TRUE(dlg.m_bmpBackground.GetBitmap(&picture)) << "bitmap 135 loads";
    EXPECT_EQ(picture.bmWidth, 456);
    EXPECT_EQ(picture.bmHeight, 88);
}

TEST_F(MainDialog, PictureIsCentredInTheHeaderFrameTruncatingTowardZero) {
    BITMAP picture{};
    ASSERT_TRUE(dlg.m_bmpBackground.GetBitmap(&picture));
    const std::vector<uint32_t> source =
        PixelsOf(dlg.m_bmpBackground.GetSafeHandle(), picture.bmWidth, picture.bmHeight);
    auto sourceAt = [&](int x, int y) { return source[static_cast<size_t>(y * picture.bmWidth + x)]; };

    struct Case {
        int frameWidth, frameHeight;
        int dx, dy;  // the picture's offset from the frame's top-left corner
    };
    const Case cases[] = {
        {457, 88, 0, 0},      // (457 - 456) / 2 is 0
        {455, 87, 0, 0},      // -1 / 2 truncates to 0, not -1
        {454, 86, -1, -1},
        {300, 100, -78, 6},   // narrower than the picture: sticks out on both sides
        {500, 60, 22, -14},
    };
    const RECT original = ClientRectOf(IDC_HEADER_FRAME);
    constexpr int left = 100, top = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frameWidth << " x " << c.frameHeight);
        ::MoveWindow(::GetDlgItem(dlg.m_hWnd, IDC_HEADER_FRAME), left, top, c.frameWidth,
                     c.frameHeight, FALSE);
        Canvas canvas(800, 200);
        dlg.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);

        const int x0 = left + c.dx, y0 = top + c.dy;
        EXPECT_EQ(canvas.Painted(), (RECT{x0, y0, x0 + 456, y0 + 88})) << "where the picture lies";
        for (auto [x, y] : {std::pair{0, 0}, {455, 0}, {0, 87}, {455, 87}, {228, 44}, {380, 30}})
            EXPECT_EQ(canvas.At(x0 + x, y0 + y), sourceAt(x, y)) << "copied 1:1 at " << x << "," << y;
    }
    ::MoveWindow(::GetDlgItem(dlg.m_hWnd, IDC_HEADER_FRAME), original.left, original.top,
                 original.right - original.left, original.bottom - original.top, FALSE);
}

TEST_F(MainDialog, PictureIsOnTheScreenAfterPainting) {
    ::RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const RECT frame = ClientRectOf(IDC_HEADER_FRAME);
    const int x0 = frame.left + (frame.right - frame.left - 456) / 2;
    const int y0 = frame.top + (frame.bottom - frame.top - 88) / 2;
    BITMAP picture{};
    ASSERT_TRUE(dlg.m_bmpBackground.GetBitmap(&picture));
    const std::vector<uint32_t> source =
        PixelsOf(dlg.m_bmpBackground.GetSafeHandle(), picture.bmWidth, picture.bmHeight);

    HDC window = ::GetDC(dlg.m_hWnd);
    Canvas canvas(456, 88);
    ::BitBlt(canvas.dc(), 0, 0, 456, 88, window, x0, y0, SRCCOPY);
    ::ReleaseDC(dlg.m_hWnd, window);
    for (auto [x, y] : {std::pair{20, 20}, {228, 44}, {380, 30}, {300, 80}})
        EXPECT_EQ(canvas.At(x, y), source[static_cast<size_t>(y * 456 + x)]) << x << "," << y;
}

TEST_F(MainDialog, MinimisedItPaintsOnlyTheIconCentred) {
    dlg.ShowWindow(SW_MINIMIZE);
    ASSERT_TRUE(dlg.IsIconic());
    const RECT client = dlg.GetClientRect();
    const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
    // Signed division truncating toward zero; the client area may be empty when minimised.
    const int x = (client.right - cx + 1) / 2, y = (client.bottom - cy + 1) / 2;

    constexpr int origin = 100;  // room for an icon left of or above the client area
    Canvas canvas(300, 300);
    ::SetViewportOrgEx(canvas.dc(), origin, origin, nullptr);
    dlg.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);

    const RECT painted = canvas.Painted();
    EXPECT_LT(painted.left, painted.right) << "the icon is drawn";
    EXPECT_GE(painted.left, origin + x);
    EXPECT_GE(painted.top, origin + y);
    EXPECT_LE(painted.right, origin + x + cx);
    EXPECT_LE(painted.bottom, origin + y + cy);
    // The pin's white centre sits in the upper middle of the icon.
    EXPECT_EQ(canvas.At(origin + x + cx / 2, origin + y + cy * 12 / 40), 0xFAFAF4u);

    dlg.ShowWindow(SW_RESTORE);
}

}  // namespace
