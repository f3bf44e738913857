// The simulated file system: case-insensitive paths, fgets-style lines, and replacement in
// one step that leaves the original intact when it fails.
#include "sim_pc.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class SimFiles : public testing::Test {
protected:
    sim::SimPc pc;
    plat::Files& files = *pc.bundle().files;
    const plat::String ini = u"C:\\Program Files\\Winamp\\winamp.ini";
};

TEST_F(SimFiles, LinesAreReadAsFgetsReadsThem) {
    pc.writeFile(ini, "[out_ds]\r\ndevice=Speakers\nlast");
    const plat::Handle f = files.open(u"c:/program files/WINAMP/Winamp.INI", plat::FileMode::Read);
    ASSERT_NE(f, 0u);
    std::string line;
    using R = plat::ReadResult;
    ASSERT_EQ(files.readLine(f, 5, line), R::Line);
    EXPECT_EQ(line, "[out") << "at most maxBytes - 1 bytes";
    ASSERT_EQ(files.readLine(f, 100, line), R::Line);
    EXPECT_EQ(line, "_ds]\r\n") << "the newline stays";
    ASSERT_EQ(files.readLine(f, 100, line), R::Line);
    EXPECT_EQ(line, "device=Speakers\n");
    ASSERT_EQ(files.readLine(f, 100, line), R::Line);
    EXPECT_EQ(line, "last");
    EXPECT_EQ(files.readLine(f, 100, line), R::End);
    EXPECT_EQ(files.readLine(f, 1, line), R::Error) << "no room for a byte";
    EXPECT_FALSE(files.write(f, "x")) << "opened for reading";
    EXPECT_TRUE(files.close(f));
    EXPECT_FALSE(files.close(f));
    EXPECT_EQ(files.open(u"C:\\nowhere.ini", plat::FileMode::Read), 0u);
}

TEST_F(SimFiles, AReadFaultStrikesMidFileAndSparesTheOpensAskedFor) {
    pc.writeFile(ini, "one\ntwo\nthree\n");
    pc.setFileFault(sim::FileFault::Read);
    pc.spareReads(1);
    std::string line;
    using R = plat::ReadResult;
    const auto readAll = [&] {
        const plat::Handle f = files.open(ini, plat::FileMode::Read);
        std::vector<R> results;
        for (int i = 0; i < 5; ++i)
            results.push_back(files.readLine(f, 100, line));
        files.close(f);
        return results;
    };
    EXPECT_EQ(readAll(), (std::vector<R>{R::Line, R::Line, R::Line, R::End, R::End}));
    EXPECT_EQ(readAll(), (std::vector<R>{R::Line, R::Error, R::Error, R::Error, R::Error}));
}

class SimReplace : public SimFiles {
protected:
    const plat::String scratch = u"C:\\Program Files\\Winamp\\temp.ini";
    const plat::String backup = u"C:\\Program Files\\Winamp\\temp.ini.bak";
    void SetUp() override {
        pc.writeFile(ini, "old");
        const plat::Handle f = files.open(scratch, plat::FileMode::WriteNew);
        ASSERT_NE(f, 0u);
        ASSERT_TRUE(files.write(f, "new contents\n"));
        ASSERT_TRUE(files.close(f));
    }
    std::vector<plat::String> left() { return pc.folderFiles(u"c:\\program files\\winamp"); }
};

TEST_F(SimReplace, SwapsInOneStepKeepingTheBackupAndSaysWhetherItWasFlushed) {
    EXPECT_EQ(files.replaceFile(ini, scratch, &backup), ERROR_SUCCESS);
    EXPECT_EQ(pc.fileContents(ini), "new contents\n");
    EXPECT_EQ(pc.fileContents(backup), "old");
    EXPECT_FALSE(pc.fileExists(scratch));
    const auto journal = pc.takeJournal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back(), "file replaced: C:\\Program Files\\Winamp\\winamp.ini (13 bytes, not flushed)");
    EXPECT_EQ(files.replaceFile(u"C:\\absent.ini", ini, nullptr), ERROR_FILE_NOT_FOUND)
        << "ReplaceFileW needs the file it replaces";
}

TEST_F(SimReplace, EachFailureLeavesWhatWindowsDocumentsForIt) {
    pc.setFileFault(sim::FileFault::ReplaceUnableToRemove);
    EXPECT_EQ(files.replaceFile(ini, scratch, &backup), ERROR_UNABLE_TO_REMOVE_REPLACED);
    EXPECT_EQ(left(), (std::vector<plat::String>{scratch, ini}));
    EXPECT_EQ(pc.fileContents(ini), "old");

    pc.setFileFault(sim::FileFault::ReplaceUnableToMove);
    EXPECT_EQ(files.replaceFile(ini, scratch, &backup), ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    EXPECT_EQ(left(), (std::vector<plat::String>{scratch, ini})) << "with a backup name";
    EXPECT_EQ(files.replaceFile(ini, scratch, nullptr), ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    EXPECT_EQ(left(), std::vector<plat::String>{scratch}) << "without one the original is gone";

    pc.writeFile(ini, "old");
    pc.setFileFault(sim::FileFault::ReplaceUnableToMove2);
    EXPECT_EQ(files.replaceFile(ini, scratch, &backup), ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    EXPECT_EQ(left(), (std::vector<plat::String>{scratch, backup}));
    EXPECT_EQ(pc.fileContents(backup), "old");
    pc.writeFile(ini, "older");
    EXPECT_EQ(files.replaceFile(ini, scratch, nullptr), ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    EXPECT_EQ(pc.fileContents(u"C:\\Program Files\\Winamp\\~RF1.TMP"), "older");

    pc.setFileFault(sim::FileFault::Move);
    EXPECT_FALSE(files.moveFileReplace(scratch, ini));
    pc.setFileFault(sim::FileFault::None);
    EXPECT_TRUE(files.moveFileReplace(scratch, ini));
    EXPECT_EQ(pc.fileContents(ini), "new contents\n");
}

TEST_F(SimFiles, FilesAreCreatedOnlyInFoldersThatExist) {
    pc.writeFile(ini, "old");
    EXPECT_EQ(files.open(u"D:\\No Folder\\x.ini", plat::FileMode::WriteNew), 0u);
    pc.createFolder(u"D:\\Folder");
    const plat::Handle g = files.open(u"D:\\Folder\\x.ini", plat::FileMode::WriteNew);
    ASSERT_NE(g, 0u);
    files.close(g);
    EXPECT_TRUE(files.moveFileReplace(u"d:\\folder\\X.ini", ini));
    EXPECT_EQ(pc.fileContents(ini), "");
    EXPECT_TRUE(files.deleteFile(ini));
    EXPECT_FALSE(files.exists(ini));
}

} // namespace
