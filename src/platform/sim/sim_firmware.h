// What the files of the virtual transmitter share: how it spells names, keys and bytes.
#pragma once

#include "sim_transmitter.h"

#include <cstdint>
#include <string>

namespace sim {

inline constexpr std::uint8_t kConsumerReportId = 1;

// The firmware keeps at most 32 UTF-16 code units and never half a surrogate pair.
String cutName(String name);
std::string quoted(const String& text);
const char* keyName(std::uint8_t usage);
std::string hexByte(unsigned v);

} // namespace sim
