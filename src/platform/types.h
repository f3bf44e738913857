// Portable types of the platform seam. The program's own modules see Windows only
// through these: opaque handles, UTF-16 text and the Win32 constants they need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// All text of the program is UTF-16, as on Windows.
using String = std::u16string;
using StringArray = std::vector<String>;

// Opaque handles. Their values mean something only to the backend that issued them;
// 0 is "none" everywhere (the Win32 backend maps INVALID_HANDLE_VALUE to 0).
using Hwnd = std::uintptr_t;
using Handle = std::uintptr_t;
using HKey = std::uintptr_t;
using Module = std::uintptr_t;
using HIcon = std::uintptr_t;
using HMenu = std::uintptr_t;
using HBitmap = std::uintptr_t;

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Registry roots, with the values Windows gives them.
inline constexpr HKey HKCU = 0x80000001u;
inline constexpr HKey HKLM = 0x80000002u;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

// A 128-bit GUID in its Windows memory layout.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
    bool operator==(const Guid&) const = default;
};

// A security identifier: authority and sub-authorities, as AllocateAndInitializeSid takes them.
struct Sid {
    std::uint8_t authority[6] = {};
    std::vector<std::uint32_t> subAuthorities;
    bool operator==(const Sid&) const = default;
};

struct SidAndAttributes {
    Sid sid;
    std::uint32_t attributes = 0;
};

// Local calendar time, as strftime sees it.
struct LocalTime {
    int year = 1970; // e.g. 2026
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0, minute = 0, second = 0;
};

} // namespace plat
