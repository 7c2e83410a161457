#include "framework/wnd.h"

#include <vector>

namespace {
// The window property that leads from a subclassed window to its object.
constexpr wchar_t kObjectProperty[] = L"vqz.CWnd";
}  // namespace

const MessageMap CWnd::messageMap{nullptr, {}};

CWnd::~CWnd() { UnsubclassWindow(); }

bool CWnd::SubclassWindow(HWND hWnd) {
    if (!hWnd || m_oldProc || ::GetPropW(hWnd, kObjectProperty)) return false;
    if (!::SetPropW(hWnd, kObjectProperty, this)) return false;
    m_hWnd = hWnd;
    m_oldProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
    return true;
}

bool CWnd::SubclassDlgItem(int id, const CWnd& parent) {
    return SubclassWindow(::GetDlgItem(parent.m_hWnd, id));
}

void CWnd::UnsubclassWindow() {
    if (!m_oldProc) return;
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
    ::RemovePropW(m_hWnd, kObjectProperty);
    m_oldProc = nullptr;
    m_hWnd = nullptr;
}

std::wstring CWnd::GetWindowText() const {
    std::vector<wchar_t> buffer(static_cast<size_t>(::GetWindowTextLengthW(m_hWnd)) + 1);
    int n = ::GetWindowTextW(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<size_t>(n > 0 ? n : 0));
}

RECT CWnd::GetWindowRect() const {
    RECT r{};
    ::GetWindowRect(m_hWnd, &r);
    return r;
}

RECT CWnd::GetClientRect() const {
    RECT r{};
    ::GetClientRect(m_hWnd, &r);
    return r;
}

void CWnd::ScreenToClient(RECT& rect) const {
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
}

void CWnd::MoveWindow(const RECT& rect, bool repaint) {
    ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 repaint);
}

void CWnd::CenterWindow() {
    MONITORINFO monitor{sizeof monitor};
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    const RECT area = monitor.rcWork;
    const RECT r = GetWindowRect();
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

const MessageEntry* CWnd::FindEntry(UINT message, WPARAM wParam) const {
    for (const MessageMap* map = &GetMessageMap(); map; map = map->base) {
        for (const MessageEntry& e : map->entries) {
            if (e.message != message) continue;
            if (message == WM_COMMAND &&
                (e.id != LOWORD(wParam) || e.code != HIWORD(wParam)))
                continue;
            return &e;
        }
    }
    return nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const MessageEntry* e = FindEntry(message, wParam)) return e->thunk(*this, wParam, lParam);
    return Default();
}

LRESULT CWnd::Default() {
    return ::CallWindowProcW(m_oldProc, m_hWnd, m_current.message, m_current.wParam,
                             m_current.lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CWnd*>(::GetPropW(hWnd, kObjectProperty));
    if (!self) return ::DefWindowProcW(hWnd, message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        // The last message: hand the window back to its own procedure and let go of it.
        WNDPROC oldProc = self->m_oldProc;
        self->UnsubclassWindow();
        return ::CallWindowProcW(oldProc, hWnd, message, wParam, lParam);
    }

    // Messages nest (a handler's SendMessage, a message box's loop): keep the outer one.
    const CurrentMessage outer = self->m_current;
    self->m_current = {message, wParam, lParam};
    const LRESULT result = self->WindowProc(message, wParam, lParam);
    self->m_current = outer;
    return result;
}
