// Winamp's output device in "winamp.ini": the scan that finds the active plug-in's device
// line, the GUID encoding, and reading and rewriting the file on the simulated PC.
#include "WinampOutput.h"
#include "rewrite_faults.h"
#include "routing_support.h"
#include "shown_texts.h"

#include <random>

namespace {

using namespace routingtest;

constexpr char kWaveIni[] = "[Winamp]\r\noutname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=2\r\n"
                            "[out_ds]\r\ncfg_dev2=0000000000000000000000000000000000\r\n";
constexpr char kDsIni[] = "[Winamp]\noutname=out_ds.dll\n[out_wave]\ncfg_dev=1\n"
                          "[out_ds]\ncfg_buf=1\ncfg_dev2=0000000000000000000000000000000000\nx=1\n";

const plat::String kUserFolder = u"C:\\Users\\User\\AppData\\Roaming\\Winamp";

class WinampOutputTest : public RoutingTest {
protected:
    void SetUp() override {
        RoutingTest::SetUp();
        setDevices({kCard, kTransmitter});
        installPlayer(kWinamp, false, std::string(kWaveIni));
        directory = pc->playerDirectory(kWinamp);
    }

    // Installed "with settings per user": winamp.ini in the user's roaming application data.
    void installPerUser(const std::string& text) {
        sim::PlayerConfig config;
        config.name = kWinamp;
        config.winampIni = text;
        config.winampIniDir = u"{26}\\Winamp";
        ASSERT_TRUE(pc->installPlayer(config));
        ASSERT_EQ(pc->winampSettingsFolder(), kUserFolder);
    }

    std::string ini() { return pc->winampIni().value_or("<none>"); }
    bool tempLeft() { return pc->fileExists(directory + u"\\temp.ini"); }
    int rewrite(int index) {
        AudioDeviceEntry entry;
        readDeviceEntry(index, entry);
        return info->setWinampOutputDevice(index, entry);
    }

    plat::String directory;
};

// ------------------------------------------------------------------------ the GUID encoding

TEST(WinampGuid, EncodesByteReversedGroupsAndDecodesBack) {
    EXPECT_EQ(winampout::guidEncode(u"{00112233-4455-6677-8899-AABBCCDDEEFF}"),
              u"33221100554477668899AABBCCDDEEFF00");
    EXPECT_EQ(winampout::guidDecode(u"33221100554477668899AABBCCDDEEFF00\r\n"),
              u"{00112233-4455-6677-8899-AABBCCDDEEFF}");
    // Digits are copied, so their case stays.
    EXPECT_EQ(winampout::guidEncode(u"{abcdef01-2345-6789-abcd-ef0123456789}"),
              u"01efcdab45238967abcdef012345678900");

    std::mt19937 random(20240607);
    const char16_t hex[] = u"0123456789ABCDEFabcdef";
    for (int round = 0; round < 500; ++round) {
        plat::String guid = u"{";
        for (int i = 0; i < 36; ++i)
            guid += (i == 8 || i == 13 || i == 18 || i == 23) ? u'-' : hex[random() % 22];
        guid += u'}';
        ASSERT_EQ(winampout::guidDecode(winampout::guidEncode(guid)), guid);
    }
}

TEST(WinampGuid, ShortValuesDecodeShortWithoutReadingPastTheirEnd) {
    EXPECT_EQ(winampout::guidDecode(u""), u"{----}");
    const plat::String decoded = winampout::guidDecode(u"0000000000000000000000000000000"); // 31
    EXPECT_EQ(decoded.size(), 37u);
    EXPECT_NE(decoded, plat::String(kNullGuid));
    EXPECT_EQ(winampout::guidEncode(u"{00").size(), 4u); // "00" from the text, then "00"
}

// ------------------------------------------------------------------------ the scan

TEST(WinampScan, ThePluginLineMustComeBeforeItsSection) {
    // A section met only before the plug-in line leaves the device unknown, and no section is
    // added after it: Winamp would still read the first one.
    const std::string early = "[out_wave]\ncfg_dev=1\noutname=out_wave.dll\n";
    EXPECT_EQ(winampout::findDevice(early).kind, winampout::DeviceLine::Kind::None);
    bool refused = false;
    winampout::rewriteDevice(early, 1, 0, "E", refused);
    EXPECT_TRUE(refused);

    // "out_wave.dll" wins when a line names both plug-ins; a value without a digit reads as
    // none.
    const auto both = winampout::findDevice("outname=out_ds.dll out_wave.dll\n[out_wave]\ncfg_dev=\n");
    EXPECT_EQ(both.kind, winampout::DeviceLine::Kind::Digit);
    EXPECT_EQ(both.digit, '\n' - '0');

    // The tests are case-sensitive.
    EXPECT_EQ(winampout::findDevice("OUTNAME=out_wave.dll\n[out_wave]\ncfg_dev=1\n").kind,
              winampout::DeviceLine::Kind::None);
}

TEST(WinampScan, TheDeviceLineIsSoughtInThePluginsOwnSectionOnly) {
    // A wave-out section without its line: the search ends with it, and the DirectSound
    // device line of the next section is neither read nor written; the line goes in at the
    // end of the plug-in's own section.
    const std::string noLine = "outname=out_wave.dll\n[out_wave]\ncfg_buf=1\n[out_ds]\ncfg_dev2=33221100\n";
    EXPECT_EQ(winampout::findDevice(noLine).kind, winampout::DeviceLine::Kind::Missing);
    bool refused = true;
    EXPECT_EQ(winampout::rewriteDevice(noLine, 1, 0, "E", refused),
              "outname=out_wave.dll\n[out_wave]\ncfg_buf=1\ncfg_dev=1\n[out_ds]\ncfg_dev2=33221100\n");
    const std::string noDsLine = "outname=out_ds.dll\n[out_ds]\ncfg_buf=1\n[other]\ncfg_dev2=1\n";
    EXPECT_EQ(winampout::findDevice(noDsLine).kind, winampout::DeviceLine::Kind::Missing);
    EXPECT_EQ(winampout::rewriteDevice(noDsLine, 1, 0, "E", refused),
              "outname=out_ds.dll\n[out_ds]\ncfg_buf=1\ncfg_dev2=E\n[other]\ncfg_dev2=1\n");

    // The key is the line's own: "cfg_dev2" is not "cfg_dev", and blanks around it count
    // for nothing; a continuation of a long line is no line of its own.
    const auto found = winampout::findDevice("outname=out_wave.dll\n[out_wave]\ncfg_dev2=9\n"
                                             "x=" + std::string(498, 'y') + "cfg_dev=8\n"
                                             "  cfg_dev = 3\n");
    EXPECT_EQ(found.kind, winampout::DeviceLine::Kind::Digit);
    EXPECT_EQ(found.digit, 3);
}

TEST(WinampScan, LongLinesAreScannedInPiecesOfAtMost500Bytes) {
    // The plug-in's name beyond the first 500 bytes of its line is in a piece of its own,
    // without "outname=".
    std::string padded = "outname=" + std::string(600, 'x') + "out_wave.dll\n[out_wave]\ncfg_dev=1\n";
    EXPECT_EQ(winampout::findDevice(padded).kind, winampout::DeviceLine::Kind::None);

    const std::string value(2000, 'A');
    const auto found = winampout::findDevice("outname=out_ds.dll\n[out_ds]\ncfg_dev2=" + value + "\n");
    ASSERT_EQ(found.kind, winampout::DeviceLine::Kind::Guid);
    EXPECT_EQ(found.value.size(), 500u - 9u);
}

TEST(WinampScan, RewritingKeepsEveryOtherByteAndTheLineEndings) {
    bool refused = true;
    EXPECT_EQ(winampout::rewriteDevice(kWaveIni, 1, 0, "X", refused),
              "[Winamp]\r\noutname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=1\r\n"
              "[out_ds]\r\ncfg_dev2=0000000000000000000000000000000000\r\n");
    EXPECT_FALSE(refused);

    // The digit takes the place of the value's number only: an empty value gets it inserted
    // before the line ending, a longer number goes whole, and what follows the number stays.
    const auto wave = [&](const std::string& line, int index) {
        return winampout::rewriteDevice("outname=out_wave.dll\r\n[out_wave]\r\n" + line + "x=1\r\n",
                                        index, static_cast<std::uint32_t>(index - 1), "X", refused);
    };
    EXPECT_EQ(wave("cfg_dev=\r\n", 2), "outname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=2\r\nx=1\r\n");
    EXPECT_EQ(wave("cfg_dev=\n", 2), "outname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=2\nx=1\r\n");
    EXPECT_EQ(wave("cfg_dev=12 ;old\r\n", 1),
              "outname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=1 ;old\r\nx=1\r\n");
    EXPECT_EQ(winampout::rewriteDevice("outname=out_wave.dll\n[out_wave]\ncfg_dev=", 3, 2, "X", refused),
              "outname=out_wave.dll\n[out_wave]\ncfg_dev=3");

    // The GUID line's last line without an ending gets the file's own ending.
    EXPECT_EQ(winampout::rewriteDevice("outname=out_ds.dll\r\n[out_ds]\r\ncfg_dev2=1", 2, 1,
                                       "ENC00", refused),
              "outname=out_ds.dll\r\n[out_ds]\r\ncfg_dev2=ENC00\r\n");
    // A long old value goes whole; the line keeps its ending.
    EXPECT_EQ(winampout::rewriteDevice("outname=out_ds.dll\n[out_ds]\ncfg_dev2=" + std::string(1200, 'F') +
                                           "\r\nx=1\n",
                                       2, 1, "ENC00", refused),
              "outname=out_ds.dll\n[out_ds]\ncfg_dev2=ENC00\r\nx=1\n");
    // A "cfg_dev2" line without "=" is no device line: one is added.
    EXPECT_EQ(winampout::rewriteDevice("outname=out_ds.dll\n[out_ds]\ncfg_dev2\n", 2, 1, "E", refused),
              "outname=out_ds.dll\n[out_ds]\ncfg_dev2\ncfg_dev2=E\n");
    // Index 10 and beyond has no digit: refused for the wave-out plug-in only.
    winampout::rewriteDevice(kWaveIni, 10, 9, "E", refused);
    EXPECT_TRUE(refused);
    winampout::rewriteDevice(kDsIni, 10, 9, "E", refused);
    EXPECT_FALSE(refused);
}

// ------------------------------------------------------------------------ the file

TEST_F(WinampOutputTest, TheWaveOutDigitIsReadAndRewritten) {
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Quorvane Auravo");
    EXPECT_EQ(rewrite(1), 1);
    EXPECT_NE(ini().find("\r\ncfg_dev=1\r\n"), std::string::npos);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"SoundMax Digital");
    EXPECT_EQ(rewrite(0), 1);
    EXPECT_NE(ini().find("\r\ncfg_dev=0\r\n"), std::string::npos);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), shown::defaultAudioDevice);
    EXPECT_FALSE(tempLeft());

    // A digit beyond the current devices, or no digit, reads as the default device.
    pc->setWinampIni("outname=out_wave.dll\n[out_wave]\ncfg_dev=7\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), shown::defaultAudioDevice);
}

TEST_F(WinampOutputTest, TheDirectSoundGuidIsReadAndWritten) {
    pc->setWinampIni(kDsIni);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), shown::defaultAudioDevice);
    EXPECT_EQ(rewrite(2), 1);
    EXPECT_EQ(ini(), "[Winamp]\noutname=out_ds.dll\n[out_wave]\ncfg_dev=1\n"
                     "[out_ds]\ncfg_buf=1\ncfg_dev2=33221100554477668899AABBCCDDEEFF00\nx=1\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Quorvane Auravo");
    EXPECT_EQ(rewrite(0), 1);
    EXPECT_NE(ini().find("cfg_dev2=" + std::string(34, '0') + "\n"), std::string::npos);

    // 32 zeros without the trailing "00" are the default too; lower-case digits match nothing.
    pc->setWinampIni("outname=out_ds.dll\n[out_ds]\ncfg_dev2=" + std::string(32, '0'));
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), shown::defaultAudioDevice);
    pc->setWinampIni("outname=out_ds.dll\n[out_ds]\ncfg_dev2=33221100554477668899aabbccddeeff00\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
    // A value shorter than 32 characters matches nothing, not even the all-zero default.
    pc->setWinampIni("outname=out_ds.dll\n[out_ds]\ncfg_dev2=0000000000\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
}

TEST_F(WinampOutputTest, ASectionOnlyBeforeThePluginLineIsNotWrittenAndNotReportedDone) {
    const std::string before = "[out_wave]\ncfg_dev=1\noutname=out_wave.dll\n";
    pc->setWinampIni(before);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
    EXPECT_EQ(rewrite(2), 0);
    EXPECT_EQ(ini(), before);
    EXPECT_FALSE(tempLeft());
    EXPECT_EQ(info->lastRoutingFailure(), PcInfo::RoutingFailure::Other);
}

// ------------------------------------------------------------------------ no device line yet

// Winamp 5.x writes no device line until its user picks one, and may have no section for the
// plug-in at all: it then plays on the default device, and the line is added.
std::string winamp5WithoutDsSection() {
    std::string text = sim::winamp5Ini();
    const std::size_t from = text.find("[out_ds]\r\n");
    text.erase(from, text.find("[gen_hotkeys]") - from);
    return text;
}

std::string inserted(std::string text, const std::string& before, const std::string& line) {
    text.insert(text.find(before), line);
    return text;
}

struct LineCase {
    const char* name;
    std::string before;
    int index;
    std::string after;
    const char16_t* readAfter;
};

const LineCase lineCases[] = {
    {"NoDeviceChosenYet", sim::winamp5Ini(), 2,
     inserted(sim::winamp5Ini(), "[gen_hotkeys]", "cfg_dev2=33221100554477668899AABBCCDDEEFF00\r\n"),
     u"Quorvane Auravo"},
    {"NoDirectSoundSection", winamp5WithoutDsSection(), 1,
     winamp5WithoutDsSection() + "[out_ds]\r\ncfg_dev2=1111111122223333444455555555555500\r\n",
     u"SoundMax Digital"},
    // At the end of the section, before the blank line that ends it; the DirectSound line
    // of the next section stays as it was.
    {"WaveOutSectionWithoutItsLine",
     "[Winamp]\r\noutname=out_wave.dll\r\nconfig_extlist=" + std::string(700, 'M') +
         "\r\n[out_wave]\r\ncfg_buf_ms=2000\r\n\r\n[out_ds]\r\ncfg_dev2=" + std::string(34, '0') + "\r\n",
     1,
     "[Winamp]\r\noutname=out_wave.dll\r\nconfig_extlist=" + std::string(700, 'M') +
         "\r\n[out_wave]\r\ncfg_buf_ms=2000\r\ncfg_dev=1\r\n\r\n[out_ds]\r\ncfg_dev2=" +
         std::string(34, '0') + "\r\n",
     u"SoundMax Digital"},
    // A last line without an ending gets the file's before the new section.
    {"NoWaveOutSectionLastLineOpen", "[Winamp]\r\noutname=out_wave.dll\r\n[out_ds]\r\ncfg_buf=1", 2,
     "[Winamp]\r\noutname=out_wave.dll\r\n[out_ds]\r\ncfg_buf=1\r\n[out_wave]\r\ncfg_dev=2\r\n",
     u"Quorvane Auravo"},
    {"LastSectionUnixEndings", "[Winamp]\noutname=out_ds.dll\n[out_ds]\ncfg_total_time=1\n\n", 2,
     "[Winamp]\noutname=out_ds.dll\n[out_ds]\ncfg_total_time=1\n"
     "cfg_dev2=33221100554477668899AABBCCDDEEFF00\n\n",
     u"Quorvane Auravo"},
};

void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.name;
}

class WinampDeviceLineTest : public WinampOutputTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(WinampDeviceLineTest, AMissingLineReadsAsTheDefaultAndIsAdded) {
    const LineCase& c = GetParam();
    pc->setWinampIni(c.before);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), shown::defaultAudioDevice);
    EXPECT_EQ(rewrite(c.index), 1);
    EXPECT_EQ(ini(), c.after);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), c.readAfter);
    EXPECT_FALSE(tempLeft());
}

INSTANTIATE_TEST_SUITE_P(Files, WinampDeviceLineTest, ::testing::ValuesIn(lineCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Without an "outname=" line, or with another output plug-in, there is no device to set:
// nothing is written, the change fails, and says why.
TEST_F(WinampOutputTest, AnotherOutputPluginIsRefusedAndSaysWhatToDo) {
    std::string wasapi = sim::winamp5Ini();
    wasapi.replace(wasapi.find("out_ds.dll"), 10, "out_wasapi.dll");
    std::string disk = sim::winamp5Ini();
    disk.replace(disk.find("out_ds.dll"), 10, "out_disk.dll");
    std::string none = sim::winamp5Ini();
    none.erase(none.find("outname="), std::string("outname=out_ds.dll\r\n").size());
    for (const std::string& before : {wasapi, disk, none}) {
        pc->setWinampIni(before);
        EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
        EXPECT_EQ(rewrite(2), 0);
        EXPECT_EQ(ini(), before);
        EXPECT_FALSE(tempLeft());
        EXPECT_EQ(info->lastRoutingFailure(), PcInfo::RoutingFailure::WinampOutputNotUnderstood);
    }

    // The message says what to do instead of asking for rights the user may well have.
    pc->answerMessageBox(shown::noRightsCaption, std::nullopt, shown::ok);
    EXPECT_EQ(info->setPlaybackDevice(kWinamp, u"Quorvane Auravo", 0), 0);
    info->showFailedChange(0);
    pc->answerMessageBox(shown::noRightsCaption, std::nullopt, shown::ok);
    pc->setWinampIni(kWaveIni);
    globals().isAdministrator = false;
    EXPECT_EQ(info->setPlaybackDevice(kWinamp, u"Quorvane Auravo", 0), 0);
    info->showFailedChange(0);
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, u"Winamp plays through an output plug-in whose sound device cannot be "
                             u"chosen from here.\nIn Winamp, open Options > Preferences > Plug-ins > "
                             u"Output and select the DirectSound output or the WaveOut output. Then "
                             u"close Winamp and try again.");
    EXPECT_EQ(shown[1].text.substr(0, 26), u"Current operation cannot b");
    for (const auto& box : shown)
        EXPECT_EQ(box.style, std::uint32_t{MB_ICONINFORMATION | MB_TASKMODAL});
}

TEST_F(WinampOutputTest, AnIndexOfTenOrMoreIsRefusedForWaveOut) {
    AudioDeviceEntry tenth = kCard;
    tenth.waveId = 9;
    tenth.name = u"Tenth";
    storeDeviceEntry(10, tenth);
    globals().audioDevices->count = 10;
    const std::string before = ini();
    EXPECT_EQ(rewrite(10), 0);
    EXPECT_EQ(ini(), before);
    EXPECT_FALSE(tempLeft());
}

// Each failure in the program folder's file, and in the user's folder of a Winamp with
// settings per user, where the device line is added.
class WinampOutputFaultTest
    : public WinampOutputTest,
      public ::testing::WithParamInterface<std::tuple<faulttest::FaultCase, bool>> {};

TEST_P(WinampOutputFaultTest, AFailureLeavesTheOldOrTheNewContentsAndNothingBeside) {
    const auto& [c, perUser] = GetParam();
    if (perUser)
        installPerUser(sim::winamp5Ini());
    const plat::String folder = perUser ? kUserFolder : directory;
    const std::string before = ini();
    std::string after = before;
    if (perUser)
        after = inserted(before, "[gen_hotkeys]", "cfg_dev2=1111111122223333444455555555555500\r\n");
    else
        after.replace(after.find("cfg_dev=2"), 9, "cfg_dev=1");
    const auto files = pc->folderFiles(folder);
    const auto programFiles = pc->folderFiles(directory);
    pc->takeJournal();
    faulttest::arm(*pc, c, perUser ? 1 : 0); // paths.ini is read before winamp.ini
    EXPECT_EQ(rewrite(1), c.newContents ? 1 : 0);
    faulttest::expectOnly(*pc, folder, u"winamp.ini", c.newContents ? after : before, files,
                          pc->takeJournal());
    EXPECT_EQ(pc->folderFiles(directory), programFiles);
    pc->setFileFault(sim::FileFault::None);
    EXPECT_EQ(rewrite(1), 1);
    EXPECT_EQ(ini(), after);
}

INSTANTIATE_TEST_SUITE_P(Files, WinampOutputFaultTest,
                         ::testing::Combine(::testing::ValuesIn(faulttest::kFaultCases),
                                            ::testing::Bool()),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param).name) +
                                    (std::get<1>(p.param) ? "PerUser" : "");
                         });

// A move refused and no copy readable: nothing can be put in place, and nothing is lost.
TEST_F(WinampOutputTest, WhenNeitherCopyCanBeReadBothAreKept) {
    const std::string before = ini();
    pc->setFileFault(sim::FileFault::ReplaceUnableToMove2);
    pc->addFileFault(sim::FileFault::Move);
    pc->addFileFault(sim::FileFault::Read);
    pc->spareReads(1);
    EXPECT_EQ(rewrite(1), 0);
    pc->setFileFault(sim::FileFault::None);
    EXPECT_FALSE(pc->fileExists(directory + u"\\winamp.ini"));
    EXPECT_EQ(pc->fileContents(directory + u"\\temp.ini.bak"), before);
    const auto copy = pc->fileContents(directory + u"\\temp.ini");
    ASSERT_TRUE(copy.has_value());
    EXPECT_NE(copy->find("\r\ncfg_dev=1\r\n"), std::string::npos);
    EXPECT_EQ(copy->size(), before.size());
}

TEST_F(WinampOutputTest, AReadErrorIsNotTheEndOfTheFile) {
    // Before the device line: reading finds nothing; rewriting leaves the original alone.
    pc->setFileFault(sim::FileFault::Read);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
    const std::string before = ini();
    EXPECT_EQ(rewrite(1), 0);
    pc->setFileFault(sim::FileFault::None);
    EXPECT_EQ(ini(), before);
    EXPECT_FALSE(tempLeft());
}

TEST_F(WinampOutputTest, TheDirectoryComesFromEitherRoot) {
    pc->deleteTree(plat::HKCU, u"Software\\Winamp");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Can't Access the entry");
    EXPECT_EQ(rewrite(1), 0);

    pc->setString(plat::HKLM, u"Software\\Winamp\\", u"", directory);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Quorvane Auravo");
    EXPECT_EQ(rewrite(1), 1);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"SoundMax Digital");

    pc->setString(plat::HKLM, u"Software\\Winamp\\", u"", u"C:\\Nowhere");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
    EXPECT_EQ(rewrite(1), 0);
}

} // namespace
