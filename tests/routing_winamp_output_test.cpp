// Winamp's output device in "winamp.ini": the scan that finds the active plug-in's device
// line, the GUID encoding, and reading and rewriting the file on the simulated PC.
#include "WinampOutput.h"
#include "routing_support.h"

#include <random>

namespace {

using namespace routingtest;

constexpr char kWaveIni[] = "[Winamp]\r\noutname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=2\r\n"
                            "[out_ds]\r\ncfg_dev2=0000000000000000000000000000000000\r\n";
constexpr char kDsIni[] = "[Winamp]\noutname=out_ds.dll\n[out_wave]\ncfg_dev=1\n"
                          "[out_ds]\ncfg_buf=1\ncfg_dev2=0000000000000000000000000000000000\nx=1\n";

class WinampOutputTest : public RoutingTest {
protected:
    void SetUp() override {
        RoutingTest::SetUp();
        setDevices({kCard, kTransmitter});
        installPlayer(kWinamp, false, std::string(kWaveIni));
        directory = pc->playerDirectory(kWinamp);
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
    const auto found = winampout::findDevice("[out_wave]\ncfg_dev=1\noutname=out_wave.dll\n");
    EXPECT_EQ(found.kind, winampout::DeviceLine::Kind::None);

    // A wave-out section without its line lets the scan take the next "cfg_dev" anywhere.
    const auto later = winampout::findDevice(
        "outname=out_wave.dll\n[out_wave]\ncfg_buf=1\n[out_ds]\ncfg_dev2=33221100\n");
    EXPECT_EQ(later.kind, winampout::DeviceLine::Kind::Digit);
    EXPECT_EQ(later.digit, '=' - '0');

    // "out_wave.dll" wins when a line names both plug-ins; a line shorter than 9 has no digit.
    const auto both = winampout::findDevice("outname=out_ds.dll out_wave.dll\n[out_wave]\ncfg_dev\n");
    EXPECT_EQ(both.kind, winampout::DeviceLine::Kind::Digit);
    EXPECT_EQ(both.digit, -1);

    // The tests are case-sensitive.
    EXPECT_EQ(winampout::findDevice("OUTNAME=out_wave.dll\n[out_wave]\ncfg_dev=1\n").kind,
              winampout::DeviceLine::Kind::None);
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

    // The GUID line's last line without an ending gets the file's own ending.
    EXPECT_EQ(winampout::rewriteDevice("outname=out_ds.dll\r\n[out_ds]\r\ncfg_dev2=1", 2, 1,
                                       "ENC00", refused),
              "outname=out_ds.dll\r\n[out_ds]\r\ncfg_dev2=ENC00\r\n");
    // A "cfg_dev2" line without "=" is copied unchanged.
    EXPECT_EQ(winampout::rewriteDevice("outname=out_ds.dll\n[out_ds]\ncfg_dev2\n", 2, 1, "E", refused),
              "outname=out_ds.dll\n[out_ds]\ncfg_dev2\n");
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
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Default Audio Device");
    EXPECT_FALSE(tempLeft());

    // A digit beyond the current devices, or no digit, reads as the default device.
    pc->setWinampIni("outname=out_wave.dll\n[out_wave]\ncfg_dev=7\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Default Audio Device");
}

TEST_F(WinampOutputTest, TheDirectSoundGuidIsReadAndWritten) {
    pc->setWinampIni(kDsIni);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Default Audio Device");
    EXPECT_EQ(rewrite(2), 1);
    EXPECT_EQ(ini(), "[Winamp]\noutname=out_ds.dll\n[out_wave]\ncfg_dev=1\n"
                     "[out_ds]\ncfg_buf=1\ncfg_dev2=33221100554477668899AABBCCDDEEFF00\nx=1\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Quorvane Auravo");
    EXPECT_EQ(rewrite(0), 1);
    EXPECT_NE(ini().find("cfg_dev2=" + std::string(34, '0') + "\n"), std::string::npos);

    // 32 zeros without the trailing "00" are the default too; lower-case digits match nothing.
    pc->setWinampIni("outname=out_ds.dll\n[out_ds]\ncfg_dev2=" + std::string(32, '0'));
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Default Audio Device");
    pc->setWinampIni("outname=out_ds.dll\n[out_ds]\ncfg_dev2=33221100554477668899aabbccddeeff00\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
    // A value shorter than 32 characters matches nothing, not even the all-zero default.
    pc->setWinampIni("outname=out_ds.dll\n[out_ds]\ncfg_dev2=0000000000\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
}

TEST_F(WinampOutputTest, WithoutADeviceLineTheFileIsCopiedUnchanged) {
    const std::string before = "[out_wave]\ncfg_dev=1\noutname=out_wave.dll\n";
    pc->setWinampIni(before);
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"No Device Found");
    EXPECT_EQ(rewrite(2), 1);
    EXPECT_EQ(ini(), before);
}

TEST_F(WinampOutputTest, ALaterCfgDev2LineServesAsTheWaveOutLine) {
    pc->setWinampIni("outname=out_wave.dll\n[out_wave]\ncfg_buf=1\n[out_ds]\ncfg_dev2=00\n");
    EXPECT_EQ(info->getPlaybackDevice(kWinamp), u"Default Audio Device");
    EXPECT_EQ(rewrite(1), 1);
    EXPECT_EQ(ini(), "outname=out_wave.dll\n[out_wave]\ncfg_buf=1\n[out_ds]\ncfg_dev2100\n");
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

TEST_F(WinampOutputTest, AFailingStepLeavesTheOriginalIntactAndNoScratchFile) {
    const std::string before = ini();
    for (const auto fault : {sim::FileFault::OpenForWrite, sim::FileFault::Write,
                             sim::FileFault::Flush, sim::FileFault::Replace}) {
        pc->setFileFault(fault);
        EXPECT_EQ(rewrite(1), 0) << static_cast<int>(fault);
        pc->setFileFault(sim::FileFault::None);
        EXPECT_EQ(ini(), before) << static_cast<int>(fault);
        EXPECT_FALSE(tempLeft()) << static_cast<int>(fault);
    }
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
