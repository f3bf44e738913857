// The files port: line reading as the configuration readers use it, and the one-step
// replacement of a configuration file.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace {

using plat::String;

class FilesPort : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + qa_test::uniqueName(L"qa-files") + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
    }
    void TearDown() override {
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW((dir_ + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    ::DeleteFileW((dir_ + found.cFileName).c_str());
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryW(dir_.c_str());
    }

    String path(const wchar_t* name) const { return qa_test::u16(dir_ + name); }

    void writeFile(const String& file, const std::string& bytes) {
        const plat::Handle f = files.open(file, plat::FileMode::WriteNew);
        ASSERT_NE(f, 0u);
        ASSERT_TRUE(files.write(f, bytes));
        ASSERT_TRUE(files.flush(f));
        ASSERT_TRUE(files.close(f));
    }

    std::vector<std::string> readLines(const String& file, std::size_t maxBytes) {
        std::vector<std::string> lines;
        const plat::Handle f = files.open(file, plat::FileMode::Read);
        if (!f)
            return lines;
        std::string line;
        // Bounded: a reader that never reports the end must not hang the test.
        for (int i = 0; i < 1000 && files.readLine(f, maxBytes, line); ++i)
            lines.push_back(line);
        files.close(f);
        return lines;
    }

    plat::Files& files = plat::files();
    std::wstring dir_;
};

TEST_F(FilesPort, ReadsLinesAsWrittenWithinTheLimit) {
    const String file = path(L"winamp.ini");
    writeFile(file, "[out_ds]\r\ncfg_device=2\nlast");
    EXPECT_EQ(readLines(file, 256),
              (std::vector<std::string>{"[out_ds]\r\n", "cfg_device=2\n", "last"}));
    // At most maxBytes - 1 bytes per call; the rest of a long line comes next.
    EXPECT_EQ(readLines(file, 5), (std::vector<std::string>{"[out", "_ds]", "\r\n", "cfg_", "devi",
                                                            "ce=2", "\n", "last"}));
    EXPECT_TRUE(readLines(file, 1).empty());
}

TEST_F(FilesPort, OpensExistsAndDeletesByUnicodePath) {
    const String file = path(L"\u00e9t\u00e9 Auravo.ini");
    EXPECT_FALSE(files.exists(file));
    EXPECT_EQ(files.open(file, plat::FileMode::Read), 0u);
    writeFile(file, "x");
    EXPECT_TRUE(files.exists(file));
    EXPECT_TRUE(files.deleteFile(file));
    EXPECT_FALSE(files.exists(file));
    EXPECT_FALSE(files.deleteFile(file));
}

TEST_F(FilesPort, ReplaceFileSwapsInOneStep) {
    const String target = path(L"winamp.ini");
    const String scratch = path(L"winamp.ini.new");
    writeFile(target, "old\n");
    writeFile(scratch, "new\n");
    ASSERT_TRUE(files.replaceFile(target, scratch));
    EXPECT_EQ(readLines(target, 64), (std::vector<std::string>{"new\n"}));
    EXPECT_FALSE(files.exists(scratch));

    // Nothing to replace: the call fails and the replacement stays where it was.
    const String absent = path(L"absent.ini");
    writeFile(scratch, "newer\n");
    EXPECT_FALSE(files.replaceFile(absent, scratch));
    EXPECT_FALSE(files.exists(absent));
    EXPECT_EQ(readLines(scratch, 64), (std::vector<std::string>{"newer\n"}));
}

TEST_F(FilesPort, MoveReplacesAnExistingTargetOrCreatesIt) {
    const String target = path(L"winamp.ini");
    const String scratch = path(L"scratch.tmp");
    writeFile(scratch, "first\n");
    ASSERT_TRUE(files.moveFileReplace(scratch, target));
    EXPECT_FALSE(files.exists(scratch));
    writeFile(scratch, "second\n");
    ASSERT_TRUE(files.moveFileReplace(scratch, target));
    EXPECT_EQ(readLines(target, 64), (std::vector<std::string>{"second\n"}));
    EXPECT_FALSE(files.moveFileReplace(scratch, target));
}

} // namespace
