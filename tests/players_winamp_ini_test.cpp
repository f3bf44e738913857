// Winamp's hotkey section on the simulated PC: the scan and rewrite passes with their
// counting and appending rules, bounded line reads, the file's own line endings, and a
// replacement that never leaves a damaged "winamp.ini" or a stray "temp.ini" behind.
#include "WinampIniRead.h"
#include "players_support.h"

#include <gmock/gmock.h>

#include <functional>
#include <memory>

namespace {

using pptest::countOf;
using pptest::takeLog;
using Outcome = WinampIniRead::Outcome;

const plat::String dir = u"C:\\Program Files\\Winamp";
const plat::String ini = dir + u"\\winamp.ini";
const plat::String temp = dir + u"\\temp.ini";

// The head of a typical file, up to and including the section line.
const std::string head = "[Winamp]\n"
                         "outname=out_wave.dll\n"
                         "[gen_hotkeys]\n";

class WinampIniTest : public pptest::PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        pc->setString(plat::HKCU, u"Software\\Winamp\\", u"", dir);
    }

    // Runs one WinampIniRead over `contents`; the file afterwards.
    std::string run(const std::string& contents) {
        pc->writeFile(ini, contents);
        pc->takeJournal();
        WinampIniRead reader;
        outcome = reader.outcome();
        scan = reader.scan();
        rewriteState = reader.rewriteState();
        EXPECT_FALSE(pc->fileExists(temp));
        return pc->fileContents(ini).value_or("<no winamp.ini>");
    }

    bool journalMentions(const std::string& what) {
        for (const auto& line : pc->journal())
            if (line.find(what) != std::string::npos)
                return true;
        return false;
    }

    Outcome outcome = Outcome::NotFound;
    winampini::HotkeyScan scan;
    std::int32_t rewriteState = -1;
};

// ------------------------------------------------------------------------ the two passes

TEST_F(WinampIniTest, AMissingBindingIsAppendedAndTheCountRewritten) {
    const std::string before = head + "nbkeys=3\n"
                                      "enabled=1\n"
                                      "action0=ghkdc next\n"
                                      "hotkey0=2224\n"
                                      "action1=ghkdc prev\n"
                                      "hotkey1=2225\n"
                                      "action2=ghkdc stop\n"
                                      "hotkey2=2226\n";
    const std::string after = head + "nbkeys=4\n"
                                     "enabled=1\n"
                                     "action0=ghkdc next\n"
                                     "hotkey0=2224\n"
                                     "action1=ghkdc prev\n"
                                     "hotkey1=2225\n"
                                     "action2=ghkdc stop\n"
                                     "hotkey2=2226\n"
                                     "action3=ghkdc play/pause\n"
                                     "hotkey3=2227\n";
    EXPECT_EQ(run(before), after);
    EXPECT_EQ(outcome, Outcome::Rewritten);
    EXPECT_EQ(scan.scanState, 3);
    EXPECT_EQ(scan.hotkeyCount, 3);
    EXPECT_EQ(scan.missingCount, 1);
    EXPECT_EQ(scan.hotkeysEnabled, 1);
    EXPECT_EQ(rewriteState, 3);
    // Written beside the original, then swapped in.
    EXPECT_TRUE(journalMentions("file written: C:\\Program Files\\Winamp\\temp.ini"));
    EXPECT_TRUE(journalMentions("file replaced"));
}

TEST_F(WinampIniTest, EveryMissingBindingIsAppendedInItsOrderWithTheNextNumbers) {
    // Two unrelated bindings: the four media keys follow as 2..5, stop first.
    const std::string body = "nbkeys=2\n"
                             "enabled=0\n"
                             "action0=ghkdc play\n"
                             "hotkey0=3629\n"
                             "action1=ghkdc vup\n"
                             "hotkey1=3640\n";
    EXPECT_EQ(run(head + body), head + "nbkeys=6\n"
                                       "enabled=1\n"
                                       "action0=ghkdc play\n"
                                       "hotkey0=3629\n"
                                       "action1=ghkdc vup\n"
                                       "hotkey1=3640\n"
                                       "action2=ghkdc stop\n"
                                       "hotkey2=2226\n"
                                       "action3=ghkdc play/pause\n"
                                       "hotkey3=2227\n"
                                       "action4=ghkdc prev\n"
                                       "hotkey4=2225\n"
                                       "action5=ghkdc next\n"
                                       "hotkey5=2224\n");
}

TEST_F(WinampIniTest, DisabledHotkeysAreEnabledAndTheCountRewrittenUnchanged) {
    const std::string bindings = "hotkey0=2224\n"
                                 "hotkey1=2225\n"
                                 "hotkey2=2226\n"
                                 "hotkey3=2227\n";
    EXPECT_EQ(run(head + "nbkeys=4\nenabled=0\n" + bindings),
              head + "nbkeys=4\nenabled=1\n" + bindings);
    EXPECT_EQ(outcome, Outcome::Rewritten);

    // "10" enables nothing: any '0' in the line counts as disabled.
    EXPECT_EQ(run(head + "nbkeys=4\nenabled=10\n" + bindings),
              head + "nbkeys=4\nenabled=1\n" + bindings);
    EXPECT_EQ(outcome, Outcome::Rewritten);
}

TEST_F(WinampIniTest, AFileWithEverythingInPlaceIsNotTouched) {
    const std::string complete = head + "nbkeys=4\nenabled=1\nhotkey0=2227\nhotkey1=2226\n"
                                        "hotkey2=2225\nhotkey3=2224\n";
    EXPECT_EQ(run(complete), complete);
    EXPECT_EQ(outcome, Outcome::Untouched);
    EXPECT_FALSE(journalMentions("file "));
}

TEST_F(WinampIniTest, AValueFoundTwiceCountsTwice) {
    // Four matches lower the missing count to 0 though play/pause is absent: with hotkeys
    // enabled nothing is rewritten ...
    const std::string doubled = "hotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n";
    EXPECT_EQ(run(head + "nbkeys=4\nenabled=1\n" + doubled), head + "nbkeys=4\nenabled=1\n" + doubled);
    EXPECT_EQ(outcome, Outcome::Untouched);
    EXPECT_EQ(scan.missingCount, 0);

    // ... and with them disabled play/pause is appended while the count stays 0 + 4.
    EXPECT_EQ(run(head + "nbkeys=4\nenabled=0\n" + doubled),
              head + "nbkeys=4\nenabled=1\n" + doubled +
                  "action4=ghkdc play/pause\nhotkey4=2227\n");

    // Five matches take it below zero, which forces a rewrite that appends nothing.
    const std::string five = doubled + "hotkey4=2227\n";
    EXPECT_EQ(run(head + "nbkeys=5\nenabled=1\n" + five), head + "nbkeys=4\nenabled=1\n" + five);
    EXPECT_EQ(scan.missingCount, -1);
}

TEST_F(WinampIniTest, BindingsAreAppendedAfterTheLastLineAndLaterHotkeyLinesCount) {
    const std::string before = head + "nbkeys=1\n"
                                      "enabled=1\n"
                                      "hotkey0=2224\n"
                                      "[gen_other]\n"
                                      "myhotkey=2225\n"
                                      "last=1\n";
    EXPECT_EQ(run(before), head + "nbkeys=4\n"
                                  "enabled=1\n"
                                  "hotkey0=2224\n"
                                  "[gen_other]\n"
                                  "myhotkey=2225\n"
                                  "last=1\n"
                                  "action2=ghkdc stop\n"
                                  "hotkey2=2226\n"
                                  "action3=ghkdc play/pause\n"
                                  "hotkey3=2227\n");
    EXPECT_EQ(scan.hotkeyCount, 2);
}

TEST_F(WinampIniTest, WithoutTheSectionTheFileIsCopiedUnchanged) {
    const std::string plain = "[Winamp]\nnbkeys=3\nenabled=0\nhotkey0=2224\n";
    EXPECT_EQ(run(plain), plain);
    EXPECT_EQ(outcome, Outcome::Rewritten); // still replaced by its copy
    EXPECT_EQ(rewriteState, 0);
}

TEST_F(WinampIniTest, TheStepsMustComeInOrder) {
    // "enabled=" before "nbkeys" does not count, so hotkey lines are never reached.
    const std::string before = head + "enabled=1\nnbkeys=1\nhotkey0=2224\n";
    EXPECT_EQ(run(before), head + "enabled=1\nnbkeys=4\nhotkey0=2224\n"
                                  "action0=ghkdc stop\nhotkey0=2226\n"
                                  "action1=ghkdc play/pause\nhotkey1=2227\n"
                                  "action2=ghkdc prev\nhotkey2=2225\n"
                                  "action3=ghkdc next\nhotkey3=2224\n");
    EXPECT_EQ(scan.scanState, 2);
    EXPECT_EQ(rewriteState, 2);
}

TEST_F(WinampIniTest, WithoutDirectoryOrFileNothingHappens) {
    pc->writeFile(ini, head);
    pc->setString(plat::HKCU, u"Software\\Winamp\\", u"", u"C:\\Elsewhere");
    {
        WinampIniRead reader;
        EXPECT_EQ(reader.outcome(), Outcome::NotFound);
    }
    pc->deleteTree(plat::HKCU, u"Software\\Winamp\\");
    {
        WinampIniRead reader;
        EXPECT_EQ(reader.outcome(), Outcome::NotFound);
    }
    EXPECT_EQ(pc->fileContents(ini), head);
    EXPECT_EQ(takeLog(), (std::vector<std::string>{
                             " TRACE :WinampIniRead::WinampIniRead -- Method Entry.",
                             "  LOG  :Winamp.ini not found",
                             " TRACE :WinampIniRead::WinampIniRead -- Method Exit.",
                             " TRACE :WinampIniRead::WinampIniRead -- Method Entry.",
                             "  LOG  :Winamp.ini not found",
                             " TRACE :WinampIniRead::WinampIniRead -- Method Exit.",
                         }));
}

// ------------------------------------------------------------------------ outside input

TEST_F(WinampIniTest, LongLinesAreReadInPiecesOf299Bytes) {
    // "nbkeys" split by the 299-byte boundary is in neither piece, so the state stays.
    std::string straddling = head + std::string(296, 'a') + "nbkeys=9\nenabled=1\nhotkey0=2224\n";
    EXPECT_EQ(run(straddling), straddling + "action0=ghkdc stop\nhotkey0=2226\n"
                                            "action1=ghkdc play/pause\nhotkey1=2227\n"
                                            "action2=ghkdc prev\nhotkey2=2225\n"
                                            "action3=ghkdc next\nhotkey3=2224\n");
    EXPECT_EQ(scan.scanState, 1);

    // Wholly in the second piece: that piece is the line that is replaced, the first kept.
    const std::string second = head + std::string(299, 'b') + "nbkeys=9\nenabled=0\n"
                                                              "hotkey0=2224\nhotkey1=2225\n"
                                                              "hotkey2=2226\nhotkey3=2227\n";
    EXPECT_EQ(run(second), head + std::string(299, 'b') + "nbkeys=4\nenabled=1\n"
                                                          "hotkey0=2224\nhotkey1=2225\n"
                                                          "hotkey2=2226\nhotkey3=2227\n");

    // A replaced first piece gets a line ending; its continuation stays a line of its own.
    const std::string longEnabled = head + "nbkeys=4\nenabled=" + std::string(400, '1') + "\n" +
                                    "hotkey0=2224\nhotkey1=2225\nhotkey2=2226\nhotkey3=2227\n";
    EXPECT_EQ(run(longEnabled), longEnabled); // all '1': enabled, untouched
    const std::string longDisabled = head + "nbkeys=4\nenabled=" + std::string(400, '0') + "\n" +
                                     "hotkey0=2224\nhotkey1=2225\nhotkey2=2226\nhotkey3=2227\n";
    EXPECT_EQ(run(longDisabled), head + "nbkeys=4\nenabled=1\n" + std::string(400 - 291, '0') +
                                     "\nhotkey0=2224\nhotkey1=2225\nhotkey2=2226\nhotkey3=2227\n");
}

TEST_F(WinampIniTest, TheFilesOwnLineEndingsAreKept) {
    // Windows line endings: copied lines keep theirs, written lines take the same.
    const std::string crlf = "[Winamp]\r\n[gen_hotkeys]\r\nnbkeys=1\r\nenabled=0\r\nhotkey0=2224\r\n";
    EXPECT_EQ(run(crlf), "[Winamp]\r\n[gen_hotkeys]\r\nnbkeys=4\r\nenabled=1\r\nhotkey0=2224\r\n"
                         "action1=ghkdc stop\r\nhotkey1=2226\r\n"
                         "action2=ghkdc play/pause\r\nhotkey2=2227\r\n"
                         "action3=ghkdc prev\r\nhotkey3=2225\r\n");

    // The first ending decides, even when "\r" and "\n" arrive in two pieces.
    const std::string bindings = "hotkey0=2224\nhotkey1=2225\nhotkey2=2226\n";
    const std::string split = std::string(298, ';') + "\r\n[gen_hotkeys]\nnbkeys=3\nenabled=1\n";
    EXPECT_EQ(run(split + bindings), std::string(298, ';') + "\r\n[gen_hotkeys]\nnbkeys=4\r\n"
                                                             "enabled=1\r\n" + bindings +
                                         "action3=ghkdc play/pause\r\nhotkey3=2227\r\n");

    // A last line without an ending is ended before the bindings follow it.
    const std::string open = "nbkeys=3\nenabled=1\nhotkey0=2224\nhotkey1=2225\nhotkey2=2226";
    EXPECT_EQ(run(head + open), head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2225\n"
                                       "hotkey2=2226\naction3=ghkdc play/pause\nhotkey3=2227\n");

    // No ending anywhere: Windows' own.
    EXPECT_EQ(run("[gen_hotkeys]"), "[gen_hotkeys]\r\naction0=ghkdc stop\r\nhotkey0=2226\r\n"
                                    "action1=ghkdc play/pause\r\nhotkey1=2227\r\n"
                                    "action2=ghkdc prev\r\nhotkey2=2225\r\n"
                                    "action3=ghkdc next\r\nhotkey3=2224\r\n");
}

TEST_F(WinampIniTest, NulBytesAndOtherBinaryAreCopiedWhole) {
    std::string odd = head + "nbkeys=4\n";
    odd += std::string("name=a\0b\xff\xfe\n", 11);
    odd += "enabled=1\nhotkey0=2224\nhotkey1=2225\nhotkey2=2226\n";
    EXPECT_EQ(run(odd), odd + "action3=ghkdc play/pause\nhotkey3=2227\n");
}

TEST_F(WinampIniTest, AnEmptyFileStaysEmpty) {
    EXPECT_EQ(run(""), "");
    EXPECT_EQ(outcome, Outcome::Rewritten);
}

// ------------------------------------------------------------------------ safe replacement

class WinampIniFaultTest : public WinampIniTest,
                           public ::testing::WithParamInterface<sim::FileFault> {};

TEST_P(WinampIniFaultTest, AFailedRewriteLeavesTheOriginalAndNoTempFile) {
    const std::string original = head + "nbkeys=0\nenabled=0\n";
    pc->writeFile(ini, original);
    pc->setFileFault(GetParam());
    {
        WinampIniRead reader;
        EXPECT_EQ(reader.outcome(), Outcome::Failed);
        EXPECT_EQ(reader.rewriteIni(), 0);
    }
    EXPECT_EQ(pc->fileContents(ini), original);
    EXPECT_FALSE(pc->fileExists(temp));
    pc->setFileFault(sim::FileFault::None);
    WinampIniRead again;
    EXPECT_EQ(again.outcome(), Outcome::Rewritten);
    EXPECT_NE(pc->fileContents(ini), original);
}

INSTANTIATE_TEST_SUITE_P(Faults, WinampIniFaultTest,
                         ::testing::Values(sim::FileFault::OpenForWrite, sim::FileFault::Write,
                                           sim::FileFault::Flush, sim::FileFault::Replace),
                         [](const auto& info) {
                             switch (info.param) {
                             case sim::FileFault::OpenForWrite: return std::string("OpenForWrite");
                             case sim::FileFault::Write: return std::string("Write");
                             case sim::FileFault::Flush: return std::string("Flush");
                             default: return std::string("Replace");
                             }
                         });

// A Files port that lets a test act between the program's steps, as Winamp writing its own
// file at the same moment would.
class InterferingFiles final : public plat::Files {
public:
    explicit InterferingFiles(plat::Files& inner) : inner_(inner) {}
    plat::Handle open(const plat::String& path, plat::FileMode mode) override {
        if (onOpen)
            onOpen(path, mode);
        return inner_.open(path, mode);
    }
    bool readLine(plat::Handle file, std::size_t maxBytes, std::string& line) override {
        return inner_.readLine(file, maxBytes, line);
    }
    bool write(plat::Handle file, const std::string& bytes) override {
        return inner_.write(file, bytes);
    }
    bool flush(plat::Handle file) override { return inner_.flush(file); }
    bool close(plat::Handle file) override {
        const bool closed = inner_.close(file);
        if (onClose)
            onClose();
        return closed;
    }
    bool exists(const plat::String& path) override { return inner_.exists(path); }
    bool deleteFile(const plat::String& path) override { return inner_.deleteFile(path); }
    bool replaceFile(const plat::String& replaced, const plat::String& replacement) override {
        return inner_.replaceFile(replaced, replacement);
    }
    bool moveFileReplace(const plat::String& from, const plat::String& to) override {
        return inner_.moveFileReplace(from, to);
    }

    plat::Files& inner() { return inner_; }

    std::function<void(const plat::String&, plat::FileMode)> onOpen;
    std::function<void()> onClose;

private:
    plat::Files& inner_;
};

class WinampIniRaceTest : public WinampIniTest {
protected:
    void SetUp() override {
        WinampIniTest::SetUp();
        plat::Platform bundle = plat::current();
        files = std::make_unique<InterferingFiles>(*bundle.files);
        bundle.files = files.get();
        plat::install(bundle);
    }
    std::unique_ptr<InterferingFiles> files;
};

TEST_F(WinampIniRaceTest, AFileThatChangesBetweenThePassesIsLeftToItsWriter) {
    const std::string theirs = head + "nbkeys=0\nenabled=0\nsomething=new\n";
    int opens = 0;
    files->onOpen = [&](const plat::String& path, plat::FileMode mode) {
        if (path == ini && mode == plat::FileMode::Read && ++opens == 2)
            pc->writeFile(ini, theirs);
    };
    pc->writeFile(ini, head + "nbkeys=0\nenabled=0\n");
    WinampIniRead reader;
    EXPECT_EQ(reader.outcome(), Outcome::Failed);
    EXPECT_EQ(pc->fileContents(ini), theirs);
    EXPECT_FALSE(pc->fileExists(temp));
}

TEST_F(WinampIniRaceTest, AnOriginalThatVanishedMeanwhileIsReplacedByMovingTheCopy) {
    const std::string before = head + "nbkeys=4\nenabled=0\nhotkey0=2224\nhotkey1=2225\n"
                                      "hotkey2=2226\nhotkey3=2227\n";
    files->onClose = [&] {
        // Once the copy is complete, another program deletes the original.
        if (pc->fileExists(temp) && pc->fileExists(ini))
            files->inner().deleteFile(ini);
    };
    pc->writeFile(ini, before);
    WinampIniRead reader;
    EXPECT_EQ(reader.outcome(), Outcome::Rewritten);
    EXPECT_EQ(pc->fileContents(ini), head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2225\n"
                                            "hotkey2=2226\nhotkey3=2227\n");
    EXPECT_FALSE(pc->fileExists(temp));
}

} // namespace
