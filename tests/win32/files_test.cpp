// The files port: line reading as the configuration readers use it, and the one-step
// replacement of a configuration file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

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
        for (int i = 0; i < 1000 && files.readLine(f, maxBytes, line) == plat::ReadResult::Line; ++i)
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

TEST_F(FilesPort, ReplaceFileSwapsInOneStepKeepingTheOriginalAsTheBackup) {
    const String target = path(L"winamp.ini");
    const String scratch = path(L"temp.ini");
    const String backup = path(L"temp.ini.bak");
    writeFile(target, "old\n");
    writeFile(scratch, "new\n");
    ASSERT_EQ(files.replaceFile(target, scratch, &backup), ERROR_SUCCESS);
    EXPECT_EQ(readLines(target, 64), (std::vector<std::string>{"new\n"}));
    EXPECT_EQ(readLines(backup, 64), (std::vector<std::string>{"old\n"}));
    EXPECT_FALSE(files.exists(scratch));

    // An earlier backup is replaced; without a backup name none is made.
    writeFile(scratch, "newer\n");
    ASSERT_EQ(files.replaceFile(target, scratch, &backup), ERROR_SUCCESS);
    EXPECT_EQ(readLines(backup, 64), (std::vector<std::string>{"new\n"}));
    ASSERT_TRUE(files.deleteFile(backup));
    writeFile(scratch, "newest\n");
    ASSERT_EQ(files.replaceFile(target, scratch, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(readLines(target, 64), (std::vector<std::string>{"newest\n"}));
    EXPECT_FALSE(files.exists(backup));

    // Nothing to replace: an error, and the replacement stays where it was.
    const String absent = path(L"absent.ini");
    writeFile(scratch, "newer\n");
    EXPECT_NE(files.replaceFile(absent, scratch, &backup), ERROR_SUCCESS);
    EXPECT_FALSE(files.exists(absent));
    EXPECT_EQ(readLines(scratch, 64), (std::vector<std::string>{"newer\n"}));
}

// The failure Wine can produce: another program holds the original open without letting it
// be deleted. The replace fails with nothing moved, and the safe rewrite puts things back.
TEST_F(FilesPort, AReplacedFileHeldOpenFailsTheReplaceWithNothingMoved) {
    const String target = path(L"winamp.ini");
    const String scratch = path(L"temp.ini");
    const String backup = path(L"temp.ini.bak");
    writeFile(target, "old\n");
    writeFile(scratch, "new\n");
    HANDLE held = ::CreateFileW(plat::win32::wide(target).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::uint32_t error = files.replaceFile(target, scratch, &backup);
    ::CloseHandle(held);
    EXPECT_NE(error, ERROR_SUCCESS);
    std::printf("[ measured ] ReplaceFileW with the original held open: error %u\n",
                static_cast<unsigned>(error));
    EXPECT_EQ(readLines(target, 64), (std::vector<std::string>{"old\n"}));
    EXPECT_EQ(readLines(scratch, 64), (std::vector<std::string>{"new\n"}));
}

TEST_F(FilesPort, ReadingTellsTheEndFromAFailure) {
    const String file = path(L"winamp.ini");
    writeFile(file, "one\n");
    const plat::Handle f = files.open(file, plat::FileMode::Read);
    ASSERT_NE(f, 0u);
    std::string line;
    EXPECT_EQ(files.readLine(f, 64, line), plat::ReadResult::Line);
    EXPECT_EQ(files.readLine(f, 64, line), plat::ReadResult::End);
    EXPECT_EQ(files.readLine(f, 1, line), plat::ReadResult::Error) << "no room for a byte";
    files.close(f);
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
