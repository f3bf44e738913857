// The Win32 constants the program uses, with their Windows values. In the Win32 backend
// <windows.h> is included first and its macros take precedence (same values); everywhere
// else these definitions stand in for them.
#pragma once

#include "constants_messages.h"
#include "constants_system.h"
#include "constants_windows.h"

#include <cstdint>

// clang-format off
#define PLAT_CONST(name, value) inline constexpr std::uint32_t name = value;

#ifndef TRUE
PLAT_CONST(TRUE, 1)
#endif
#ifndef FALSE
PLAT_CONST(FALSE, 0)
#endif

#undef PLAT_CONST

// List and combo box errors are signed results.
#ifndef LB_ERR
inline constexpr std::intptr_t LB_ERR = -1;
#endif
#ifndef CB_ERR
inline constexpr std::intptr_t CB_ERR = -1;
#endif
// clang-format on

// Word helpers, as the Win32 macros compute them.
constexpr std::uint32_t loWord(std::uintptr_t v) { return static_cast<std::uint32_t>(v & 0xFFFF); }
constexpr std::uint32_t hiWord(std::uintptr_t v) { return static_cast<std::uint32_t>((v >> 16) & 0xFFFF); }
constexpr std::uintptr_t makeWParam(std::uint32_t lo, std::uint32_t hi) {
    return (static_cast<std::uintptr_t>(hi & 0xFFFF) << 16) | (lo & 0xFFFF);
}
