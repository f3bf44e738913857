// Shared by the player and key tests: a simulated PC with the run's objects and a capturing
// log, and thin recording wrappers in front of some simulated ports, for the arguments the
// simulated PC does not keep (access rights, show commands, exact key paths, read lengths).
#pragma once

#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ports.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace pptest {

inline std::mutex logLock;
inline std::vector<plat::String> logLines;

inline void captureLog(const plat::String& text) {
    std::lock_guard<std::mutex> lock(logLock);
    logLines.push_back(text);
}

// The logged lines since the last call, without the time field (prefix kept), leaving out
// the audio thread's lines, which interleave anywhere.
inline std::vector<std::string> takeLog() {
    std::lock_guard<std::mutex> lock(logLock);
    std::vector<std::string> out;
    for (const auto& line : logLines) {
        const std::size_t colon = line.find(u':');
        const plat::String message = colon == plat::String::npos ? line : line.substr(colon + 1);
        if (message.find(u"Thread") == plat::String::npos && message.find(u"Application Started") == plat::String::npos)
            out.push_back(plat::toUtf8(message));
    }
    logLines.clear();
    return out;
}

inline std::size_t countOf(const std::vector<std::string>& lines, const std::string& line) {
    std::size_t n = 0;
    for (const auto& l : lines)
        n += l == line;
    return n;
}

// Records what the program asks of processes and the shell, then lets the simulated PC
// (and its players) do it.
class RecordingProcesses final : public plat::Processes {
public:
    struct Open { std::uint32_t access; std::uint32_t processId; };
    struct Shell { plat::Hwnd owner; plat::String verb; plat::String file; std::uint32_t show; };

    explicit RecordingProcesses(plat::Processes& inner) : inner_(inner) {}

    plat::Handle openProcess(std::uint32_t access, std::uint32_t processId) override {
        opens.push_back({access, processId});
        return inner_.openProcess(access, processId);
    }
    bool terminateProcess(plat::Handle process, std::uint32_t exitCode) override {
        exitCodes.push_back(exitCode);
        return inner_.terminateProcess(process, exitCode);
    }
    bool closeHandle(plat::Handle object) override {
        ++closedHandles;
        return inner_.closeHandle(object);
    }
    plat::Handle openProcessToken() override { return inner_.openProcessToken(); }
    bool getTokenGroups(plat::Handle token, std::uint32_t bufferSize,
                        std::vector<plat::SidAndAttributes>& groups, std::uint32_t& returnLength,
                        std::uint32_t& error) override {
        return inner_.getTokenGroups(token, bufferSize, groups, returnLength, error);
    }
    bool closeToken(plat::Handle token) override { return inner_.closeToken(token); }
    std::intptr_t shellExecute(plat::Hwnd owner, const plat::String& verb, const plat::String& file,
                               std::uint32_t show) override {
        shells.push_back({owner, verb, file, show});
        return inner_.shellExecute(owner, verb, file, show);
    }
    plat::Hwnd htmlHelp(plat::Hwnd owner, const plat::String& file, std::uint32_t command,
                        std::uintptr_t data) override {
        return inner_.htmlHelp(owner, file, command, data);
    }

    std::vector<Open> opens;
    std::vector<std::uint32_t> exitCodes;
    std::vector<Shell> shells;
    int closedHandles = 0;

private:
    plat::Processes& inner_;
};

// Records every key the program opens, with its exact spelling.
class RecordingRegistry final : public plat::Registry {
public:
    struct Open { plat::HKey root; plat::String subkey; std::uint32_t access; };

    explicit RecordingRegistry(plat::Registry& inner) : inner_(inner) {}

    std::int32_t openKey(plat::HKey root, const plat::String& subkey, std::uint32_t access,
                         plat::HKey& out) override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            opens.push_back({root, subkey, access});
        }
        return inner_.openKey(root, subkey, access, out);
    }
    std::int32_t createKey(plat::HKey root, const plat::String& subkey, plat::HKey& out) override {
        return inner_.createKey(root, subkey, out);
    }
    std::int32_t queryValue(plat::HKey key, const plat::String& name, std::uint32_t* type,
                            void* data, std::uint32_t* size) override {
        return inner_.queryValue(key, name, type, data, size);
    }
    std::int32_t setValue(plat::HKey key, const plat::String& name, std::uint32_t type,
                          const void* data, std::uint32_t size) override {
        return inner_.setValue(key, name, type, data, size);
    }
    std::int32_t deleteValue(plat::HKey key, const plat::String& name) override {
        return inner_.deleteValue(key, name);
    }
    std::int32_t deleteKey(plat::HKey root, const plat::String& subkey) override {
        return inner_.deleteKey(root, subkey);
    }
    std::int32_t closeKey(plat::HKey key) override { return inner_.closeKey(key); }

    std::vector<Open> taken() {
        std::lock_guard<std::mutex> lock(lock_);
        return std::exchange(opens, {});
    }

private:
    plat::Registry& inner_;
    std::mutex lock_;
    std::vector<Open> opens;
};

// The simulated PC, the run's objects (PcInfo among them) and the log capture.
class PlayerTest : public ::testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();
    PcInfo* info = nullptr;

    void SetUp() override {
        pc->install();
        setLogCapture(&captureLog);
        info = startProcessObjects().pcInfo.get();
        ASSERT_TRUE(pc->waitIdle());
        takeLog();
    }

    void TearDown() override {
        const auto failures = pc->failures();
        EXPECT_TRUE(failures.empty()) << failures.front();
        beforeProcessEnds();
        pc->endProcess();
        pc.reset();
        plat::install({});
        setLogCapture(nullptr);
        endProcessObjects();
    }

    // Objects of the test whose threads run on the simulated PC go here.
    virtual void beforeProcessEnds() {}

    // Puts a recording wrapper in front of the simulated port.
    void recordProcesses() {
        plat::Platform bundle = plat::current();
        processes = std::make_unique<RecordingProcesses>(*bundle.processes);
        bundle.processes = processes.get();
        plat::install(bundle);
    }
    void recordRegistry() {
        plat::Platform bundle = plat::current();
        registry = std::make_unique<RecordingRegistry>(*bundle.registry);
        bundle.registry = registry.get();
        plat::install(bundle);
    }

    std::unique_ptr<RecordingProcesses> processes;
    std::unique_ptr<RecordingRegistry> registry;
};

} // namespace pptest
