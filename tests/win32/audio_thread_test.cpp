// The audio-device thread against Wine's dsound.dll and winmm: its body runs one whole pass
// on a thread of the test (the sleep recorded rather than slept, the loop left after the
// pass), and the table it leaves agrees with what the same enumeration reports.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "AudioDevices.h"
#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ProcessObjects.h"
#include "shown_texts.h"
#include "text.h"
#include "win32_test_support.h"

namespace {

std::mutex linesLock;
std::vector<plat::String> lines;

// The thread that runs the test's pass. Audio threads that earlier tests' runs started in this
// process never end (as in the product): they go on in the background, take their ports and
// log from what is installed now, and must neither count nor be counted here.
std::atomic<std::thread::id> passThread;

bool onPassThread() {
    return std::this_thread::get_id() == passThread.load();
}

void capture(const plat::String& text) {
    if (!onPassThread())
        return;
    std::lock_guard<std::mutex> lock(linesLock);
    lines.push_back(text);
}

// The real threads port, except that no thread is started (the test runs the body itself) and
// that on the pass thread sleeps are recorded instead of slept and the process "ends" once one
// pass is over.
class OnePassThreads final : public plat::Threads {
public:
    explicit OnePassThreads(plat::Threads& inner) : inner_(inner) {}

    plat::Handle createMutex(const plat::String* name, bool initialOwner,
                             std::uint32_t& lastError) override {
        return inner_.createMutex(name, initialOwner, lastError);
    }
    bool releaseMutex(plat::Handle mutex) override { return inner_.releaseMutex(mutex); }
    std::uint32_t waitForSingleObject(plat::Handle object, std::uint32_t ms) override {
        return inner_.waitForSingleObject(object, ms);
    }
    bool closeHandle(plat::Handle object) override { return inner_.closeHandle(object); }
    plat::Handle startThread(std::function<void()>) override {
        ++threadsAsked;
        return 0;
    }
    bool processEnding() override {
        return onPassThread() ? checks++ > 0 : inner_.processEnding();
    }
    std::int64_t timeNow() override { return inner_.timeNow(); }
    plat::LocalTime localTime() override { return inner_.localTime(); }
    std::uint64_t tickCount() override { return inner_.tickCount(); }
    void sleep(std::uint32_t ms) override {
        if (onPassThread())
            sleeps.push_back(ms);
        else
            inner_.sleep(ms);
    }

    int threadsAsked = 0;
    int checks = 0;
    std::vector<std::uint32_t> sleeps;

private:
    plat::Threads& inner_;
};

TEST(AudioThread, OnePassAgainstWineFillsTheTableAsTheEnumerationReports) {
    const plat::Platform real = plat::current();
    OnePassThreads threads(*real.threads);
    plat::Platform bundle = real;
    bundle.threads = &threads;
    plat::install(bundle);
    setLogCapture(&capture);

    startProcessObjects();
    EXPECT_EQ(threads.threadsAsked, 1); // the PcInfo constructor's
    // On a thread of its own, as in the program: it enters the multithreaded apartment.
    std::thread([] {
        passThread = std::this_thread::get_id();
        audioDeviceThread();
    }).join();

    // What the enumeration itself reports, for comparison.
    const auto records = qa_test::directSoundRecords();
    const std::uint32_t mixers = plat::audio().mixerGetNumDevs();
    // The machine differs between Wine set-ups (often no device at all): say what it had.
    std::printf("Wine reports %u mixer(s) and %zu DirectSound record(s)\n",
                static_cast<unsigned>(mixers), records.size());

    EXPECT_EQ(audioDeviceCount(), static_cast<std::int32_t>(std::min<std::uint32_t>(mixers, 99)));
    AudioDeviceEntry entry;
    readDeviceEntry(0, entry);
    EXPECT_EQ(entry.name, shown::defaultAudioDevice);
    EXPECT_EQ(entry.guid, u"{00000000-0000-0000-0000-000000000000}");
    // Wine leaves the records' type, data flow and wave device id uninitialised, so which
    // entries a pass fills is Wine's chance; each it filled comes from a record, and no null
    // sink is taken for the transmitter.
    for (int i = 1; i < 99; ++i) {
        readDeviceEntry(i, entry);
        if (entry.guid.empty())
            continue;
        EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const auto& r) {
            return guidText(r.deviceId) == entry.guid;
        })) << i;
        EXPECT_FALSE(entry.name.empty());
        EXPECT_EQ(entry.name.find(u"Quorvane Auravo"), plat::String::npos);
        EXPECT_EQ(entry.waveId, static_cast<std::uint32_t>(i - 1));
    }

    // One whole pass: no set-up failure, then its sleep of one second.
    setLogCapture(nullptr);
    std::vector<plat::String> messages;
    {
        std::lock_guard<std::mutex> lock(linesLock);
        for (const auto& line : lines) {
            const auto colon = line.find(u':');
            messages.push_back(colon == plat::String::npos ? line : line.substr(colon + 1));
        }
    }
    const auto has = [&](const plat::String& m) {
        return std::find(messages.begin(), messages.end(), m) != messages.end();
    };
    EXPECT_TRUE(has(u" TRACE :Thread Started\n"));
    EXPECT_TRUE(has(u" TRACE :Thread Running\n"));
    EXPECT_TRUE(has(u" TRACE :Audio Thread Going to sleep\n"));
    EXPECT_TRUE(has(u" TRACE :Audio Thread coming out of sleep\n"));
    for (const auto& m : messages)
        EXPECT_EQ(m.find(u" ERROR :"), plat::String::npos) << plat::toNarrow(m);
    EXPECT_EQ(static_cast<std::size_t>(std::count(messages.begin(), messages.end(),
                                                  plat::String(u" TRACE :In callback"))),
              records.size());
    EXPECT_EQ(threads.sleeps, std::vector<std::uint32_t>{1000});
    EXPECT_EQ(threads.checks, 2);

    plat::install(real);
    endProcessObjects();
}

} // namespace
