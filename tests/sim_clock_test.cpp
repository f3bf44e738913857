// Threads, mutexes and the virtual clock of the simulated PC: long waits cost no real time,
// background threads see time pass in order, and idle detection is exact.
#include "sim_pc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

class SimClock : public testing::Test {
protected:
    sim::SimPc pc;
    void SetUp() override { pc.install(); }
    void TearDown() override { pc.endProcess(); }
    plat::Threads& threads() { return plat::threads(); }
};

TEST_F(SimClock, StartsAtTheFixedMomentInUtc) {
    EXPECT_EQ(threads().timeNow(), 1796623200); // 2026-12-07 06:00:00 UTC
    EXPECT_EQ(threads().tickCount(), 0u);
    const plat::LocalTime t = threads().localTime();
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 7);
    EXPECT_EQ(t.hour, 6);

    pc.advance(26u * 86400u * 1000u + 61500u); // across the turn of the year
    const plat::LocalTime later = threads().localTime();
    EXPECT_EQ(later.year, 2027);
    EXPECT_EQ(later.month, 1);
    EXPECT_EQ(later.day, 2);
    EXPECT_EQ(later.hour, 6);
    EXPECT_EQ(later.minute, 1);
    EXPECT_EQ(later.second, 1);
    EXPECT_EQ(pc.unixTime(), threads().timeNow());
}

TEST_F(SimClock, AProgramThreadSleepOfThirtySecondsTakesNoRealTime) {
    const auto start = std::chrono::steady_clock::now();
    pc.startProgram([] {
        plat::threads().sleep(30000);
        return static_cast<int>(plat::threads().tickCount());
    });
    EXPECT_EQ(pc.waitForExit(), 30000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(SimClock, BackgroundThreadsSeeEveryStepWhileTheProgramSleeps) {
    std::mutex lock;
    std::vector<std::uint64_t> passes;
    pc.startProgram([&] {
        const plat::Handle loop = plat::threads().startThread([&] {
            while (!plat::threads().processEnding()) {
                plat::threads().sleep(1000);
                std::lock_guard<std::mutex> guard(lock);
                passes.push_back(plat::threads().tickCount());
            }
        });
        plat::threads().sleep(5500);
        plat::threads().closeHandle(loop);
        std::lock_guard<std::mutex> guard(lock);
        return static_cast<int>(passes.size());
    });
    // Every pass due before the sleep ended has run by the time the sleep returns.
    EXPECT_EQ(pc.waitForExit(), 5);
    pc.endProcess();
    ASSERT_GE(passes.size(), 5u);
    EXPECT_EQ(std::vector<std::uint64_t>(passes.begin(), passes.begin() + 5),
              (std::vector<std::uint64_t>{1000, 2000, 3000, 4000, 5000}));
}

TEST_F(SimClock, ABackgroundSleeperWakesExactlyWhenTimePassesIt) {
    std::atomic<std::uint64_t> wokeAt{0};
    const plat::Handle sleeper = threads().startThread([&] {
        plat::threads().sleep(5000);
        wokeAt = plat::threads().tickCount();
    });
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_EQ(threads().waitForSingleObject(sleeper, 0), WAIT_TIMEOUT);
    pc.advance(4999);
    EXPECT_EQ(wokeAt.load(), 0u);
    pc.advance(1);
    EXPECT_EQ(wokeAt.load(), 5000u);
    EXPECT_EQ(threads().waitForSingleObject(sleeper, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(threads().closeHandle(sleeper));
    EXPECT_FALSE(threads().closeHandle(sleeper));
}

TEST_F(SimClock, TimedWaitsOfTheProgramMoveTheClockAndEndEarlyWhenSignalled) {
    std::vector<std::uint32_t> results;
    std::vector<std::uint64_t> ticks;
    pc.startProgram([&] {
        const plat::Handle worker =
            plat::threads().startThread([] { plat::threads().sleep(2000); });
        results.push_back(plat::threads().waitForSingleObject(worker, 500));
        ticks.push_back(plat::threads().tickCount());
        results.push_back(plat::threads().waitForSingleObject(worker, 10000));
        ticks.push_back(plat::threads().tickCount());
        plat::threads().closeHandle(worker);
        return 0;
    });
    ASSERT_EQ(pc.waitForExit(), 0);
    EXPECT_EQ(results, (std::vector<std::uint32_t>{WAIT_TIMEOUT, WAIT_OBJECT_0}));
    EXPECT_EQ(ticks, (std::vector<std::uint64_t>{500, 2000}));
}

TEST_F(SimClock, NamedMutexesAreSharedByNameAndFreedWithTheirLastHandle) {
    const plat::String name = u"KTRSYSTRAYAPP-0EADD176-5B47-4bcf-911D-FB76C07F75A9";
    std::uint32_t error = 99;
    const plat::Handle first = threads().createMutex(&name, false, error);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(error, ERROR_SUCCESS);
    const plat::Handle second = threads().createMutex(&name, false, error);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_EQ(error, ERROR_ALREADY_EXISTS);

    const plat::String otherCase = u"ktrsystrayapp-0eadd176-5b47-4bcf-911d-fb76c07f75a9";
    const plat::Handle distinct = threads().createMutex(&otherCase, false, error);
    EXPECT_EQ(error, ERROR_SUCCESS) << "kernel object names are case-sensitive";
    threads().closeHandle(distinct);

    threads().closeHandle(first);
    threads().closeHandle(second);
    const plat::Handle fresh = threads().createMutex(&name, false, error);
    EXPECT_EQ(error, ERROR_SUCCESS);
    threads().closeHandle(fresh);

    pc.holdNamedMutex(name);
    const plat::Handle held = threads().createMutex(&name, false, error);
    EXPECT_NE(held, 0u);
    EXPECT_EQ(error, ERROR_ALREADY_EXISTS);
    threads().closeHandle(held);
    pc.releaseNamedMutex(name);

    pc.failNamedMutex(name, ERROR_ACCESS_DENIED);
    EXPECT_EQ(threads().createMutex(&name, false, error), 0u);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    const plat::Handle afterFailure = threads().createMutex(&name, false, error);
    EXPECT_EQ(error, ERROR_SUCCESS) << "the failure is for the next call only";
    threads().closeHandle(afterFailure);
}

TEST_F(SimClock, AMutexIsOwnedByOneThreadAndAbandonedWhenItsOwnerEnds) {
    std::uint32_t error = 0;
    const plat::Handle mutex = threads().createMutex(nullptr, true, error);
    std::atomic<std::uint32_t> waited{12345};
    std::atomic<bool> releasedByOther{true};
    const plat::Handle waiter = threads().startThread([&] {
        releasedByOther = plat::threads().releaseMutex(mutex);
        waited = plat::threads().waitForSingleObject(mutex, INFINITE);
        // Ends still owning it.
    });
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_FALSE(releasedByOther.load()) << "only the owner may release";
    EXPECT_EQ(waited.load(), 12345u) << "blocked while the test thread owns it";

    EXPECT_TRUE(threads().releaseMutex(mutex));
    EXPECT_EQ(threads().waitForSingleObject(waiter, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(waited.load(), WAIT_OBJECT_0);
    EXPECT_EQ(threads().waitForSingleObject(mutex, 0), WAIT_ABANDONED);
    EXPECT_EQ(threads().waitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "recursive for its owner";
    EXPECT_TRUE(threads().releaseMutex(mutex));
    EXPECT_TRUE(threads().releaseMutex(mutex));
    EXPECT_FALSE(threads().releaseMutex(mutex));
    EXPECT_EQ(threads().waitForSingleObject(0xDEAD, 0), WAIT_FAILED);
    threads().closeHandle(waiter);
    threads().closeHandle(mutex);
}

TEST_F(SimClock, IdleMeansEveryThreadIsBlockedAndATimeOutIsReported) {
    std::vector<std::string> reported;
    std::mutex lock;
    pc.setFailureHandler([&](const std::string& m) {
        std::lock_guard<std::mutex> guard(lock);
        reported.push_back(m);
    });
    std::atomic<bool> release{false};
    const plat::Handle busy = threads().startThread([&] {
        while (!release)
            std::this_thread::yield(); // running outside the seam: never idle
    });
    EXPECT_FALSE(pc.waitIdle(50ms));
    {
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_NE(reported[0].find("not idle"), std::string::npos) << reported[0];
    }
    release = true;
    EXPECT_TRUE(pc.waitIdle());
    threads().closeHandle(busy);
}

TEST_F(SimClock, EndingTheProcessWakesEndlessLoopsAndJoinsThem) {
    std::atomic<int> passes{0};
    const plat::Handle loop = threads().startThread([&] {
        while (!plat::threads().processEnding()) {
            ++passes;
            plat::threads().sleep(1000);
        }
    });
    ASSERT_TRUE(pc.waitIdle());
    pc.advance(3000);
    EXPECT_EQ(passes.load(), 4);
    EXPECT_FALSE(threads().processEnding());
    pc.endProcess(5s);
    EXPECT_TRUE(threads().processEnding());
    EXPECT_EQ(threads().waitForSingleObject(loop, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(pc.failures().empty());
}

// A dialog on the program's thread that counts its timers' ticks.
class TimerDialog : public plat::DialogTarget {
public:
    std::vector<std::pair<std::uintptr_t, std::uint64_t>> ticks;
    bool killSecondOnFirstTick = false;

    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam, plat::LParam,
                       plat::LResult& result) override {
        result = 0;
        if (msg == WM_INITDIALOG) {
            plat::desktop().setTimer(window, 1, 300);
            plat::desktop().setTimer(window, 2, killSecondOnFirstTick ? 300 : 100);
            return true;
        }
        if (msg != WM_TIMER)
            return false;
        ticks.emplace_back(wParam, plat::threads().tickCount());
        if (killSecondOnFirstTick && wParam == 1)
            plat::desktop().killTimer(window, 2);
        if (ticks.size() == (killSecondOnFirstTick ? 2u : 8u))
            plat::ui().endDialog(window, 7);
        return true;
    }
};

TEST_F(SimClock, TimersTickInTheOwnersQueueInOrderOfVirtualTime) {
    TimerDialog dialog;
    pc.startProgram([&] {
        return static_cast<int>(
            plat::ui().dialogBox(plat::resources().programModule(), 101, 0, &dialog));
    });
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_TRUE(pc.programRunning());
    pc.advance(599);
    EXPECT_TRUE(pc.programRunning());
    pc.advance(1);
    ASSERT_EQ(pc.waitForExit(), 7);
    using Tick = std::pair<std::uintptr_t, std::uint64_t>;
    EXPECT_EQ(dialog.ticks,
              (std::vector<Tick>{
                  {2, 100}, {2, 200}, {1, 300}, {2, 300}, {2, 400}, {2, 500}, {1, 600}, {2, 600}}));
}

TEST_F(SimClock, AKilledTimersTickNeverArrivesEvenWhenAlreadyDue) {
    TimerDialog dialog;
    dialog.killSecondOnFirstTick = true;
    pc.startProgram([&] {
        return static_cast<int>(
            plat::ui().dialogBox(plat::resources().programModule(), 101, 0, &dialog));
    });
    ASSERT_TRUE(pc.waitIdle());
    pc.advance(600);
    ASSERT_EQ(pc.waitForExit(), 7);
    using Tick = std::pair<std::uintptr_t, std::uint64_t>;
    EXPECT_EQ(dialog.ticks, (std::vector<Tick>{{1, 300}, {1, 600}}));
}

TEST_F(SimClock, TimersCanBeMadeToFail) {
    const plat::Hwnd window = pc.createForeignWindow(u"Other", u"Other");
    EXPECT_EQ(plat::desktop().setTimer(window, 1, 100), 0u) << "another program's window";
    pc.setTimersFail(true);
    TimerDialog dialog;
    pc.startProgram([&] {
        return static_cast<int>(
            plat::ui().dialogBox(plat::resources().programModule(), 101, 0, &dialog));
    });
    ASSERT_TRUE(pc.waitIdle());
    pc.advance(1000);
    EXPECT_TRUE(dialog.ticks.empty());
    pc.endProcess();
}

} // namespace
