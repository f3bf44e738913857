// Shared by the player and key tests: a simulated PC with the run's objects and a capturing
// log, and recording wrappers in front of simulated ports for what the simulated PC does not
// keep (access rights, show commands, the exact spelling of key paths).
#pragma once

#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ProcessObjects.h"
#include "ports.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pptest {

inline std::mutex logLock;
inline std::vector<plat::String> logLines;
// Only the test's own thread's lines are kept: the audio and key threads log at any time.
inline std::thread::id logThread;

inline void captureLog(const plat::String& text) {
    if (std::this_thread::get_id() != logThread)
        return;
    std::lock_guard<std::mutex> lock(logLock);
    logLines.push_back(text);
}

// The lines the test's thread logged since the last call, without the time field.
inline std::vector<std::string> takeLog() {
    std::lock_guard<std::mutex> lock(logLock);
    std::vector<std::string> out;
    for (const auto& line : std::exchange(logLines, {}))
        out.push_back(plat::toUtf8(line.substr(line.find(u':') + 1)));
    return out;
}

inline std::size_t countOf(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

class RecordingProcesses final : public plat::Processes {
public:
    struct Shell { plat::Hwnd owner; plat::String verb, file; std::uint32_t show; };
    explicit RecordingProcesses(plat::Processes& inner) : in(inner) {}

    plat::Handle openProcess(std::uint32_t access, std::uint32_t pid) override {
        accesses.push_back(access);
        return in.openProcess(access, pid);
    }
    bool terminateProcess(plat::Handle process, std::uint32_t exitCode) override {
        exitCodes.push_back(exitCode);
        return in.terminateProcess(process, exitCode);
    }
    bool closeHandle(plat::Handle object) override { return ++closed, in.closeHandle(object); }
    plat::Handle openProcessToken() override { return in.openProcessToken(); }
    bool getTokenGroups(plat::Handle t, std::uint32_t size, std::vector<plat::SidAndAttributes>& g,
                        std::uint32_t& length, std::uint32_t& error) override {
        return in.getTokenGroups(t, size, g, length, error);
    }
    bool closeToken(plat::Handle token) override { return in.closeToken(token); }
    std::intptr_t shellExecute(plat::Hwnd owner, const plat::String& verb, const plat::String& file,
                               std::uint32_t show) override {
        shells.push_back({owner, verb, file, show});
        return in.shellExecute(owner, verb, file, show);
    }
    plat::Hwnd htmlHelp(plat::Hwnd o, const plat::String& f, std::uint32_t c, std::uintptr_t d) override {
        return in.htmlHelp(o, f, c, d);
    }

    std::vector<std::uint32_t> accesses, exitCodes;
    std::vector<Shell> shells;
    int closed = 0;

private:
    plat::Processes& in;
};

// Records every key opened, as spelled, with its root. Used on the test thread only.
class RecordingRegistry final : public plat::Registry {
public:
    using Key = std::pair<plat::HKey, plat::String>;
    explicit RecordingRegistry(plat::Registry& inner) : in(inner) {}

    std::int32_t openKey(plat::HKey root, const plat::String& key, std::uint32_t access,
                         plat::HKey& out) override {
        opened.emplace_back(root, key);
        accesses.push_back(access);
        return in.openKey(root, key, access, out);
    }
    std::int32_t createKey(plat::HKey r, const plat::String& k, plat::HKey& out) override {
        return in.createKey(r, k, out);
    }
    std::int32_t queryValue(plat::HKey k, const plat::String& n, std::uint32_t* t, void* d,
                            std::uint32_t* s) override {
        return in.queryValue(k, n, t, d, s);
    }
    std::int32_t setValue(plat::HKey k, const plat::String& n, std::uint32_t t, const void* d,
                          std::uint32_t s) override {
        return in.setValue(k, n, t, d, s);
    }
    std::int32_t deleteValue(plat::HKey k, const plat::String& n) override { return in.deleteValue(k, n); }
    std::int32_t deleteKey(plat::HKey r, const plat::String& k) override { return in.deleteKey(r, k); }
    std::int32_t closeKey(plat::HKey key) override { return in.closeKey(key); }

    std::vector<Key> opened;
    std::vector<std::uint32_t> accesses;

private:
    plat::Registry& in;
};

class PlayerTest : public ::testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();
    PcInfo* info = nullptr;

    void SetUp() override {
        logThread = std::this_thread::get_id();
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

    // Objects of the test with threads on the simulated PC go here.
    virtual void beforeProcessEnds() {}

    void install(const plat::String& name, sim::PlayerRoots roots = sim::PlayerRoots::CurrentUser,
                 bool running = false) {
        sim::PlayerConfig config;
        config.name = name;
        config.roots = roots;
        config.running = running;
        ASSERT_TRUE(pc->installPlayer(config));
    }

    // Puts a wrapper in front of one simulated port.
    template <class Wrapper, class Port>
    Wrapper& wrap(Port* plat::Platform::*slot) {
        plat::Platform bundle = plat::current();
        auto wrapper = std::make_shared<Wrapper>(*(bundle.*slot));
        wrappers.push_back(wrapper);
        bundle.*slot = wrapper.get();
        plat::install(bundle);
        return *wrapper;
    }

    std::vector<std::shared_ptr<void>> wrappers;
};

} // namespace pptest
