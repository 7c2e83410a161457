// Device contexts. CDC wraps a device context it does not own; the derived scope objects own the
// pairing: CPaintDC begins and ends painting, CCompatibleDC creates and deletes a memory DC, and
// CSelectObject selects a GDI object and selects the previous one back.
#pragma once

#include <windows.h>

#include <string>

class CWnd;

class CDC {
public:
    CDC() = default;
    explicit CDC(HDC hDC) : m_hDC(hDC) {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;

    bool BitBlt(int x, int y, int width, int height, const CDC& source, int sx, int sy,
                DWORD rop = SRCCOPY) {
        return ::BitBlt(m_hDC, x, y, width, height, source.m_hDC, sx, sy, rop);
    }
    bool DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
    void FillSolidRect(const RECT& rect, COLORREF color);
    int DrawText(const std::wstring& text, RECT& rect, UINT format) {
        return ::DrawTextW(m_hDC, text.c_str(), static_cast<int>(text.size()), &rect, format);
    }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    RECT GetClipBox() const;
    POINT SetWindowOrg(int x, int y);
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd& wnd);
    ~CPaintDC();

    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

class CCompatibleDC : public CDC {
public:
    explicit CCompatibleDC(const CDC& target) : CDC(::CreateCompatibleDC(target.m_hDC)) {}
    ~CCompatibleDC() {
        if (m_hDC) ::DeleteDC(m_hDC);
    }
};

class CSelectObject {
public:
    CSelectObject(CDC& dc, HGDIOBJ object) : m_hDC(dc.m_hDC), m_old(::SelectObject(m_hDC, object)) {}
    ~CSelectObject() {
        if (m_old && m_old != HGDI_ERROR) ::SelectObject(m_hDC, m_old);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_old;
};
