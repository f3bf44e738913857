// Winamp's hotkey section on the simulated PC: the scan and rewrite passes with their
// counting and appending rules, bounded line reads, the file's own line endings, and a
// replacement that never leaves a damaged "winamp.ini" or a stray "temp.ini" behind.
#include "WinampIniRead.h"
#include "players_support.h"

#include <functional>

namespace {

using Outcome = WinampIniRead::Outcome;

const plat::String dir = u"C:\\Program Files\\Winamp";
const plat::String ini = dir + u"\\winamp.ini";
const plat::String temp = dir + u"\\temp.ini";

const std::string head = "[Winamp]\noutname=out_wave.dll\n[gen_hotkeys]\n";
const std::string four = "hotkey0=2224\nhotkey1=2225\nhotkey2=2226\nhotkey3=2227\n";
// All four appended, numbered from n, in their order.
std::string allFour(int n, const std::string& eol = "\n") {
    auto pair = [&](int i, const char* action, const char* value) {
        return "action" + std::to_string(n + i) + "=ghkdc " + action + eol + "hotkey" +
               std::to_string(n + i) + "=" + value + eol;
    };
    return pair(0, "stop", "2226") + pair(1, "play/pause", "2227") + pair(2, "prev", "2225") +
           pair(3, "next", "2224");
}

struct Case {
    const char* name;
    std::string before;
    std::string after; // equal to before: untouched, or copied unchanged
    Outcome outcome = Outcome::Rewritten;
};

const Case cases[] = {
    {"OneBindingMissing", head + "nbkeys=3\nenabled=1\nhotkey0=2224\nhotkey1=2225\nhotkey2=2226\n",
     head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2225\nhotkey2=2226\n"
            "action3=ghkdc play/pause\nhotkey3=2227\n"},
    {"OthersKeepTheirNumbers", head + "nbkeys=2\nenabled=0\naction0=ghkdc play\nhotkey0=3629\n"
                                      "action1=ghkdc vup\nhotkey1=3640\n",
     head + "nbkeys=6\nenabled=1\naction0=ghkdc play\nhotkey0=3629\naction1=ghkdc vup\n"
            "hotkey1=3640\n" + allFour(2)},
    {"Disabled", head + "nbkeys=4\nenabled=0\n" + four, head + "nbkeys=4\nenabled=1\n" + four},
    {"TenContainsAZero", head + "nbkeys=4\nenabled=10\n" + four, head + "nbkeys=4\nenabled=1\n" + four},
    {"Complete", head + "nbkeys=4\nenabled=1\n" + four, head + "nbkeys=4\nenabled=1\n" + four,
     Outcome::Untouched},
    // A value on two lines lowers the missing count twice: play/pause is then never added
    // while hotkeys are on ...
    {"DoubledValueEnabled", head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n",
     head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n",
     Outcome::Untouched},
    // ... is appended when they were off, the count staying 0 + 4 ...
    {"DoubledValueDisabled", head + "nbkeys=4\nenabled=0\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n",
     head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n"
            "action4=ghkdc play/pause\nhotkey4=2227\n"},
    // ... and five matches, below zero, force a rewrite that appends nothing.
    {"FiveMatches", head + "nbkeys=5\nenabled=1\nhotkey0=2224\n" + four,
     head + "nbkeys=4\nenabled=1\nhotkey0=2224\n" + four},
    // Appended after the file's last line; hotkey lines of later sections count.
    {"LaterSection", head + "nbkeys=1\nenabled=1\nhotkey0=2224\n[gen_other]\nmyhotkey=2225\nlast=1\n",
     head + "nbkeys=4\nenabled=1\nhotkey0=2224\n[gen_other]\nmyhotkey=2225\nlast=1\n"
            "action2=ghkdc stop\nhotkey2=2226\naction3=ghkdc play/pause\nhotkey3=2227\n"},
    {"NoSection", "[Winamp]\nnbkeys=3\nenabled=0\nhotkey0=2224\n", "[Winamp]\nnbkeys=3\nenabled=0\nhotkey0=2224\n"},
    // "enabled=" before "nbkeys" does not count, so no hotkey line is ever counted.
    {"OutOfOrder", head + "enabled=1\nnbkeys=1\nhotkey0=2224\n",
     head + "enabled=1\nnbkeys=4\nhotkey0=2224\n" + allFour(0)},
    // Lines are read in pieces of at most 299 bytes: "nbkeys" across the boundary is in
    // neither piece ...
    {"SplitWord", head + std::string(296, 'a') + "nbkeys=9\nenabled=1\n" + four,
     head + std::string(296, 'a') + "nbkeys=9\nenabled=1\n" + four + allFour(0)},
    // ... a second piece is a line of its own, replaced without its first ...
    {"SecondPiece", head + std::string(299, 'b') + "nbkeys=9\nenabled=0\n" + four,
     head + std::string(299, 'b') + "nbkeys=4\nenabled=1\n" + four},
    // ... and a replaced first piece leaves its continuation behind as a line.
    {"LongEnabled", head + "nbkeys=4\nenabled=" + std::string(400, '0') + "\n" + four,
     head + "nbkeys=4\nenabled=1\n" + std::string(109, '0') + "\n" + four},
    // Copied lines keep their endings; written ones take the file's first ending ...
    {"WindowsEndings", "[Winamp]\r\n[gen_hotkeys]\r\nnbkeys=1\r\nenabled=0\r\nhotkey0=2224\r\n",
     "[Winamp]\r\n[gen_hotkeys]\r\nnbkeys=4\r\nenabled=1\r\nhotkey0=2224\r\n"
     "action1=ghkdc stop\r\nhotkey1=2226\r\naction2=ghkdc play/pause\r\nhotkey2=2227\r\n"
     "action3=ghkdc prev\r\nhotkey3=2225\r\n"},
    // ... also when its "\r" and "\n" arrive in two pieces ...
    {"EndingAcrossPieces", std::string(298, ';') + "\r\n[gen_hotkeys]\nnbkeys=0\nenabled=1\n",
     std::string(298, ';') + "\r\n[gen_hotkeys]\nnbkeys=4\r\nenabled=1\r\n" + allFour(0, "\r\n")},
    // ... with Windows' own where there is none; a last line without one gets one first.
    {"NoEndingAnywhere", "[gen_hotkeys]", "[gen_hotkeys]\r\n" + allFour(0, "\r\n")},
    {"OpenLastLine", head + "nbkeys=0\nenabled=1\nhotkey0=2227",
     head + "nbkeys=4\nenabled=1\nhotkey0=2227\naction1=ghkdc stop\nhotkey1=2226\n"
            "action2=ghkdc prev\nhotkey2=2225\naction3=ghkdc next\nhotkey3=2224\n"},
    {"NulAndHighBytes", head + std::string("nbkeys=4\nna\0me=\xff\xfe\nenabled=0\n", 28) + four,
     head + std::string("nbkeys=4\nna\0me=\xff\xfe\nenabled=1\n", 28) + four},
    {"Empty", "", ""},
};

class WinampIniTest : public pptest::PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        pc->setString(plat::HKCU, u"Software\\Winamp\\", u"", dir);
    }
};

class HotkeyPassTest : public WinampIniTest, public ::testing::WithParamInterface<Case> {};

TEST_P(HotkeyPassTest, TheFileComesOutAsExpected) {
    const Case& c = GetParam();
    pc->writeFile(ini, c.before);
    pc->takeJournal();
    WinampIniRead run;
    EXPECT_EQ(run.outcome(), c.outcome);
    EXPECT_EQ(pc->fileContents(ini), c.after);
    EXPECT_FALSE(pc->fileExists(temp));
    // Only a rewrite writes, and only beside the original.
    const auto journal = pc->takeJournal();
    ASSERT_EQ(journal.size(), c.outcome == Outcome::Untouched ? 0u : 2u);
    if (c.outcome == Outcome::Rewritten)
        EXPECT_EQ(journal.front().rfind("file written: C:\\Program Files\\Winamp\\temp.ini", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, HotkeyPassTest, ::testing::ValuesIn(cases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(WinampIniTest, WithoutDirectoryOrFileOnlyTheNoticeIsLogged) {
    pc->writeFile(ini, head);
    pc->setString(plat::HKCU, u"Software\\Winamp\\", u"", u"C:\\Elsewhere");
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::NotFound);
    pc->deleteTree(plat::HKCU, u"Software\\Winamp\\");
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::NotFound);
    EXPECT_EQ(pc->fileContents(ini), head);
    const std::vector<std::string> once = {
        " TRACE :WinampIniRead::WinampIniRead -- Method Entry.",
        "  LOG  :Winamp.ini not found",
        " TRACE :WinampIniRead::WinampIniRead -- Method Exit.",
    };
    auto twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(pptest::takeLog(), twice);
}

// ------------------------------------------------------------------------ safe replacement

class FaultTest : public WinampIniTest, public ::testing::WithParamInterface<sim::FileFault> {};

TEST_P(FaultTest, AFailedRewriteLeavesTheOriginalAndNoTempFile) {
    const std::string original = head + "nbkeys=0\nenabled=0\n";
    pc->writeFile(ini, original);
    pc->setFileFault(GetParam());
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::Failed);
    EXPECT_EQ(pc->fileContents(ini), original);
    EXPECT_FALSE(pc->fileExists(temp));
    pc->setFileFault(sim::FileFault::None);
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::Rewritten);
}

INSTANTIATE_TEST_SUITE_P(Files, FaultTest,
                         ::testing::Values(sim::FileFault::OpenForWrite, sim::FileFault::Write,
                                           sim::FileFault::Flush, sim::FileFault::Replace));

// Lets a test act between the program's file steps, as Winamp writing its file would.
class InterferingFiles final : public plat::Files {
public:
    explicit InterferingFiles(plat::Files& inner) : in(inner) {}
    plat::Handle open(const plat::String& path, plat::FileMode mode) override {
        if (onOpen)
            onOpen(path, mode);
        return in.open(path, mode);
    }
    bool readLine(plat::Handle f, std::size_t max, std::string& line) override { return in.readLine(f, max, line); }
    bool write(plat::Handle f, const std::string& bytes) override { return in.write(f, bytes); }
    bool flush(plat::Handle f) override { return in.flush(f); }
    bool close(plat::Handle f) override {
        const bool closed = in.close(f);
        if (onClose)
            onClose();
        return closed;
    }
    bool exists(const plat::String& p) override { return in.exists(p); }
    bool deleteFile(const plat::String& p) override { return in.deleteFile(p); }
    bool replaceFile(const plat::String& a, const plat::String& b) override { return in.replaceFile(a, b); }
    bool moveFileReplace(const plat::String& a, const plat::String& b) override { return in.moveFileReplace(a, b); }

    plat::Files& in;
    std::function<void(const plat::String&, plat::FileMode)> onOpen;
    std::function<void()> onClose;
};

TEST_F(WinampIniTest, AFileChangedBetweenThePassesIsLeftToItsWriter) {
    auto& files = wrap<InterferingFiles>(&plat::Platform::files);
    const std::string theirs = head + "nbkeys=0\nenabled=0\nsomething=new\n";
    int opens = 0;
    files.onOpen = [&](const plat::String& path, plat::FileMode mode) {
        if (path == ini && mode == plat::FileMode::Read && ++opens == 2)
            pc->writeFile(ini, theirs);
    };
    pc->writeFile(ini, head + "nbkeys=0\nenabled=0\n");
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::Failed);
    EXPECT_EQ(pc->fileContents(ini), theirs);
    EXPECT_FALSE(pc->fileExists(temp));
}

TEST_F(WinampIniTest, AnOriginalThatVanishedMeanwhileIsReplacedByMovingTheCopy) {
    auto& files = wrap<InterferingFiles>(&plat::Platform::files);
    files.onClose = [&] {
        if (pc->fileExists(temp) && pc->fileExists(ini)) // the copy is complete
            files.in.deleteFile(ini);
    };
    pc->writeFile(ini, head + "nbkeys=4\nenabled=0\n" + four);
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::Rewritten);
    EXPECT_EQ(pc->fileContents(ini), head + "nbkeys=4\nenabled=1\n" + four);
    EXPECT_FALSE(pc->fileExists(temp));
}

} // namespace
