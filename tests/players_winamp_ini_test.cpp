// Winamp's hotkey section on the simulated PC: the scan and rewrite passes with their
// counting and appending rules, bounded line reads, the file's own line endings, and a
// replacement that never leaves a damaged "winamp.ini" or a stray "temp.ini" behind.
#include "WinampIniRead.h"
#include "players_support.h"
#include "rewrite_faults.h"

#include <functional>

namespace {

using Outcome = WinampIniRead::Outcome;

const plat::String dir = u"C:\\Program Files\\Winamp";
const plat::String ini = dir + u"\\winamp.ini";
const plat::String temp = dir + u"\\temp.ini";
const plat::String appData = u"C:\\Users\\User\\AppData\\Roaming";

std::string narrowPath(const plat::String& path) {
    return plat::toUtf8(path);
}

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
    std::string after; // equal to before: untouched
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
    {"EmptyOrWordIsDisabled", head + "nbkeys=4\nenabled=\n" + four, head + "nbkeys=4\nenabled=1\n" + four},
    {"Complete", head + "nbkeys=4\nenabled=1\n" + four, head + "nbkeys=4\nenabled=1\n" + four,
     Outcome::Untouched},
    // A value bound twice is one value: play/pause is still added, numbered past the others,
    // and the count covers it.
    {"DoubledValue", head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n",
     head + "nbkeys=5\nenabled=1\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n"
            "action4=ghkdc play/pause\nhotkey4=2227\n"},
    {"DoubledValueDisabled", head + "nbkeys=4\nenabled=0\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n",
     head + "nbkeys=5\nenabled=1\nhotkey0=2224\nhotkey1=2224\nhotkey2=2225\nhotkey3=2226\n"
            "action4=ghkdc play/pause\nhotkey4=2227\n"},
    // Winamp reads the first line of a key: a later "hotkey1" binds nothing.
    {"FirstLineOfAKeyCounts", head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=3640\nhotkey1=2227\n"
                                     "hotkey2=2225\nhotkey3=2226\n",
     head + "nbkeys=5\nenabled=1\nhotkey0=2224\nhotkey1=3640\nhotkey1=2227\nhotkey2=2225\n"
            "hotkey3=2226\naction4=ghkdc play/pause\nhotkey4=2227\n"},
    // A count above what the bindings need stays; one below it is raised.
    {"HigherCountStays", head + "nbkeys=5\nenabled=1\nhotkey0=2224\n" + four,
     head + "nbkeys=5\nenabled=1\nhotkey0=2224\n" + four, Outcome::Untouched},
    {"CountBelowTheNumbers", head + "nbkeys=2\nenabled=1\n" + four, head + "nbkeys=4\nenabled=1\n" + four},
    {"NumbersWithGaps", head + "nbkeys=8\nenabled=1\naction0=ghkdc play\nhotkey0=3629\naction7=ghkdc vup\n"
                               "hotkey7=2224\n",
     head + "nbkeys=11\nenabled=1\naction0=ghkdc play\nhotkey0=3629\naction7=ghkdc vup\nhotkey7=2224\n" +
         "action8=ghkdc stop\nhotkey8=2226\naction9=ghkdc play/pause\nhotkey9=2227\n"
         "action10=ghkdc prev\nhotkey10=2225\n"},
    // Added at the end of the section, before the blank lines that end it; lines of later
    // sections count for nothing.
    {"LaterSection", head + "nbkeys=1\nenabled=1\nhotkey0=2224\n\n[gen_other]\nmyhotkey=2225\nhotkey1=2226\n",
     head + "nbkeys=4\nenabled=1\nhotkey0=2224\naction1=ghkdc stop\nhotkey1=2226\n"
            "action2=ghkdc play/pause\nhotkey2=2227\naction3=ghkdc prev\nhotkey3=2225\n"
            "\n[gen_other]\nmyhotkey=2225\nhotkey1=2226\n"},
    // Names are compared as the profile functions compare them; "hotkey03" is not "hotkey3".
    {"NamesInAnyCase", "[GEN_Hotkeys]\nNBKEYS=2\n Enabled =1\n" + four,
     "[GEN_Hotkeys]\nnbkeys=4\n Enabled =1\n" + four},
    {"LeadingZeroIsAnotherKey", head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2225\nhotkey2=2226\nhotkey03=2227\n",
     head + "nbkeys=4\nenabled=1\nhotkey0=2224\nhotkey1=2225\nhotkey2=2226\nhotkey03=2227\n"
            "action3=ghkdc play/pause\nhotkey3=2227\n"},
    {"NoSection", "[Winamp]\nnbkeys=3\nenabled=0\nhotkey0=2224\n", "[Winamp]\nnbkeys=3\nenabled=0\nhotkey0=2224\n",
     Outcome::Untouched},
    {"OnlyTheFirstSection", "[gen_hotkeys]\nnbkeys=4\nenabled=1\n[x]\n[gen_hotkeys]\n" + four,
     "[gen_hotkeys]\nnbkeys=4\nenabled=1\n" + allFour(0) + "[x]\n[gen_hotkeys]\n" + four},
    {"AnyOrder", head + "hotkey0=2224\nenabled=1\nnbkeys=1\n",
     head + "hotkey0=2224\nenabled=1\nnbkeys=4\naction1=ghkdc stop\nhotkey1=2226\n"
            "action2=ghkdc play/pause\nhotkey2=2227\naction3=ghkdc prev\nhotkey3=2225\n"},
    // Without a count or an "enabled" line Winamp loads nothing: both are added.
    {"NoCountNoEnabled", head + four, head + four + "nbkeys=4\nenabled=1\n"},
    // Pieces of at most 299 bytes: only the first piece of a line has its key. A long line
    // whose tail looks like a key is not one, and is copied as it is ...
    {"LongLineWithAKeyInside", head + std::string(299, 'b') + "nbkeys=9\nenabled=0\n" + four,
     head + std::string(299, 'b') + "nbkeys=9\nenabled=1\n" + four + "nbkeys=4\n"},
    // ... and a long line that is replaced goes whole.
    {"LongEnabled", head + "nbkeys=4\nenabled=" + std::string(400, '0') + "\n" + four,
     head + "nbkeys=4\nenabled=1\n" + four},
    // Copied lines keep their endings; written ones take the file's first ending ...
    {"WindowsEndings", "[Winamp]\r\n[gen_hotkeys]\r\nnbkeys=1\r\nenabled=0\r\nhotkey0=2224\r\n",
     "[Winamp]\r\n[gen_hotkeys]\r\nnbkeys=4\r\nenabled=1\r\nhotkey0=2224\r\n"
     "action1=ghkdc stop\r\nhotkey1=2226\r\naction2=ghkdc play/pause\r\nhotkey2=2227\r\n"
     "action3=ghkdc prev\r\nhotkey3=2225\r\n"},
    // ... also when its "\r" and "\n" arrive in two pieces; a replaced line keeps its own ...
    {"EndingAcrossPieces", std::string(298, ';') + "\r\n[gen_hotkeys]\nnbkeys=0\nenabled=1\n",
     std::string(298, ';') + "\r\n[gen_hotkeys]\nnbkeys=4\nenabled=1\n" + allFour(0, "\r\n")},
    // ... with Windows' own where there is none; a last line without one gets one first.
    {"NoEndingAnywhere", "[gen_hotkeys]", "[gen_hotkeys]\r\nnbkeys=4\r\nenabled=1\r\n" + allFour(0, "\r\n")},
    {"OpenLastLine", head + "nbkeys=0\nenabled=1\nhotkey0=2227",
     head + "nbkeys=4\nenabled=1\nhotkey0=2227\naction1=ghkdc stop\nhotkey1=2226\n"
            "action2=ghkdc prev\nhotkey2=2225\naction3=ghkdc next\nhotkey3=2224\n"},
    // A replaced last line without an ending keeps none of its own, and gets the file's
    // before what is added after it.
    {"ReplacedOpenLastLine", head + "enabled=1\nhotkey0=2224\nnbkeys=1",
     head + "enabled=1\nhotkey0=2224\nnbkeys=4\naction1=ghkdc stop\nhotkey1=2226\n"
            "action2=ghkdc play/pause\nhotkey2=2227\naction3=ghkdc prev\nhotkey3=2225\n"},
    {"NulAndHighBytes", head + std::string("nbkeys=4\nna\0me=\xff\xfe\nenabled=0\n", 28) + four,
     head + std::string("nbkeys=4\nna\0me=\xff\xfe\nenabled=1\n", 28) + four},
    {"Empty", "", "", Outcome::Untouched},
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

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
    const auto journal = pc->takeJournal();
    faulttest::expectOnly(*pc, dir, u"winamp.ini", c.after, {ini}, journal);
    // Only a rewrite writes: the flushed copy beside the original swaps in, with the
    // original as the backup that then goes.
    if (c.outcome == Outcome::Untouched) {
        EXPECT_TRUE(journal.empty());
        return;
    }
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(journal[0].rfind("file written: C:\\Program Files\\Winamp\\temp.ini", 0), 0u);
    EXPECT_EQ(journal[1], "file backed up: C:\\Program Files\\Winamp\\temp.ini.bak");
    EXPECT_EQ(journal[2], "file replaced: " + narrowPath(ini) + " (" +
                              std::to_string(c.after.size()) + " bytes)");
    EXPECT_EQ(journal[3], "file deleted: C:\\Program Files\\Winamp\\temp.ini.bak");

    // Once done, a second run finds nothing to do.
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::Untouched);
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

// Each failure in the program folder, and in the user's folder that paths.ini names.
class FaultTest : public WinampIniTest,
                  public ::testing::WithParamInterface<std::tuple<faulttest::FaultCase, bool>> {};

TEST_P(FaultTest, AFailureLeavesTheOldOrTheNewContentsAndNothingBeside) {
    const auto& [c, perUser] = GetParam();
    const plat::String folder = perUser ? appData + u"\\Winamp" : dir;
    const plat::String file = folder + u"\\winamp.ini";
    if (perUser) {
        pc->writeFile(dir + u"\\paths.ini", "[Winamp]\r\ninidir={26}\\Winamp\r\n");
        pc->createFolder(folder);
    }
    const std::string original = "[gen_hotkeys]\r\nnbkeys=0\r\nenabled=0\r\n";
    const std::string rewritten = "[gen_hotkeys]\r\nnbkeys=4\r\nenabled=1\r\n" + allFour(0, "\r\n");
    pc->writeFile(file, original);
    pc->takeJournal();
    faulttest::arm(*pc, c, perUser ? 2 : 1); // paths.ini, then the scan, before the copy
    EXPECT_EQ(WinampIniRead().outcome(), c.newContents ? Outcome::Rewritten : Outcome::Failed);
    faulttest::expectOnly(*pc, folder, u"winamp.ini", c.newContents ? rewritten : original, {file},
                          pc->takeJournal());
    pc->setFileFault(sim::FileFault::None);
    EXPECT_EQ(WinampIniRead().outcome(), c.newContents ? Outcome::Untouched : Outcome::Rewritten);
    EXPECT_EQ(pc->fileContents(file), rewritten);
}

INSTANTIATE_TEST_SUITE_P(Files, FaultTest,
                         ::testing::Combine(::testing::ValuesIn(faulttest::kFaultCases),
                                            ::testing::Bool()),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param).name) +
                                    (std::get<1>(p.param) ? "PerUser" : "");
                         });

// ------------------------------------------------------------------------ where winamp.ini is

// paths.ini beside winamp.exe names the settings folder; what cannot be used leaves the
// settings in the program folder. Both the program and Winamp itself (the simulated PC's
// Winamp, reading paths.ini its own way) find the same folder.
struct FolderCase {
    const char* name;
    std::string pathsIni; // nothing written when empty
    plat::String expected;
    std::vector<plat::String> folders = {}; // created beforehand
    bool unreadable = false;                // reading paths.ini fails once
};

const FolderCase folderCases[] = {
    {"ShellFolder26", "[Winamp]\r\ninidir={26}\\Winamp\r\n", appData + u"\\Winamp", {appData + u"\\Winamp"}},
    {"PlainPath", "[Winamp]\r\ninidir=D:\\Settings\\Winamp\\\r\n", u"D:\\Settings\\Winamp",
     {u"D:\\Settings\\Winamp"}},
    {"Variable", "[Winamp]\r\ninidir=%LOCALAPPDATA%\\Winamp\r\n",
     u"C:\\Users\\User\\AppData\\Local\\Winamp", {u"C:\\Users\\User\\AppData\\Local\\Winamp"}},
    {"Relative", "[Winamp]\r\ninidir=Settings\r\n", dir + u"\\Settings", {dir + u"\\Settings"}},
    {"MissingFolder", "[Winamp]\r\ninidir={26}\\Winamp\r\n", dir},
    // Read as the profile functions read it: names in any case, blanks and quotes around
    // the value, the first "[Winamp]" section only.
    {"ProfileSpelling", "[other]\ninidir=D:\\Other\n[ WINAMP ]\n  InIDir = \"{26}\\Winamp\" \n",
     appData + u"\\Winamp", {appData + u"\\Winamp", u"D:\\Other"}},
    {"NoPathsIni", "", dir, {appData + u"\\Winamp"}},
    {"NoInidir", "[Winamp]\r\nm3udir={26}\\Winamp\r\n", dir, {appData + u"\\Winamp"}},
    {"ShellFolderUnknown", "[Winamp]\r\ninidir={99}\\Winamp\r\n", dir},
    {"Unreadable", "[Winamp]\r\ninidir={26}\\Winamp\r\n", dir, {appData + u"\\Winamp"}, true},
};

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingsFolderTest : public WinampIniTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(SettingsFolderTest, TheHotkeysAreBoundInTheFolderPathsIniNames) {
    const FolderCase& c = GetParam();
    sim::PlayerConfig winamp;
    winamp.name = u"Winamp";
    winamp.directory = dir;
    winamp.winampIni.reset();
    ASSERT_TRUE(pc->installPlayer(winamp));
    for (const auto& folder : c.folders)
        pc->createFolder(folder);
    if (!c.pathsIni.empty())
        pc->writeFile(dir + u"\\paths.ini", c.pathsIni);
    // The program folder keeps an older winamp.ini, from before the settings moved.
    const std::string stale = head + "nbkeys=0\nenabled=0\n";
    const std::string before = "[gen_hotkeys]\r\nnbkeys=4\r\nenabled=0\r\n" + four;
    pc->writeFile(ini, stale);
    const plat::String file = c.expected + u"\\winamp.ini";
    pc->writeFile(file, before);
    if (c.unreadable) {
        pc->setFileFault(sim::FileFault::Read);
        pc->limitReadFaults(1);
    }
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::Rewritten);
    EXPECT_EQ(pc->fileContents(file), "[gen_hotkeys]\r\nnbkeys=4\r\nenabled=1\r\n" + four);
    if (c.expected != dir)
        EXPECT_EQ(pc->fileContents(ini), stale);
    EXPECT_FALSE(pc->fileExists(c.expected + u"\\temp.ini"));
    pc->setFileFault(sim::FileFault::None);
    if (!c.unreadable)
        EXPECT_EQ(pc->winampSettingsFolder(), c.expected) << "where Winamp itself looks";
}

INSTANTIATE_TEST_SUITE_P(Files, SettingsFolderTest, ::testing::ValuesIn(folderCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(WinampIniTest, AReadErrorInTheScanDecidesNothing) {
    const std::string original = head + "nbkeys=0\nenabled=0\n";
    pc->writeFile(ini, original);
    pc->setFileFault(sim::FileFault::Read);
    EXPECT_EQ(WinampIniRead().outcome(), Outcome::Failed);
    pc->setFileFault(sim::FileFault::None);
    EXPECT_EQ(pc->fileContents(ini), original);
    EXPECT_EQ(pc->folderFiles(dir), std::vector<plat::String>{ini});
}

// Lets a test act between the program's file steps, as Winamp writing its file would.
class InterferingFiles final : public plat::Files {
public:
    explicit InterferingFiles(plat::Files& inner) : in(inner) {}
    plat::Handle open(const plat::String& path, plat::FileMode mode) override {
        if (onOpen)
            onOpen(path, mode);
        return in.open(path, mode);
    }
    plat::ReadResult readLine(plat::Handle f, std::size_t max, std::string& line) override {
        return in.readLine(f, max, line);
    }
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
    std::uint32_t replaceFile(const plat::String& a, const plat::String& b, const plat::String* c) override {
        return in.replaceFile(a, b, c);
    }
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
