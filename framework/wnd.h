// CWnd: a C++ object over one window. A view (constructed from an HWND) only wraps the calls; a
// subclassed window (SubclassWindow, SubclassDlgItem, or a dialog at WM_INITDIALOG) also sends
// every message through this object's message map. See message_map.h.
#pragma once

#include "framework/message_map.h"

#include <windows.h>

#include <string>

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND m_hWnd = nullptr;

    // Routes the window's messages through this object until the window is destroyed or
    // UnsubclassWindow is called. Fails when the window is already subclassed by an object.
    bool SubclassWindow(HWND hWnd);
    bool SubclassDlgItem(int id, const CWnd& parent);
    void UnsubclassWindow();

    CWnd GetDlgItem(int id) const { return CWnd(::GetDlgItem(m_hWnd, id)); }

    void SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    void ShowWindow(int cmd) { ::ShowWindow(m_hWnd, cmd); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    void EnableWindow(bool enable) { ::EnableWindow(m_hWnd, enable); }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    bool IsIconic() const { return ::IsIconic(m_hWnd); }

    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    void ScreenToClient(RECT& rect) const;
    void MoveWindow(const RECT& rect, bool repaint = true);
    // Centres the window on the work area of the monitor it is on.
    void CenterWindow();

    void Invalidate(bool erase = true) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    bool DestroyWindow() { return ::DestroyWindow(m_hWnd); }

    // The root of every chain: maps nothing.
    static const MessageMap messageMap;
    virtual const MessageMap& GetMessageMap() const { return messageMap; }

protected:
    // Looks the message up in this class's table and its bases'; Default() when none maps it.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's own processing of the message now being handled.
    LRESULT Default();

    friend class CDialogEx;

private:
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    const MessageEntry* FindEntry(UINT message, WPARAM wParam) const;

    WNDPROC m_oldProc = nullptr;
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMessage m_current{};
};
