// The list box and the combo box of the simulated dialog manager (sim_lists.cpp).
#pragma once

#include "sim_world.h"

namespace sim {

// Texts arrive as const char16_t* in lParam; a null pointer reads as empty.
String textFrom(LParam lParam);

// A list box's or combo box's answer to a message; `list` tells which of the two it is.
LResult listControlProc(Window& control, bool list, std::uint32_t msg, WParam wParam,
                        LParam lParam);

} // namespace sim
