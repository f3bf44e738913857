// The diagnostic log: every class of the program traces its work through WriteLog, which
// formats a timestamped line and hands it to the sink, Debug. The product's sink discards
// everything; nothing at run time can switch output on.
#pragma once

#include "types.h"

#include <cstdint>
#include <string_view>

namespace LogLevel {
inline constexpr std::int32_t Error = 0;
inline constexpr std::int32_t Trace = 1;
inline constexpr std::int32_t Log = 2;
} // namespace LogLevel

// Writes the start banner on the first call of the process, then "<time>:<prefix><message>".
// `message` is plain text, never a format; no line terminator is added.
void WriteLog(plat::String message, std::int32_t level);

// The sink. One is created per WriteLog call; it holds no state.
class Debug {
public:
    virtual ~Debug() = default;
    void write(plat::String text);
};

// Method tracing at level Trace: "<name> -- Method Entry.", "<name> -- Method Exit." and,
// for an exit by a particular path, "<name> -- Method Exit(<reason>).".
void traceEntry(std::u16string_view name);
void traceExit(std::u16string_view name);
void traceExit(std::u16string_view name, std::u16string_view reason);

// Test hook: every text the sink receives (the banner, then each line) is also handed to
// `capture`, which must be safe to call from any thread. Only test code sets it; null, the
// product's state, discards.
using LogCapture = void (*)(const plat::String& text);
void setLogCapture(LogCapture capture);
