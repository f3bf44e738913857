// Shared by the transmitter tests: a simulated PC with a capturing log, torn down in the
// order the link needs (the program's threads end, then the link goes while its platform
// still exists, then the PC).
#pragma once

#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace txtest {

inline std::mutex logLock;
inline std::vector<plat::String> logLines;

inline void captureLog(const plat::String& text) {
    std::lock_guard<std::mutex> lock(logLock);
    logLines.push_back(text);
}

// Lines that end with `message` (the time field and level prefix come first).
inline std::size_t logged(std::u16string_view message) {
    std::lock_guard<std::mutex> lock(logLock);
    std::size_t n = 0;
    for (const auto& line : logLines)
        n += line.ends_with(message);
    return n;
}

// The messages of the lines logged since the last call, without time field or prefix.
inline std::vector<std::string> takeLog() {
    std::lock_guard<std::mutex> lock(logLock);
    std::vector<std::string> out;
    for (const auto& line : logLines) {
        const std::size_t colon = line.find(u':');
        out.push_back(plat::toUtf8(colon == plat::String::npos ? line : line.substr(colon + 9)));
    }
    logLines.clear();
    return out;
}

// Each part is found in a later line than the one before it.
inline ::testing::AssertionResult inOrder(const std::vector<std::string>& lines,
                                          const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const auto& part : parts) {
        while (at < lines.size() && lines[at].find(part) == std::string::npos)
            ++at;
        if (at == lines.size()) {
            std::string all;
            for (const auto& l : lines)
                all += "  " + l + "\n";
            return ::testing::AssertionFailure() << "\"" << part << "\" not in order in:\n" << all;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

inline sim::DeviceAddress address(std::uint8_t last) {
    return {0x00, 0x0B, 0x7A, 0x01, 0x00, last};
}

// Newest first, as the transmitter stores them.
inline std::vector<sim::PairedDevice> threeDevices() {
    return {{u"Kitchen", address(3)}, {u"Bedroom", address(2)}, {u"Office", address(1)}};
}

class SimTest : public ::testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();

    void SetUp() override {
        pc->install();
        {
            std::lock_guard<std::mutex> lock(logLock);
            logLines.clear();
        }
        setLogCapture(&captureLog);
    }

    void TearDown() override {
        const auto failures = pc->failures();
        EXPECT_TRUE(failures.empty()) << failures.front();
        pc->endProcess();
        if (Globals* g = currentGlobals()) {
            delete std::exchange(g->vendorLink, nullptr);
            delete std::exchange(g->keyForwarder, nullptr);
        }
        releaseObjects();
        pc.reset();
        plat::install({});
        setLogCapture(nullptr);
        endProcessObjects();
    }

    // Objects of the test that use the platform; they go after the program's threads.
    virtual void releaseObjects() {}
};

} // namespace txtest
