// The command ids of the tray menus' generated items: each carries the index of its entry in
// its list. The tray menu builds the items; the controller routes their commands by range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace TrayMenuIds {
inline constexpr std::uint32_t FirstPlayer = 5000; // player k: 5000 + 100 k + device index
inline constexpr std::uint32_t PlayerStride = 100;
inline constexpr std::size_t MaxPlayers = 4;
// The last id of the last player's range: every player's items are FirstPlayer..PlayerLast.
inline constexpr std::uint32_t PlayerLast = FirstPlayer + MaxPlayers * PlayerStride - 1;
inline constexpr std::uint32_t DefaultDevice = 9000; // system default: 9000 + device index
inline constexpr std::uint32_t DefaultDeviceLast = 9100;
inline constexpr std::uint32_t Receiver = 10000; // paired device: 10000 + list index
inline constexpr std::uint32_t ReceiverLast = 10015;
} // namespace TrayMenuIds
