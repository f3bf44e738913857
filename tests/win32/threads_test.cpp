// The threads-and-clock port: what the single-instance guard and the program's threads rely on.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace {

TEST(ThreadsPort, NamedMutexReportsAnExistingOne) {
    plat::Threads& threads = plat::threads();
    const plat::String name = qa_test::u16(qa_test::uniqueName(L"QA-single-instance"));

    std::uint32_t error = 99;
    const plat::Handle first = threads.createMutex(&name, false, error);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(error, ERROR_SUCCESS);

    const plat::Handle second = threads.createMutex(&name, false, error);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(error, ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(threads.closeHandle(second));
    EXPECT_TRUE(threads.closeHandle(first));

    // Gone with its last handle: the next copy is the first again.
    const plat::Handle third = threads.createMutex(&name, false, error);
    ASSERT_NE(third, 0u);
    EXPECT_EQ(error, ERROR_SUCCESS);
    EXPECT_TRUE(threads.closeHandle(third));
}

TEST(ThreadsPort, UnnamedMutexIsOwnedByTheThreadThatWaited) {
    plat::Threads& threads = plat::threads();
    std::uint32_t error = 0;
    const plat::Handle mutex = threads.createMutex(nullptr, false, error);
    ASSERT_NE(mutex, 0u);
    ASSERT_EQ(threads.waitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    std::uint32_t otherWait = 0;
    bool otherRelease = true;
    const plat::Handle other = threads.startThread([&] {
        otherWait = threads.waitForSingleObject(mutex, 0);
        otherRelease = threads.releaseMutex(mutex);
    });
    ASSERT_NE(other, 0u);
    ASSERT_EQ(threads.waitForSingleObject(other, qa_test::kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(otherWait, WAIT_TIMEOUT);
    EXPECT_FALSE(otherRelease);

    EXPECT_TRUE(threads.releaseMutex(mutex));
    EXPECT_TRUE(threads.closeHandle(other));
    EXPECT_TRUE(threads.closeHandle(mutex));
}

TEST(ThreadsPort, ThreadHandleIsSignalledWhenTheBodyReturns) {
    plat::Threads& threads = plat::threads();
    plat::win32::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    DWORD bodyThread = 0;
    const plat::Handle thread = threads.startThread([&] {
        bodyThread = ::GetCurrentThreadId();
        ::WaitForSingleObject(release.get(), qa_test::kWaitMs);
    });
    ASSERT_NE(thread, 0u);
    EXPECT_EQ(threads.waitForSingleObject(thread, 0), WAIT_TIMEOUT);
    ::SetEvent(release.get());
    ASSERT_EQ(threads.waitForSingleObject(thread, qa_test::kWaitMs), WAIT_OBJECT_0);
    EXPECT_NE(bodyThread, 0u);
    EXPECT_NE(bodyThread, ::GetCurrentThreadId());
    EXPECT_TRUE(threads.closeHandle(thread));
    EXPECT_FALSE(threads.processEnding());
}

TEST(ThreadsPort, ClockAgreesWithTheSystemTime) {
    plat::Threads& threads = plat::threads();
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks100ns = (ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const long long unixSeconds =
        static_cast<long long>((ticks100ns - 116444736000000000ULL) / 10000000ULL);
    EXPECT_NEAR(static_cast<double>(threads.timeNow()), static_cast<double>(unixSeconds), 5.0);

    const plat::LocalTime local = threads.localTime();
    SYSTEMTIME system;
    ::GetLocalTime(&system);
    EXPECT_EQ(local.year, system.wYear);
    EXPECT_GE(local.month, 1);
    EXPECT_LE(local.month, 12);

    // The tick count is coarse (Wine's advances in steps of about 16 ms): compare it with
    // the performance counter over the sleep, not with the sleep's nominal length.
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const std::uint64_t before = threads.tickCount();
    threads.sleep(50);
    const std::uint64_t ticks = threads.tickCount() - before;
    ::QueryPerformanceCounter(&end);
    const double elapsedMs =
        1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    EXPECT_GE(elapsedMs, 45.0);
    EXPECT_NEAR(static_cast<double>(ticks), elapsedMs, 35.0);
}

} // namespace
