// The diagnostic log: line shape, level prefixes, the once-per-process banner.
#include "Debug.h"
#include "Globals.h"
#include "ProcessObjects.h"
#include "log_capture.h"
#include "ports.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <ctime>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A clock the test sets; the log needs nothing else of the thread port.
class FakeClock : public plat::Threads {
public:
    std::atomic<std::int64_t> now{1772694249};
    plat::LocalTime local{2026, 3, 5, 7, 4, 9};

    plat::Handle createMutex(const plat::String*, bool, std::uint32_t& lastError) override {
        lastError = 0;
        return 0;
    }
    bool releaseMutex(plat::Handle) override { return false; }
    std::uint32_t waitForSingleObject(plat::Handle, std::uint32_t) override { return WAIT_FAILED; }
    bool closeHandle(plat::Handle) override { return false; }
    plat::Handle startThread(std::function<void()>) override { return 0; }
    bool processEnding() override { return false; }
    std::int64_t timeNow() override { return now.load(); }
    plat::LocalTime localTime() override { return local; }
    std::uint64_t tickCount() override { return 0; }
    void sleep(std::uint32_t) override {}
};

std::vector<plat::String> takeCaptured() { return logcapture::take(); }

plat::String u(const std::string& s) {
    return plat::fromUtf8(s);
}

const std::string stars(68, '*');

// What strftime makes of the same local time in the C locale: the banner's oracle.
std::string strftimeBanner(const plat::LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, " %B %d %Y at %H:%M:%S", &tm);
    return "\n" + stars + "\nApplication Started on" + std::string(text, n) + "\n" + stars;
}

class LogTest : public testing::Test {
protected:
    FakeClock clock;

    void SetUp() override {
        plat::Platform bundle;
        bundle.threads = &clock;
        plat::install(bundle);
        startProcessObjects();
        // Whatever the process-wide objects logged while they were built is not this test's.
        globals().bannerWritten = false;
        takeCaptured();
        setLogCapture(&logcapture::capture);
    }

    void TearDown() override {
        setLogCapture(nullptr);
        endProcessObjects();
        plat::install({});
    }
};

TEST_F(LogTest, FirstCallWritesTheBannerThenItsLineLaterCallsOnlyTheirLine) {
    WriteLog(u"Inside PCINFO constructor", LogLevel::Trace);
    clock.now = 1772694250;
    WriteLog(u"Entering readvendorcommand thread", LogLevel::Log);

    const auto texts = takeCaptured();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], u(strftimeBanner(clock.local)));
    EXPECT_EQ(texts[1], u"1772694249: TRACE :Inside PCINFO constructor");
    EXPECT_EQ(texts[2], u"1772694250:  LOG  :Entering readvendorcommand thread");
}

TEST_F(LogTest, BannerFollowsStrftimeForEveryMonthAndPadsSmallFields) {
    for (int month = 1; month <= 12; ++month) {
        clock.local = {2014 + month, month, month * 2, month * 2 - 2, month * 5, 59 - month};
        globals().bannerWritten = false;
        WriteLog(u"x", LogLevel::Trace);
        const auto texts = takeCaptured();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0], u(strftimeBanner(clock.local))) << "month " << month;
    }
}

TEST_F(LogTest, EachLevelGetsItsEightCharacterPrefixOthersNone) {
    WriteLog(u"warm-up", LogLevel::Trace); // takes the banner out of the way
    takeCaptured();

    const struct {
        std::int32_t level;
        const char16_t* prefix;
    } cases[] = {{0, u" ERROR :"}, {1, u" TRACE :"}, {2, u"  LOG  :"},
                 {3, u""},         {-1, u""},        {INT32_MAX, u""}};
    for (const auto& c : cases) {
        WriteLog(u"Unable to open key", c.level);
        const auto texts = takeCaptured();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], plat::String(u"1772694249:") + c.prefix + u"Unable to open key")
            << "level " << c.level;
        if (*c.prefix) {
            EXPECT_EQ(std::u16string_view(c.prefix).size(), 8u);
        }
    }
}

TEST_F(LogTest, MessagesAreTakenLiterallyAndNeverTerminated) {
    WriteLog(u"warm-up", LogLevel::Trace);
    takeCaptured();

    WriteLog(u"", LogLevel::Trace);
    WriteLog(u"Flags = %d %s %ld %% %", LogLevel::Log);
    WriteLog(u"Thread Started\n", LogLevel::Trace);

    const auto texts = takeCaptured();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], u"1772694249: TRACE :");
    EXPECT_EQ(texts[1], u"1772694249:  LOG  :Flags = %d %s %ld %% %");
    EXPECT_EQ(texts[2], u"1772694249: TRACE :Thread Started\n");
}

TEST_F(LogTest, TimeFieldIsTheCurrentSecondsWithoutPadding) {
    WriteLog(u"warm-up", LogLevel::Trace);
    takeCaptured();

    for (const std::int64_t t :
         {std::int64_t{0}, std::int64_t{7}, std::int64_t{4102444800}, std::int64_t{-5}}) {
        clock.now = t;
        WriteLog(u"m", 7);
        const auto texts = takeCaptured();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], plat::formatText(u"%ld:m", {static_cast<long long>(t)}));
    }
}

TEST_F(LogTest, TraceHelpersWriteTheConventionTexts) {
    traceEntry(u"PcInfo::getPlaybackDevice");
    traceExit(u"CKTRSystemTrayApplicationDlg::OnInitDialog");
    traceExit(u"CKTRSystemTrayApplicationDlg::IPCMethod", u"Without Dongle");

    const auto texts = takeCaptured();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], u"1772694249: TRACE :PcInfo::getPlaybackDevice -- Method Entry.");
    EXPECT_EQ(texts[2], u"1772694249: TRACE :CKTRSystemTrayApplicationDlg::OnInitDialog -- "
                        u"Method Exit.");
    EXPECT_EQ(texts[3], u"1772694249: TRACE :CKTRSystemTrayApplicationDlg::IPCMethod -- "
                        u"Method Exit(Without Dongle).");
}

TEST_F(LogTest, ConcurrentFirstCallsWriteOneBanner) {
    constexpr int threadCount = 4, linesEach = 200;
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i)
        threads.emplace_back([] {
            for (int n = 0; n < linesEach; ++n)
                WriteLog(u"in readvendorcommand thread", LogLevel::Log);
        });
    for (auto& t : threads)
        t.join();

    const auto texts = takeCaptured();
    ASSERT_EQ(texts.size(), 1u + threadCount * linesEach);
    const plat::String banner = u(strftimeBanner(clock.local));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), banner), 1);
}

TEST_F(LogTest, OutOfRangeCalendarFromThePlatformStaysBounded) {
    clock.local = {-40000, 13, 250, -1, 99, 100};
    WriteLog(u"m", LogLevel::Trace);

    const auto texts = takeCaptured();
    ASSERT_EQ(texts.size(), 2u);
    const std::string banner = plat::toUtf8(texts[0]);
    EXPECT_EQ(banner.rfind("\n" + stars + "\nApplication Started on ", 0), 0u);
    EXPECT_EQ(banner.substr(banner.size() - 69), "\n" + stars);
    EXPECT_LT(banner.size(), 200u);
}

} // namespace
