#include "controls/text_progress_ctrl.h"

#include "controls/mem_dc2.h"
#include "controls/progress_fill.h"
#include "framework/dc.h"

#include <algorithm>
#include <cwchar>

const MessageEntry CTextProgressCtrl::messageEntries[] = {
    OnMessage<WM_ERASEBKGND, &CTextProgressCtrl::OnEraseBkgnd>(),
    OnMessage<WM_PAINT, &CTextProgressCtrl::OnPaint>(),
    OnMessage<WM_PRINTCLIENT, &CTextProgressCtrl::OnPrintClient>(),
    OnMessage<WM_SIZE, &CTextProgressCtrl::OnSize>(),
    OnMessage<WM_SETTEXT, &CTextProgressCtrl::OnSetText>(),
    OnMessage<WM_GETTEXT, &CTextProgressCtrl::OnGetText>(),
};
const MessageMap CTextProgressCtrl::messageMap{&CProgressCtrl::messageMap, messageEntries};

CTextProgressCtrl::CTextProgressCtrl()
    : m_colBar(::GetSysColor(COLOR_HIGHLIGHT)), m_colEmptyText(::GetSysColor(COLOR_HIGHLIGHT)) {}

CTextProgressCtrl::~CTextProgressCtrl() = default;

int CTextProgressCtrl::SetPos(int pos) {
    if (!m_hWnd) return -1;
    const int old = m_nPos;
    m_nPos = pos;
    const RECT client = GetClientRect();
    const int width = controls::FilledWidth(client.right - client.left,
                                            controls::Fraction(m_nPos, kLower, kUpper));
    if (width != m_nBarWidth) {
        m_nBarWidth = width;
        Invalidate(true);
        UpdateWindow();
    }
    return old;
}

void CTextProgressCtrl::SetShowText(bool show) {
    if (m_hWnd && show != m_bShowText) Invalidate(true);
    m_bShowText = show;
}

// The paint covers every pixel: nothing to erase, and erasing would flicker.
BOOL CTextProgressCtrl::OnEraseBkgnd(HDC) { return TRUE; }

void CTextProgressCtrl::OnPaint() {
    CPaintDC dc(*this);
    PaintContent(dc);
}

void CTextProgressCtrl::OnPrintClient(HDC hDC) {
    CDC dc(hDC);
    PaintContent(dc);
}

void CTextProgressCtrl::OnSize(UINT, int, int) {
    Default();
    m_nBarWidth = -1;
}

LRESULT CTextProgressCtrl::OnSetText(WPARAM, LPARAM lParam) {
    const LRESULT result = Default();
    const auto* text = reinterpret_cast<const wchar_t*>(lParam);
    const std::wstring_view newText = text ? std::wstring_view(text) : std::wstring_view();
    if (newText != m_strText) {
        m_strText = newText;
        Invalidate(true);
    }
    return result;
}

LRESULT CTextProgressCtrl::OnGetText(WPARAM wParam, LPARAM lParam) {
    auto* buffer = reinterpret_cast<wchar_t*>(lParam);
    const size_t capacity = static_cast<size_t>(wParam);
    if (!buffer || capacity == 0) return 0;
    const size_t count = std::min(m_strText.size(), capacity - 1);
    std::wmemcpy(buffer, m_strText.data(), count);
    buffer[count] = L'\0';
    return static_cast<LRESULT>(count);
}

void CTextProgressCtrl::PaintContent(CDC& dc) {
    const double fraction = controls::Fraction(m_nPos, kLower, kUpper);
    CMemDC2 mem(dc);

    const RECT client = GetClientRect();
    RECT filled = client;
    filled.right = client.left + controls::FilledWidth(client.right - client.left, fraction);
    RECT empty = client;
    empty.left = filled.right;
    mem.FillSolidRect(filled, m_colBar);
    mem.FillSolidRect(empty, m_colEmpty);
    if (!m_bShowText) return;

    const std::wstring text = m_strText.empty() ? controls::PercentText(fraction) : m_strText;
    mem.SetBkMode(TRANSPARENT);
    // The same text twice, each time clipped to one part, so a letter on the edge shows both colours.
    const auto drawClipped = [&](const RECT& part, COLORREF color) {
        ::SelectClipRgn(mem.m_hDC, nullptr);
        ::IntersectClipRect(mem.m_hDC, part.left, part.top, part.right, part.bottom);
        mem.SetTextColor(color);
        RECT layout = client;
        mem.DrawText(text, layout, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    };
    drawClipped(filled, m_colBarText);
    drawClipped(empty, m_colEmptyText);
}
