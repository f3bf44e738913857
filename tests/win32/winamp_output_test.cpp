// Winamp's output device rewritten in a real "winamp.ini" through the Win32 platform: the
// directory from the registry (or the user's folder its paths.ini names), the copy in
// "temp.ini", and the one-step replacement.
#include <windows.h>

#include <gtest/gtest.h>

#include "AudioDevices.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ProcessObjects.h"
#include "shown_texts.h"
#include "win32_test_support.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace {

std::string readAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WinampOutputFile : public ::testing::Test {
protected:
    void SetUp() override {
        real_ = plat::current();
        threads_ = std::make_unique<qa_test::NoThreads>(*real_.threads);
        plat::Platform bundle = real_;
        bundle.threads = threads_.get();
        plat::install(bundle);

        wchar_t temp[MAX_PATH] = {};
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + qa_test::uniqueName(L"qa-winamp");
        ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
        ASSERT_EQ(::RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Winamp", &key_), ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key_, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir_.c_str()),
                                   static_cast<DWORD>((dir_.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);

        info_ = startProcessObjects().pcInfo.get();
        storeDeviceEntry(0, AudioDeviceEntry{0, kNullGuid, kDefaultAudioDeviceName, u""});
        storeDeviceEntry(1, AudioDeviceEntry{0, u"{11111111-2222-3333-4444-555555555555}", u"Card", u"Card"});
        storeDeviceEntry(2, AudioDeviceEntry{1, u"{00112233-4455-6677-8899-AABBCCDDEEFF}",
                                             u"Quorvane Auravo", u"USB Audio Device"});
        globals().audioDevices->count = 2;
    }

    void TearDown() override {
        endProcessObjects();
        ::RegDeleteValueW(key_, L"");
        ::RegCloseKey(key_);
        ::DeleteFileW(ini().c_str());
        ::DeleteFileW((dir_ + L"\\temp.ini").c_str());
        ::DeleteFileW((dir_ + L"\\temp.ini.bak").c_str());
        ::RemoveDirectoryW(dir_.c_str());
        plat::install(real_);
    }

    std::wstring ini() const { return dir_ + L"\\winamp.ini"; }
    void write(const std::string& text) {
        std::ofstream out(ini().c_str(), std::ios::binary);
        out << text;
    }
    int rewrite(int index) {
        AudioDeviceEntry entry;
        readDeviceEntry(index, entry);
        return info_->setWinampOutputDevice(index, entry);
    }

    plat::Platform real_;
    std::unique_ptr<qa_test::NoThreads> threads_;
    std::wstring dir_;
    HKEY key_ = nullptr;
    PcInfo* info_ = nullptr;
};

TEST_F(WinampOutputFile, TheDigitAndTheGuidAreRewrittenInPlace) {
    write("[Winamp]\r\noutname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=0\r\n");
    EXPECT_EQ(info_->getWinampOutputDevice(), shown::defaultAudioDevice);
    EXPECT_EQ(rewrite(2), 1);
    EXPECT_EQ(readAll(ini()), "[Winamp]\r\noutname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=2\r\n");
    EXPECT_EQ(info_->getWinampOutputDevice(), u"Quorvane Auravo");
    EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\temp.ini").c_str()), INVALID_FILE_ATTRIBUTES);

    write("outname=out_ds.dll\r\n[out_ds]\r\ncfg_dev2=" + std::string(34, '0') + "\r\n");
    EXPECT_EQ(rewrite(2), 1);
    EXPECT_EQ(readAll(ini()),
              "outname=out_ds.dll\r\n[out_ds]\r\ncfg_dev2=33221100554477668899AABBCCDDEEFF00\r\n");
    EXPECT_EQ(info_->getWinampOutputDevice(), u"Quorvane Auravo");
}

TEST_F(WinampOutputFile, ALockedFileIsLeftAsItWas) {
    const std::string before = "outname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=0\r\n";
    write(before);
    // Another program holds the file open without sharing deletion: it cannot be replaced.
    HANDLE held = ::CreateFileW(ini().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(rewrite(1), 0);
    ::CloseHandle(held);
    EXPECT_EQ(readAll(ini()), before);
    EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\temp.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\temp.ini.bak").c_str()), INVALID_FILE_ATTRIBUTES);

    // Let go of, the file is rewritten through the real swap, and the backup goes.
    EXPECT_EQ(rewrite(1), 1);
    EXPECT_EQ(readAll(ini()), "outname=out_wave.dll\r\n[out_wave]\r\ncfg_dev=1\r\n");
    EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\temp.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\temp.ini.bak").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Winamp installed "with settings per user": paths.ini in its folder names "{26}\<folder>",
// and the shell gives CSIDL 26 as the prefix's roaming application data.
TEST_F(WinampOutputFile, SettingsPerUserLiveInTheRoamingApplicationData) {
    plat::String appData;
    ASSERT_TRUE(plat::folders().shellFolderPath(26, appData));
    EXPECT_TRUE(plat::folders().isFolder(appData));
    plat::String expanded;
    ASSERT_TRUE(plat::folders().expandEnvironmentStrings(u"%APPDATA%", expanded));
    EXPECT_EQ(expanded, appData);

    // On the Unix side, Wine keeps it in the prefix's folder of the user.
    const std::wstring appDataW(appData.begin(), appData.end());
    using UnixNameFn = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const char* prefix = std::getenv("WINEPREFIX");
    const char* user = std::getenv("USERNAME");
    if (unixName && prefix && user) {
        char* name = unixName(appDataW.c_str());
        ASSERT_NE(name, nullptr);
        std::string got = name;
        ::HeapFree(::GetProcessHeap(), 0, name);
        const std::string drive = "/dosdevices/c:/";
        if (const auto at = got.find(drive); at != std::string::npos)
            got.replace(at, drive.size(), "/drive_c/");
        EXPECT_EQ(got, std::string(prefix) + "/drive_c/users/" + user + "/AppData/Roaming");
    } else {
        ADD_FAILURE() << "not under Wine, or without WINEPREFIX and USERNAME";
    }

    const std::wstring name = qa_test::uniqueName(L"qa-winamp-user");
    const std::wstring folder = appDataW + L"\\" + name;
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring paths = dir_ + L"\\paths.ini";
    {
        std::ofstream out(paths.c_str(), std::ios::binary);
        out << "[Winamp]\r\ninidir={26}\\" << std::string(name.begin(), name.end()) << "\r\n";
    }
    const std::wstring userIni = folder + L"\\winamp.ini";
    {
        std::ofstream out(userIni.c_str(), std::ios::binary);
        out << "[Winamp]\r\noutname=out_ds.dll\r\n[out_ds]\r\ncfg_total_time=12\r\n";
    }
    EXPECT_EQ(info_->getWinampOutputDevice(), shown::defaultAudioDevice);
    EXPECT_EQ(rewrite(2), 1);
    EXPECT_EQ(readAll(userIni), "[Winamp]\r\noutname=out_ds.dll\r\n[out_ds]\r\ncfg_total_time=12\r\n"
                                "cfg_dev2=33221100554477668899AABBCCDDEEFF00\r\n");
    EXPECT_EQ(info_->getWinampOutputDevice(), u"Quorvane Auravo");
    EXPECT_EQ(::GetFileAttributesW(ini().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((folder + L"\\temp.ini").c_str()), INVALID_FILE_ATTRIBUTES);

    ::DeleteFileW(userIni.c_str());
    ::RemoveDirectoryW(folder.c_str());
    ::DeleteFileW(paths.c_str());
}

} // namespace
