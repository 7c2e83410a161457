#include "app/vqz_downloaderDlg.h"

#include "update/progress_text.h"

const MessageEntry Cvqz_downloaderDlg::messageEntries[] = {
    OnMessage<WM_PAINT, &Cvqz_downloaderDlg::OnPaint>(),
    OnMessage<WM_QUERYDRAGICON, &Cvqz_downloaderDlg::OnQueryDragIcon>(),
    OnCommand<&Cvqz_downloaderDlg::OnBnClickedQuit>(IDC_QUIT, BN_CLICKED),
    OnCommand<&Cvqz_downloaderDlg::OnBnClickedUpgrade>(IDC_UPGRADE, BN_CLICKED),
    OnCommand<&Cvqz_downloaderDlg::OnOK>(IDOK, BN_CLICKED),
    OnMessage<WM_CLOSE, &Cvqz_downloaderDlg::OnClose>(),
    OnMessage<WM_TIMER, &Cvqz_downloaderDlg::OnTimer>(),
    OnMessage<WM_DESTROY, &Cvqz_downloaderDlg::OnDestroy>(),
    OnMessage<WM_DEVICECHANGE, &Cvqz_downloaderDlg::OnDeviceChange>(),
    OnMessage<WM_PRINTCLIENT, &Cvqz_downloaderDlg::OnPrintClient>(),
};
const MessageMap Cvqz_downloaderDlg::messageMap{&CDialogEx::messageMap, messageEntries};

Cvqz_downloaderDlg::Cvqz_downloaderDlg(CWnd* parent)
    : CDialogEx(IDD, parent),
      m_strDuration(update::DurationText(0)),
      m_strTransferred(update::InitialSizeText(0)) {
    // Loaded at the system's icon size; a shared icon, never released.
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

Cvqz_downloaderDlg::~Cvqz_downloaderDlg() = default;

void Cvqz_downloaderDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_UPGRADE, m_btnUpgrade);
    DDX_Text(pDX, IDC_DURATION, m_strDuration);
    DDX_Control(pDX, IDC_PROGRESS, m_ctrlProgress);
    DDX_Text(pDX, IDC_SIZE, m_strTransferred);
    DDX_Text(pDX, IDC_TITLE_NAME, m_strTitleName);
    DDX_Text(pDX, IDC_TITLE_MESSAGE, m_strStatus);
}

BOOL Cvqz_downloaderDlg::OnInitDialog() {
    // The first transfer to the controls, which also binds the button and the progress bar.
    if (!CDialogEx::OnInitDialog()) return FALSE;

    LoadLanguageFile();

    // The template has no system menu: from here on the caption shows the icon and the close box.
    ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) | WS_SYSMENU);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Arrivals and removals of DFU, then HID interfaces; the registrations end with the window.
    m_pInterfaces->RegisterWindow(m_hWnd);

    // Drives the upgrade; never stopped, it ends with the window.
    SetTimer(1, 300);

    m_bmpBackground.Attach(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BACKGROUND)));

    DetectDevice();
    return TRUE;
}

HCURSOR Cvqz_downloaderDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void Cvqz_downloaderDlg::OnBnClickedQuit() { ::PostQuitMessage(0); }

void Cvqz_downloaderDlg::OnClose() { CDialogEx::OnClose(); }

void Cvqz_downloaderDlg::EnableUpgrade(bool enable) {
    if (!enable && ::GetFocus() == m_btnUpgrade.m_hWnd) SendMessage(WM_NEXTDLGCTL, 0, FALSE);
    m_btnUpgrade.EnableWindow(enable);
}

void Cvqz_downloaderDlg::PlaceFocus() {
    const HWND focus = ::GetFocus();
    if (!focus || !::IsChild(m_hWnd, focus)) return;
    const HWND bar = m_ctrlProgress.m_hWnd;
    // The write phase stays held through the pause between images: the update runs as long as
    // an operation is held.
    const bool updating = m_dwOperationId != 0;
    if (updating && focus != bar)
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(bar), TRUE);
    else if (!updating && focus == bar)
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetNextDlgTabItem(m_hWnd, nullptr, FALSE)), TRUE);
}

void Cvqz_downloaderDlg::OnDestroy() {
    // A running phase reads its image: it ends before the images are released.
    StopHeldOperation();
    ResetUpgradeState();
    if (m_pMapping) STDFUPRT_DestroyMapping(&m_pMapping);  // leaves it null
    m_nMappingCount = 0;
    CDialogEx::OnDestroy();
}
