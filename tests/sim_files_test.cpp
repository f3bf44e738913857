// The simulated file system: case-insensitive paths, fgets-style lines, and replacement in
// one step that leaves the original intact when it fails.
#include "sim_pc.h"

#include <gtest/gtest.h>

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
    ASSERT_TRUE(files.readLine(f, 5, line));
    EXPECT_EQ(line, "[out") << "at most maxBytes - 1 bytes";
    ASSERT_TRUE(files.readLine(f, 100, line));
    EXPECT_EQ(line, "_ds]\r\n") << "the newline stays";
    ASSERT_TRUE(files.readLine(f, 100, line));
    EXPECT_EQ(line, "device=Speakers\n");
    ASSERT_TRUE(files.readLine(f, 100, line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(files.readLine(f, 100, line));
    EXPECT_FALSE(files.write(f, "x")) << "opened for reading";
    EXPECT_TRUE(files.close(f));
    EXPECT_FALSE(files.close(f));
    EXPECT_EQ(files.open(u"C:\\nowhere.ini", plat::FileMode::Read), 0u);
}

TEST_F(SimFiles, ASafeReplacementSwapsInOneStepOrLeavesTheOriginal) {
    pc.writeFile(ini, "old");
    const plat::String scratch = u"C:\\Program Files\\Winamp\\winamp.ini.new";
    const plat::Handle f = files.open(scratch, plat::FileMode::WriteNew);
    ASSERT_NE(f, 0u);
    ASSERT_TRUE(files.write(f, "new contents\n"));
    ASSERT_TRUE(files.flush(f));
    ASSERT_TRUE(files.close(f));

    pc.setFileFault(sim::FileFault::Replace);
    EXPECT_FALSE(files.replaceFile(ini, scratch));
    EXPECT_EQ(pc.fileContents(ini), "old");
    pc.setFileFault(sim::FileFault::None);
    EXPECT_TRUE(files.replaceFile(ini, scratch));
    EXPECT_EQ(pc.fileContents(ini), "new contents\n");
    EXPECT_FALSE(pc.fileExists(scratch));
    EXPECT_FALSE(files.replaceFile(u"C:\\absent.ini", ini))
        << "ReplaceFileW needs the file it replaces";

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
