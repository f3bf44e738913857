// The styles of the program's message boxes (LocalizedMessageBox). Task-modal: a box blocks
// every window of the thread, the hidden controller's included.
#pragma once

#include "constants.h"

#include <cstdint>

namespace BoxStyle {
inline constexpr std::uint32_t Error = MB_ICONERROR | MB_TASKMODAL;                  // 0x2010
inline constexpr std::uint32_t Notice = MB_ICONINFORMATION | MB_TASKMODAL;           // 0x2040
inline constexpr std::uint32_t Question = MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL; // 0x2024
// A question mark with OK alone: a pairing listing that brought nothing.
inline constexpr std::uint32_t NothingNew = MB_ICONQUESTION | MB_TASKMODAL; // 0x2020
} // namespace BoxStyle
