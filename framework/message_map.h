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
//         OnMessage<WM_PAINT, &CMyWnd::OnPaint>(),
//         OnCommand<&CMyWnd::OnBnClickedQuit>(IDC_QUIT, BN_CLICKED),
//     };
// The message picks the handler's parameters: a handler whose signature is not the one its
// message carries (an OnTimer(UINT_PTR) mapped to WM_SIZE) does not compile. A message without
// parameters of its own here takes a handler of no parameters or of the raw (WPARAM, LPARAM).
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

// The handler each message with parameters of its own takes.
template <UINT Message, class T>
struct HandlerFor {};
template <class T> struct HandlerFor<WM_PAINT, T> { using Type = void (T::*)(); };
template <class T> struct HandlerFor<WM_CLOSE, T> { using Type = void (T::*)(); };
template <class T> struct HandlerFor<WM_DESTROY, T> { using Type = void (T::*)(); };
template <class T> struct HandlerFor<WM_QUERYDRAGICON, T> { using Type = HCURSOR (T::*)(); };
template <class T> struct HandlerFor<WM_TIMER, T> { using Type = void (T::*)(UINT_PTR); };
template <class T> struct HandlerFor<WM_DEVICECHANGE, T> { using Type = BOOL (T::*)(UINT, DWORD_PTR); };
template <class T> struct HandlerFor<WM_ERASEBKGND, T> { using Type = BOOL (T::*)(HDC); };
template <class T> struct HandlerFor<WM_PRINTCLIENT, T> { using Type = void (T::*)(HDC); };
template <class T> struct HandlerFor<WM_SIZE, T> { using Type = void (T::*)(UINT, int, int); };
template <class T> struct HandlerFor<WM_SETTEXT, T> { using Type = LRESULT (T::*)(WPARAM, LPARAM); };
template <class T> struct HandlerFor<WM_GETTEXT, T> { using Type = LRESULT (T::*)(WPARAM, LPARAM); };

template <class F>
struct TakesNothing : std::false_type {};
template <class T, class R>
struct TakesNothing<R (T::*)()> : std::true_type {};

template <UINT Message, auto Handler>
constexpr bool Fits() {
    using F = decltype(Handler);
    using T = typename Member<F>::Class;
    if constexpr (requires { typename HandlerFor<Message, T>::Type; })
        return std::is_same_v<F, typename HandlerFor<Message, T>::Type>;
    else
        return TakesNothing<F>::value || std::is_same_v<F, LRESULT (T::*)(WPARAM, LPARAM)>;
}

template <auto Handler>
LRESULT Thunk(CWnd& wnd, WPARAM w, LPARAM l) {
    using T = typename Member<decltype(Handler)>::Class;
    return Invoke(static_cast<T&>(wnd), Handler, w, l);
}

}  // namespace message_map_detail

// Whether Handler takes what Message carries.
template <UINT Message, auto Handler>
concept HandlesMessage = message_map_detail::Fits<Message, Handler>();

template <UINT Message, auto Handler>
    requires HandlesMessage<Message, Handler>
constexpr MessageEntry OnMessage() {
    return {Message, 0, 0, &message_map_detail::Thunk<Handler>};
}

// A command's handler takes nothing: the control and the notification are the entry's.
template <auto Handler>
    requires message_map_detail::TakesNothing<decltype(Handler)>::value
constexpr MessageEntry OnCommand(UINT id, UINT code) {
    return {WM_COMMAND, id, code, &message_map_detail::Thunk<Handler>};
}
