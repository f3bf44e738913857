// The preferences store on the simulated PC: registry operations, their error texts and
// log lines, and the two preferences with their opposite defaults.
#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ProcessObjects.h"
#include "log_capture.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

namespace {

const plat::String prefs = kPreferencesKey;


class PcInfoTest : public testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();
    PcInfo* info = nullptr;

    void SetUp() override {
        pc->install();
        setLogCapture(&logcapture::capture);
        info = startProcessObjects().pcInfo.get();
        clearLog();
    }

    void TearDown() override {
        pc.reset();
        plat::install({});
        setLogCapture(nullptr);
        endProcessObjects();
    }

    static void clearLog() {
        logcapture::clear();
    }

    // The logged messages without their time field, in order: PcInfo's own trace lines and
    // every error. The audio thread's trace lines (its passes, the device table) are left
    // out: they interleave at any point.
    static std::vector<plat::String> messages() {
        std::vector<plat::String> out;
        for (const auto& line : logcapture::snapshot()) {
            const auto colon = line.find(u':');
            plat::String message = colon == plat::String::npos ? line : line.substr(colon + 1);
            if (message.starts_with(u" TRACE :PcInfo::") || message.starts_with(u" ERROR :"))
                out.push_back(message);
        }
        return out;
    }

    static std::size_t count(const plat::String& message) {
        std::size_t n = 0;
        for (const auto& m : messages())
            n += m == message;
        return n;
    }
};

TEST_F(PcInfoTest, ConstructionMakesTheFirstLogCallAndStartsTheAudioThread) {
    // A fresh run: the banner and then the constructor's line come first.
    pc.reset();
    plat::install({});
    endProcessObjects();
    pc = std::make_unique<sim::SimPc>();
    pc->install();
    clearLog();
    PcInfo& fresh = *startProcessObjects().pcInfo;
    ASSERT_TRUE(pc->waitIdle());

    const std::vector<plat::String> lines = logcapture::snapshot();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].find(u"\nApplication Started on"), 69u);
    EXPECT_NE(lines[1].find(u":" u" TRACE :Inside PCINFO constructor"), plat::String::npos);
    bool threadStarted = false;
    for (const auto& line : lines)
        threadStarted = threadStarted || line.ends_with(u" TRACE :Thread Started\n");
    EXPECT_TRUE(threadStarted);
    EXPECT_NE(fresh.audioDeviceMutex, 0u);
    EXPECT_NE(fresh.audioThreadHandle, 0u);
}

TEST_F(PcInfoTest, WithoutThePreferencesKeyTheIconIsShownAndTheAdvancedMenuOff) {
    const plat::String openError = u" ERROR :Error Opening Key(" + prefs + u")";
    EXPECT_EQ(info->getTrayIconState(), 1);
    EXPECT_EQ(count(openError), 1u);
    EXPECT_EQ(info->getAdvancedMenuState(), 0);
    EXPECT_EQ(count(openError), 2u);
    EXPECT_EQ(info->lastError(), u"Error Opening Key(" + prefs + u")");

    const std::vector<plat::String> expected = {
        u" TRACE :PcInfo::getTrayIconState -- Method Entry.",
        u" TRACE :PcInfo::getRegVal(String) -- Method Entry.",
        openError,
        u" TRACE :PcInfo::getRegVal(String) -- Method Exit.",
        u" TRACE :PcInfo::getTrayIconState -- Method Exit.",
    };
    const auto logged = messages();
    ASSERT_GE(logged.size(), expected.size());
    EXPECT_EQ(std::vector<plat::String>(logged.begin(), logged.begin() + 5), expected);
}

TEST_F(PcInfoTest, OnlyTheExactWordsChangeThePreferences) {
    struct Case {
        const char16_t* stored;
        int icon;
        int menu;
    };
    const Case cases[] = {
        {u"False", 0, 0}, {u"false", 1, 0}, {u"0", 1, 0}, {u"FALSE", 1, 0},
        {u"True", 1, 1},  {u"true", 1, 0},  {u"1", 1, 0}, {u"", 1, 0},
    };
    for (const Case& c : cases) {
        pc->setString(plat::HKCU, prefs, u"Show Tray Icon", c.stored);
        pc->setString(plat::HKCU, prefs, u"Enable Advanced Menu", c.stored);
        EXPECT_EQ(info->getTrayIconState(), c.icon) << plat::toUtf8(c.stored);
        EXPECT_EQ(info->getAdvancedMenuState(), c.menu) << plat::toUtf8(c.stored);
    }
}

TEST_F(PcInfoTest, SettersWriteTrueOrFalseAndCreateTheKeyWithItsParents) {
    ASSERT_FALSE(pc->keyExists(plat::HKCU, u"SOFTWARE\\Quorvane"));
    EXPECT_EQ(info->setTrayIconState(2), 1);
    EXPECT_TRUE(pc->keyExists(plat::HKCU, u"SOFTWARE\\Quorvane"));
    EXPECT_TRUE(pc->keyExists(plat::HKCU, u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings"));
    EXPECT_EQ(pc->stringValue(plat::HKCU, prefs, u"Show Tray Icon"), plat::String(u"False"));
    EXPECT_EQ(info->getTrayIconState(), 0);

    EXPECT_EQ(info->setAdvancedMenuState(1), 1);
    const auto stored = pc->value(plat::HKCU, prefs, u"Enable Advanced Menu");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->first, REG_SZ);
    EXPECT_EQ(stored->second.size(), 10u); // "True" and its terminating null
    EXPECT_EQ(info->getAdvancedMenuState(), 1);
    EXPECT_EQ(info->setAdvancedMenuState(0), 1);
    EXPECT_EQ(info->getAdvancedMenuState(), 0);
    EXPECT_EQ(info->setTrayIconState(1), 1);
    EXPECT_EQ(pc->stringValue(plat::HKCU, prefs, u"Show Tray Icon"), plat::String(u"True"));
}

TEST_F(PcInfoTest, StringReadsFailWhenTheValueIsMissingOrDoesNotFit) {
    const plat::String key = u"Software\\Test";
    pc->setString(plat::HKCU, key, u"Long", u"0123456789");
    plat::String out = u"unchanged";
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"Long", out, 10), 0); // needs 11 with its null
    EXPECT_EQ(info->lastError(), u"Error Querrying Value (Long)");
    EXPECT_EQ(count(u" ERROR :Error Querrying Value (Long)"), 1u);
    EXPECT_EQ(out, u"unchanged");
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"Long", out, 11), 1);
    EXPECT_EQ(out, u"0123456789");
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"Missing", out, 100), 0);
    EXPECT_EQ(info->lastError(), u"Error Querrying Value (Missing)");

    // The type is ignored and data without a terminator is bounded by what was stored.
    pc->setRaw(plat::HKCU, key, u"Raw", REG_BINARY, {'4', 0, '0', 0, '0', 0});
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"Raw", out, 10), 1);
    EXPECT_EQ(out, u"400");
    // An odd byte count cannot split a character into the text.
    pc->setRaw(plat::HKCU, key, u"Odd", REG_BINARY, {'7', 0, '5'});
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"Odd", out, 10), 1);
    EXPECT_EQ(out, u"7");
}

TEST_F(PcInfoTest, DwordReadsKeepTheVariableWhenNothingWasRead) {
    const plat::String key = u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\";
    std::uint32_t variable = 77;
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"DefaultMixer", variable), 0);
    EXPECT_EQ(info->lastError(), u"Error Opening Key(" + key + u")");
    pc->createKey(plat::HKCU, key);
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"DefaultMixer", variable), 0);
    EXPECT_EQ(info->lastError(), u"Error Querying Value (DefaultMixer)"); // one r here
    EXPECT_EQ(count(u" ERROR :Error Querying Value (DefaultMixer)"), 1u);
    EXPECT_EQ(variable, 77u);

    EXPECT_EQ(info->setRegVal(plat::HKCU, key, u"DefaultMixer", 1u), 1);
    EXPECT_EQ(pc->dwordValue(plat::HKCU, key, u"DefaultMixer"), 1u);
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"DefaultMixer", variable), 1);
    EXPECT_EQ(variable, 1u);
    // A value larger than four bytes does not fit.
    pc->setString(plat::HKCU, key, u"Text", u"hello");
    EXPECT_EQ(info->getRegVal(plat::HKCU, key, u"Text", variable), 0);
    EXPECT_EQ(variable, 1u);
}

TEST_F(PcInfoTest, AFailedDwordWriteLogsOnlyItsTraceLines) {
    pc->setHklmWritable(false);
    const plat::String key = u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\";
    pc->createKey(plat::HKLM, key);
    clearLog();
    EXPECT_EQ(info->setRegVal(plat::HKLM, key, u"MixerControl", 1u), 0);
    const std::vector<plat::String> expected = {
        u" TRACE :PcInfo::setRegVal(DWORD) -- Method Entry.",
        u" TRACE :PcInfo::setRegVal(DWORD) -- Method Exit.",
    };
    EXPECT_EQ(messages(), expected);
    EXPECT_FALSE(pc->dwordValue(plat::HKLM, key, u"MixerControl").has_value());

    // The string form logs its failure.
    EXPECT_EQ(info->setRegVal(plat::HKLM, key, u"Name", u"x"), 0);
    EXPECT_EQ(count(u" ERROR :Error Querrying Value (Name)"), 1u);
}

TEST_F(PcInfoTest, CheckRegistryKeyLogsItsExitBeforeTheOutcome) {
    EXPECT_EQ(info->checkRegistryKey(plat::HKCU, u"Software\\Winamp\\"), 0);
    const std::vector<plat::String> expected = {
        u" TRACE :PcInfo::checkRegistryKey -- Method Entry.",
        u" TRACE :PcInfo::checkRegistryKey -- Method Exit.",
        u" ERROR :Unable to open key",
    };
    EXPECT_EQ(messages(), expected);

    pc->createKey(plat::HKCU, u"Software\\Winamp");
    clearLog();
    EXPECT_EQ(info->checkRegistryKey(plat::HKCU, u"Software\\Winamp\\"), 1);
    EXPECT_EQ(messages().size(), 2u);
}

} // namespace
