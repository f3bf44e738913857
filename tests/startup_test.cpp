// Start-up on the simulated PC: the single-instance guard, the resource library, the hidden
// controller and the end of the run.
#include "Application.h"
#include "Debug.h"
#include "Globals.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "log_capture.h"
#include "resource.h"
#include "shown_texts.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

namespace {

const plat::String mutexName = u"KTRSYSTRAYAPP-0EADD176-5B47-4bcf-911D-FB76C07F75A9";
const plat::String controllerTitle = shown::controllerTitle;

std::vector<plat::String> capturedSoFar() { return logcapture::snapshot(); }

bool mentions(const std::vector<plat::String>& texts, std::u16string_view part) {
    for (const auto& t : texts)
        if (t.find(part) != plat::String::npos)
            return true;
    return false;
}

class StartupTest : public testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();

    void SetUp() override {
        pc->install();
        logcapture::clear();
        setLogCapture(&logcapture::capture);
    }

    void TearDown() override {
        EXPECT_TRUE(pc->failures().empty()) << pc->failures().front();
        // The PC ends the program's threads first; only then may their objects go.
        pc.reset();
        setLogCapture(nullptr);
        endProcessObjects();
        plat::install({});
    }

    void start() {
        pc->startProgram([] { return runProgram(); });
    }

    // Starts the program and waits until it has settled in its modal run.
    plat::Hwnd startAndSettle() {
        start();
        EXPECT_TRUE(pc->waitIdle());
        EXPECT_TRUE(pc->programRunning());
        return pc->findWindowByTitle(controllerTitle);
    }

    // Another copy's controller would be found by title; none of ours may be visible.
    void expectQuitAtOnce() {
        const auto exitCode = pc->waitForExit();
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, 0);
        EXPECT_TRUE(pc->modalHistory().empty()) << pc->screen();
        EXPECT_FALSE(mentions(capturedSoFar(), u"CKTRSystemTrayApplicationDlg"));
    }
};

TEST_F(StartupTest, SecondCopyQuitsSilentlyWhenTheMutexIsHeld) {
    pc->holdNamedMutex(mutexName);
    start();
    expectQuitAtOnce();
    EXPECT_EQ(pc->findWindowByTitle(controllerTitle), 0u);
}

TEST_F(StartupTest, CopyThatMayNotOpenTheMutexQuitsSilently) {
    pc->failNamedMutex(mutexName, ERROR_ACCESS_DENIED);
    start();
    expectQuitAtOnce();
    EXPECT_EQ(pc->findWindowByTitle(controllerTitle), 0u);
}

TEST_F(StartupTest, StaleControllerWindowMakesTheNewCopyQuitAndReleaseItsMutex) {
    const plat::Hwnd stale = pc->createForeignWindow(u"#32770", controllerTitle);
    start();
    expectQuitAtOnce();
    EXPECT_EQ(pc->findWindowByTitle(controllerTitle), stale);
    EXPECT_TRUE(pc->received(stale).empty());

    // The quitting copy must not keep the mutex: a later start would think it still runs.
    std::uint32_t lastError = 0;
    const plat::Handle mutex = plat::threads().createMutex(&mutexName, false, lastError);
    EXPECT_NE(mutex, 0u);
    EXPECT_NE(lastError, ERROR_ALREADY_EXISTS);
    plat::threads().closeHandle(mutex);
}

TEST_F(StartupTest, NormalStartRunsAHiddenControllerUntilWmClose) {
    const plat::Hwnd controller = startAndSettle();
    ASSERT_NE(controller, 0u) << pc->screen();
    EXPECT_FALSE(pc->windowVisible(controller));
    EXPECT_TRUE(pc->modalHistory().empty()) << pc->screen();

    Globals& g = globals();
    EXPECT_NE(g.resourceLibrary, 0u);
    EXPECT_EQ(fw::resourceModule(), g.resourceLibrary);
    EXPECT_EQ(g.helpFileName, u"Quorvane Auravo.chm");
    EXPECT_TRUE(g.isAdministrator); // the PC's default user is one (token rules: admin_test)

    // The mutex is held for the whole run.
    std::uint32_t lastError = 0;
    const plat::Handle mutex = plat::threads().createMutex(&mutexName, false, lastError);
    EXPECT_EQ(lastError, ERROR_ALREADY_EXISTS);
    if (mutex)
        plat::threads().closeHandle(mutex);

    // The real modal loop shows a dialog whatever its template says; a paint hides it again.
    plat::desktop().showWindow(controller, SW_SHOW);
    pc->post(controller, WM_PAINT);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_FALSE(pc->windowVisible(controller));

    ASSERT_TRUE(pc->post(controller, WM_CLOSE));
    const auto exitCode = pc->waitForExit();
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_EQ(pc->findWindowByTitle(controllerTitle), 0u);

    // The mutex went with the run.
    lastError = 0;
    const plat::Handle after = plat::threads().createMutex(&mutexName, false, lastError);
    EXPECT_NE(lastError, ERROR_ALREADY_EXISTS);
    plat::threads().closeHandle(after);
}

TEST_F(StartupTest, MissingResourceLibraryIsNoErrorTheProgramUsesItsOwnResources) {
    pc->setResourceLibraryPresent(false);
    const plat::Hwnd controller = startAndSettle();
    ASSERT_NE(controller, 0u) << pc->screen();
    EXPECT_FALSE(pc->windowVisible(controller));
    EXPECT_TRUE(pc->modalHistory().empty()) << pc->screen();
    EXPECT_EQ(globals().resourceLibrary, 0u);
    EXPECT_EQ(fw::resourceModule(), plat::resources().programModule());

    pc->post(controller, WM_CLOSE);
    EXPECT_EQ(pc->waitForExit().value_or(-1), 0);
}

TEST_F(StartupTest, SessionEndIsAnsweredAndEndsTheRunOnlyWhenItReallyEnds) {
    const plat::Hwnd controller = startAndSettle();
    ASSERT_NE(controller, 0u);

    pc->post(controller, WM_QUERYENDSESSION);
    pc->post(controller, WM_ENDSESSION, FALSE);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_TRUE(pc->programRunning());
    const auto texts = capturedSoFar();
    EXPECT_TRUE(mentions(texts, u" TRACE :CKTRSystemTrayApplicationDlg::DefWindowProc("
                                u"WM_QUERYENDSESSION) -- Method Entry."));
    EXPECT_TRUE(mentions(texts, u" TRACE :CKTRSystemTrayApplicationDlg::DefWindowProc("
                                u"WM_ENDSESSION) -- Method Entry."));

    pc->post(controller, WM_ENDSESSION, TRUE);
    EXPECT_EQ(pc->waitForExit().value_or(-1), 0);
}

TEST_F(StartupTest, LogStartsWithTheBannerAndTheFirstObjectsLine) {
    const plat::Hwnd controller = startAndSettle();
    ASSERT_NE(controller, 0u);
    pc->post(controller, WM_CLOSE);
    ASSERT_TRUE(pc->waitForExit().has_value());

    const auto texts = capturedSoFar();
    ASSERT_GE(texts.size(), 3u);

    // The banner carries the PC's local time as strftime would write it.
    const plat::LocalTime t = plat::threads().localTime();
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    char when[64];
    const std::size_t n = std::strftime(when, sizeof when, " %B %d %Y at %H:%M:%S", &tm);
    const std::string stars(68, '*');
    // The clock may pass a second boundary between the banner and this read; it is virtual
    // and only moves when something sleeps or waits, which start-up does not.
    EXPECT_EQ(texts[0], plat::fromUtf8("\n" + stars + "\nApplication Started on" +
                                       std::string(when, n) + "\n" + stars));

    // The first line is the first process-wide object's, else the controller's.
    const plat::String prefix = plat::formatText(u"%ld: TRACE :", {pc->unixTime()});
    const plat::String first = texts[1];
    EXPECT_TRUE(first == prefix + u"Inside PCINFO constructor" ||
                first == prefix + u"CKTRSystemTrayApplicationDlg::OnInitDialog -- Method Entry.")
        << plat::toUtf8(first);

    std::size_t entry = texts.size(), exit = texts.size();
    for (std::size_t i = 1; i < texts.size(); ++i) {
        EXPECT_EQ(texts[i].find(u"Application Started on"), plat::String::npos);
        if (texts[i] == prefix + u"CKTRSystemTrayApplicationDlg::OnInitDialog -- Method Entry.")
            entry = i;
        if (texts[i] == prefix + u"CKTRSystemTrayApplicationDlg::OnInitDialog -- Method Exit.")
            exit = i;
    }
    EXPECT_LT(entry, exit);
    EXPECT_LT(exit, texts.size());
}

} // namespace
