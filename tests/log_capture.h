// The diagnostic log as tests see it: every text the sink receives, kept in order. The log
// takes a plain function, so the store is one per test program.
#pragma once

#include "types.h"

#include <mutex>
#include <utility>
#include <vector>

namespace logcapture {

inline std::mutex lock;
inline std::vector<plat::String> texts;

// For setLogCapture: called from any thread that logs.
inline void capture(const plat::String& text) {
    std::lock_guard<std::mutex> guard(lock);
    texts.push_back(text);
}

inline std::vector<plat::String> snapshot() {
    std::lock_guard<std::mutex> guard(lock);
    return texts;
}

inline std::vector<plat::String> take() {
    std::lock_guard<std::mutex> guard(lock);
    return std::exchange(texts, {});
}

inline void clear() { take(); }

} // namespace logcapture
