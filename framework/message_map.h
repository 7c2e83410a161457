// Message maps: each window class keeps one table that sends a message (or a control's command)
// to a member handler with typed parameters. CWnd::WindowProc looks a message up in the class's
// table, then in its base class's table, and so on; what no table maps gets the window's default
// processing.
//
// A class with a table declares
//     static const MessageEntry messageEntries[];
//     static const MessageMap messageMap;
//     const MessageMap& GetMessageMap() const override { return messageMap; }
// and defines them in its .cpp:
//     const MessageEntry CMyWnd::messageEntries[] = {
//         OnMessage<&CMyWnd::OnPaint>(WM_PAINT),
//         OnCommand<&CMyWnd::OnBnClickedQuit>(IDC_QUIT, BN_CLICKED),
//     };
//     const MessageMap CMyWnd::messageMap{&CBase::messageMap, messageEntries};
#pragma once

#include <windows.h>

#include <span>
#include <type_traits>

class CWnd;

using MessageThunk = LRESULT (*)(CWnd& wnd, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT message;  // WM_COMMAND for a control's command
    UINT id;       // the control ID of a command; 0 otherwise
    UINT code;     // the notification code of a command; 0 otherwise
    MessageThunk thunk;
};

struct MessageMap {
    const MessageMap* base;  // the base class's table; null at CWnd
    std::span<const MessageEntry> entries;
};

namespace message_map_detail {

template <class F>
struct Member;
template <class T, class R, class... A>
struct Member<R (T::*)(A...)> {
    using Class = T;
};

template <class R>
LRESULT ToResult(R r) {
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<LRESULT>(r);
    else
        return static_cast<LRESULT>(r);
}

// How WPARAM and LPARAM become a handler's parameters, by the handler's signature.
template <class T, class R>
LRESULT Invoke(T& o, R (T::*f)(), WPARAM, LPARAM) {
    if constexpr (std::is_void_v<R>) {
        (o.*f)();
        return 0;
    } else {
        return ToResult((o.*f)());
    }
}
// WM_TIMER: the timer ID.
template <class T>
LRESULT Invoke(T& o, void (T::*f)(UINT_PTR), WPARAM w, LPARAM) {
    (o.*f)(w);
    return 0;
}
// WM_DEVICECHANGE: the event and its data.
template <class T>
LRESULT Invoke(T& o, BOOL (T::*f)(UINT, DWORD_PTR), WPARAM w, LPARAM l) {
    return (o.*f)(static_cast<UINT>(w), static_cast<DWORD_PTR>(l));
}
// WM_ERASEBKGND, WM_PRINTCLIENT: the device context.
template <class T, class R>
LRESULT Invoke(T& o, R (T::*f)(HDC), WPARAM w, LPARAM) {
    if constexpr (std::is_void_v<R>) {
        (o.*f)(reinterpret_cast<HDC>(w));
        return 0;
    } else {
        return ToResult((o.*f)(reinterpret_cast<HDC>(w)));
    }
}
// WM_SIZE: the kind of sizing and the new client width and height.
template <class T>
LRESULT Invoke(T& o, void (T::*f)(UINT, int, int), WPARAM w, LPARAM l) {
    (o.*f)(static_cast<UINT>(w), static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)));
    return 0;
}
// Anything else: the raw parameters.
template <class T>
LRESULT Invoke(T& o, LRESULT (T::*f)(WPARAM, LPARAM), WPARAM w, LPARAM l) {
    return (o.*f)(w, l);
}

template <auto Handler>
LRESULT Thunk(CWnd& wnd, WPARAM w, LPARAM l) {
    using T = typename Member<decltype(Handler)>::Class;
    return Invoke(static_cast<T&>(wnd), Handler, w, l);
}

}  // namespace message_map_detail

template <auto Handler>
constexpr MessageEntry OnMessage(UINT message) {
    return {message, 0, 0, &message_map_detail::Thunk<Handler>};
}

template <auto Handler>
constexpr MessageEntry OnCommand(UINT id, UINT code) {
    return {WM_COMMAND, id, code, &message_map_detail::Thunk<Handler>};
}
