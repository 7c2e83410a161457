// The dialog's own painting: the background picture centred in the hidden header frame, or the
// application icon when the window is minimised.
#include "app/vqz_downloaderDlg.h"

#include "framework/dc.h"

namespace {
// The picture's size, fixed: the frame grows with the dialog font, the picture does not.
constexpr int kPictureWidth = 456;
constexpr int kPictureHeight = 88;
}  // namespace

void Cvqz_downloaderDlg::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(*this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
        PaintContent(dc);
        return;
    }
    if (m_bmpBackground.GetSafeHandle()) {
        CPaintDC dc(*this);
        PaintContent(dc);
    }
    CDialogEx::OnPaint();
}

void Cvqz_downloaderDlg::OnPrintClient(HDC hDC) {
    CDC dc(hDC);
    PaintContent(dc);
}

void Cvqz_downloaderDlg::PaintContent(CDC& dc) {
    if (IsIconic()) {
        const RECT client = GetClientRect();
        const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        if (m_hIcon) dc.DrawIcon(x, y, m_hIcon);
        return;
    }
    BITMAP info{};
    if (!m_bmpBackground.GetBitmap(&info)) return;
    RECT frame = GetDlgItem(IDC_HEADER_FRAME).GetWindowRect();
    ScreenToClient(frame);
    const int x = frame.left + (frame.right - frame.left - kPictureWidth) / 2;
    const int y = frame.top + (frame.bottom - frame.top - kPictureHeight) / 2;

    CCompatibleDC memory(dc);
    CSelectObject select(memory, m_bmpBackground.GetSafeHandle());
    dc.BitBlt(x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
}
