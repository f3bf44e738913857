// The styles of the program's message boxes (LocalizedMessageBox). Task-modal: a box blocks
// every window of the thread, the hidden controller's included.
#pragma once

#include "constants.h"

#include <cstdint>

namespace BoxStyle {
inline constexpr std::uint32_t Error = MB_ICONERROR | MB_TASKMODAL;                  // 0x2010
inline constexpr std::uint32_t Notice = MB_ICONINFORMATION | MB_TASKMODAL;           // 0x2040
inline constexpr std::uint32_t Question = MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL; // 0x2024
// The same question modal to its owner alone: iTunes' restart question.
inline constexpr std::uint32_t OwnedQuestion = MB_YESNO | MB_ICONQUESTION; // 0x24
// A question mark with OK alone: a pairing listing that brought nothing.
inline constexpr std::uint32_t NothingNew = MB_ICONQUESTION | MB_TASKMODAL; // 0x2020
// No icon, modal to its owner alone: the database dump, and "No new device found" after a wait
// that Add Device started (no owner).
inline constexpr std::uint32_t Plain = MB_OK; // 0
// No icon, task-modal: "No new device found" after a wait that the transmitter's own button
// started, over the settings sheet.
inline constexpr std::uint32_t PlainTaskModal = MB_TASKMODAL; // 0x2000
} // namespace BoxStyle
