// Message maps as tables: each entry names a message (for WM_COMMAND also a notification
// code and a control or command id range) and the member function that handles it. A
// dialog class returns its table from messageMap(), chained to its base class's table.
#pragma once

#include "constants.h"
#include "types.h"

#include <cstdint>
#include <span>
#include <type_traits>

namespace fw {

class Dialog;

struct Message {
    std::uint32_t msg = 0;
    plat::WParam wParam = 0;
    plat::LParam lParam = 0;
};

using Handler = plat::LResult (*)(Dialog& target, const Message& message);

struct MessageMapEntry {
    std::uint32_t message = 0;
    // WM_COMMAND only: the notification code (0 for menus and button clicks) and the id range.
    std::uint32_t code = 0;
    std::uint32_t firstId = 0;
    std::uint32_t lastId = 0;
    Handler handler = nullptr;

    bool matches(const Message& m) const {
        if (m.msg != message)
            return false;
        if (message != WM_COMMAND)
            return true;
        const std::uint32_t id = loWord(m.wParam);
        return hiWord(m.wParam) == code && id >= firstId && id <= lastId;
    }
};

struct MessageMap {
    const MessageMap* base = nullptr; // consulted when no entry here matches
    std::span<const MessageMapEntry> entries;

    const MessageMapEntry* find(const Message& m) const {
        for (const MessageMap* map = this; map; map = map->base)
            for (const MessageMapEntry& entry : map->entries)
                if (entry.matches(m))
                    return &entry;
        return nullptr;
    }
};

namespace detail {

template <class T> struct MemberOf;
template <class R, class C, class... A> struct MemberOf<R (C::*)(A...)> { using Class = C; };
template <class R, class C, class... A> struct MemberOf<R (C::*)(A...) noexcept> {
    using Class = C;
};

// Calls a member handler with as much of the message as it takes:
// (wParam, lParam), (wParam) or (); a void handler's result is 0.
template <auto Fn> plat::LResult callMessage(Dialog& target, const Message& m) {
    using C = typename MemberOf<decltype(Fn)>::Class;
    C& self = static_cast<C&>(target);
    if constexpr (std::is_invocable_v<decltype(Fn), C&, plat::WParam, plat::LParam>) {
        if constexpr (std::is_void_v<
                          std::invoke_result_t<decltype(Fn), C&, plat::WParam, plat::LParam>>) {
            (self.*Fn)(m.wParam, m.lParam);
            return 0;
        } else {
            return static_cast<plat::LResult>((self.*Fn)(m.wParam, m.lParam));
        }
    } else if constexpr (std::is_invocable_v<decltype(Fn), C&, plat::WParam>) {
        if constexpr (std::is_void_v<std::invoke_result_t<decltype(Fn), C&, plat::WParam>>) {
            (self.*Fn)(m.wParam);
            return 0;
        } else {
            return static_cast<plat::LResult>((self.*Fn)(m.wParam));
        }
    } else if constexpr (std::is_void_v<std::invoke_result_t<decltype(Fn), C&>>) {
        (self.*Fn)();
        return 0;
    } else {
        return static_cast<plat::LResult>((self.*Fn)());
    }
}

// Command handlers take nothing, or the command id (for id ranges).
template <auto Fn> plat::LResult callCommand(Dialog& target, const Message& m) {
    using C = typename MemberOf<decltype(Fn)>::Class;
    C& self = static_cast<C&>(target);
    if constexpr (std::is_invocable_v<decltype(Fn), C&, std::uint32_t>)
        (self.*Fn)(loWord(m.wParam));
    else
        (self.*Fn)();
    return 0;
}

} // namespace detail

// A window message, e.g. onMessage<&Dlg::OnPaint>(WM_PAINT).
template <auto Fn> constexpr MessageMapEntry onMessage(std::uint32_t message) {
    return {message, 0, 0, 0, &detail::callMessage<Fn>};
}

// WM_COMMAND from a menu item or a button click (notification code 0).
template <auto Fn> constexpr MessageMapEntry onCommand(std::uint32_t id) {
    return {WM_COMMAND, 0, id, id, &detail::callCommand<Fn>};
}

// WM_COMMAND for an inclusive id range; the handler may take the id.
template <auto Fn>
constexpr MessageMapEntry onCommandRange(std::uint32_t firstId, std::uint32_t lastId) {
    return {WM_COMMAND, 0, firstId, lastId, &detail::callCommand<Fn>};
}

// WM_COMMAND carrying a control's notification code, e.g. LBN_SELCHANGE from a list box.
template <auto Fn> constexpr MessageMapEntry onNotify(std::uint32_t code, std::uint32_t id) {
    return {WM_COMMAND, code, id, id, &detail::callCommand<Fn>};
}

} // namespace fw
