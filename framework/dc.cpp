#include "framework/dc.h"

#include "framework/wnd.h"

void CDC::FillSolidRect(const RECT& rect, COLORREF color) {
    const COLORREF old = ::SetBkColor(m_hDC, color);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

RECT CDC::GetClipBox() const {
    RECT r{};
    ::GetClipBox(m_hDC, &r);
    return r;
}

POINT CDC::SetWindowOrg(int x, int y) {
    POINT old{};
    ::SetWindowOrgEx(m_hDC, x, y, &old);
    return old;
}

CPaintDC::CPaintDC(CWnd& wnd) : m_hWnd(wnd.m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
