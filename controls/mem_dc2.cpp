#include "controls/mem_dc2.h"

CMemDC2::CMemDC2(CDC& target) : m_target(target), m_rect(target.GetClipBox()) {
    m_hDC = ::CreateCompatibleDC(target.m_hDC);
    if (!m_hDC) return;
    if (m_bitmap.CreateCompatibleBitmap(target, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top))
        m_oldBitmap = ::SelectObject(m_hDC, m_bitmap.m_hObject);
    SetWindowOrg(m_rect.left, m_rect.top);
}

CMemDC2::~CMemDC2() {
    if (!m_hDC) return;
    if (m_oldBitmap) {
        m_target.BitBlt(m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top,
                        *this, m_rect.left, m_rect.top, SRCCOPY);
        ::SelectObject(m_hDC, m_oldBitmap);
    }
    ::DeleteDC(m_hDC);
}
