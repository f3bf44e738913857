// The setup file under Wine, as an administrator would use it: a silent install, the installed
// program started from there, a silent upgrade over the running program, a silent uninstall;
// and, first, a setup that sees no administrator rights refusing to install anything.
// The tests run in order and each builds on the one before; scripts/installer-tests runs them
// in a prefix of their own, made afresh, with the setup file and the build's copies of the
// installed files next to this program.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace {

using plat::win32::UniqueHandle;

// What the installer promises, in this test's own words.
constexpr wchar_t kControllerTitle[] = L"QuorvaneAuravoSystemTrayApplication";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane Auravo";
constexpr wchar_t kPreferencesKey[] = L"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences";
constexpr wchar_t kMarkerValue[] = L"QA installer test";
const wchar_t* const kPayload[] = {L"QuorvaneAuravo.exe", L"KTRResource.dll",
                                   L"Quorvane Auravo.chm"};

// This program is built like the installer (32-bit, or 64-bit in the windows64 build), so it
// reads the same registry view and Program Files folder as the installer wrote.

// The time stamp given to an installed file to see whether an upgrade writes it again.
constexpr FILETIME kStaleTime{0x00000000, 0x01c07000}; // late 2000

// Setup and uninstall are bounded well above what they take under Wine (about a second).
constexpr DWORD kSetupWaitMs = 120000;

std::wstring folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    EXPECT_EQ(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    return path;
}

// Program Files as the installer sees it: the 32-bit one for the 32-bit installer.
std::wstring installDir() { return folder(CSIDL_PROGRAM_FILES) + L"\\Quorvane\\Quorvane Auravo"; }
std::wstring installed(const std::wstring& name) { return installDir() + L"\\" + name; }
std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }
std::wstring shortcutPath() { return folder(CSIDL_COMMON_PROGRAMS) + L"\\Quorvane Auravo.lnk"; }

bool exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string contents(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring lower(std::wstring text) {
    for (auto& c : text)
        c = static_cast<wchar_t>(::towlower(c));
    return text;
}

// What ships carries no symbol table and no debugging sections. A section name longer than its
// header's eight bytes stands as "/<offset>" into the string table that follows the symbols
// (which a stripped file keeps for such names, ".eh_frame" among them).
void expectNoSymbols(const std::wstring& path) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    const std::string file = contents(path);
    ASSERT_GE(file.size(), sizeof(IMAGE_DOS_HEADER));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    ASSERT_LE(static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32), file.size());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(file.data() + dos->e_lfanew);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    const IMAGE_FILE_HEADER& header = nt->FileHeader;
    EXPECT_EQ(header.NumberOfSymbols, 0u);
    const std::size_t strings = static_cast<std::size_t>(header.PointerToSymbolTable) +
                                18u * header.NumberOfSymbols; // IMAGE_SIZEOF_SYMBOL
    const std::size_t sections = static_cast<std::size_t>(dos->e_lfanew) + 4 +
                                 sizeof(IMAGE_FILE_HEADER) + header.SizeOfOptionalHeader;
    for (WORD i = 0; i < header.NumberOfSections; ++i) {
        const std::size_t at = sections + i * sizeof(IMAGE_SECTION_HEADER);
        ASSERT_LE(at + sizeof(IMAGE_SECTION_HEADER), file.size());
        const auto* section = reinterpret_cast<const IMAGE_SECTION_HEADER*>(file.data() + at);
        std::string name(reinterpret_cast<const char*>(section->Name),
                         strnlen(reinterpret_cast<const char*>(section->Name), 8));
        if (name.starts_with("/") && header.PointerToSymbolTable != 0) {
            const std::size_t offset = strings + std::strtoul(name.c_str() + 1, nullptr, 10);
            ASSERT_LT(offset, file.size()) << name;
            name = std::string(file.c_str() + offset,
                               strnlen(file.c_str() + offset, file.size() - offset));
        }
        EXPECT_FALSE(name.starts_with(".debug")) << name;
    }
}

// The setup file next to this program.
std::wstring setupFile() {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = qa_test::testDirectory() + L"QuorvaneAuravoSetup-*.exe";
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    ::FindClose(search);
    return qa_test::testDirectory() + found.cFileName;
}

// Runs a command line to its end and gives its exit code (~0u when it could not run or did
// not end in time). With `wholeTree`, waits for every process it starts as well: the
// uninstaller hands its work to a copy of itself outside the folder it removes.
DWORD run(std::wstring commandLine, bool wholeTree = false) {
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                          nullptr, qa_test::testDirectory().c_str(), &startup, &info)) {
        ADD_FAILURE() << "cannot start: " << ::GetLastError();
        return ~0u;
    }
    UniqueHandle process(info.hProcess), thread(info.hThread);
    if (wholeTree) {
        EXPECT_TRUE(::AssignProcessToJobObject(job.get(), process.get())) << ::GetLastError();
    }
    ::ResumeThread(thread.get());
    if (::WaitForSingleObject(process.get(), kSetupWaitMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "did not end in time";
        return ~0u;
    }
    if (wholeTree) {
        const bool treeEnded = qa_test::waitFor(
            [&] {
                JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
                return ::QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation,
                                                   &accounting, sizeof(accounting), nullptr) &&
                       accounting.ActiveProcesses == 0;
            },
            kSetupWaitMs);
        EXPECT_TRUE(treeEnded) << "a process it started did not end in time";
    }
    DWORD code = ~0u;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

// Runs `commandLine`, printing how long it took (the figures the release notes quote).
DWORD timed(const char* what, const std::wstring& commandLine, bool wholeTree = false) {
    const ULONGLONG start = ::GetTickCount64();
    const DWORD code = run(commandLine, wholeTree);
    std::printf("[ TIMING   ] %s: %llu ms\n", what,
                static_cast<unsigned long long>(::GetTickCount64() - start));
    return code;
}

bool readString(HKEY root, const wchar_t* path, const wchar_t* name, std::wstring& out) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegGetValueW(root, path, name, RRF_RT_REG_SZ, &type, data,
                       &size) != ERROR_SUCCESS)
        return false;
    out = data;
    return true;
}

std::wstring stringValue(HKEY root, const wchar_t* path, const wchar_t* name) {
    std::wstring value;
    EXPECT_TRUE(readString(root, path, name, value)) << "no value " << name;
    return value;
}

bool dwordValue(const wchar_t* path, const wchar_t* name, DWORD& out) {
    DWORD size = sizeof(out);
    return ::RegGetValueW(HKEY_LOCAL_MACHINE, path, name, RRF_RT_REG_DWORD,
                          nullptr, &out, &size) == ERROR_SUCCESS;
}

bool keyExists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

std::wstring shortcutTarget(const std::wstring& link) {
    std::wstring target;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&shellLink))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

// The running program: its controller window and its process.
struct Running {
    HWND controller = nullptr;
    DWORD pid = 0;
    UniqueHandle process;
};

std::wstring imageOf(HANDLE process) {
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process, 0, path, &size))
        return {};
    return std::wstring(path, size);
}

// Waits for a controller window of a process other than `notPid`, and checks that the
// process runs the installed program.
Running waitForInstalledProgram(DWORD notPid = 0) {
    Running running;
    const bool appeared = qa_test::waitFor([&] {
        HWND window = ::FindWindowW(nullptr, kControllerTitle);
        if (!window || qa_test::ownerProcess(window) == notPid)
            return false;
        running.controller = window;
        return true;
    });
    EXPECT_TRUE(appeared) << "no controller window appeared";
    if (!appeared)
        return running;
    running.pid = qa_test::ownerProcess(running.controller);
    running.process.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                        running.pid));
    EXPECT_TRUE(running.process) << ::GetLastError();
    EXPECT_EQ(lower(imageOf(running.process.get())), lower(installed(L"QuorvaneAuravo.exe")));
    return running;
}

bool ended(const Running& running, DWORD ms = qa_test::kWaitMs) {
    return running.process && ::WaitForSingleObject(running.process.get(), ms) == WAIT_OBJECT_0;
}

void expectPayloadIsTheBuilds() {
    for (const wchar_t* name : kPayload) {
        const std::string built = contents(qa_test::testDirectory() + name);
        ASSERT_FALSE(built.empty()) << "the build's copy is missing next to the test";
        EXPECT_TRUE(contents(installed(name)) == built)
            << "installed file differs from the build's: " << name;
    }
}

class Installer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::CoInitialize(nullptr); }
    static void TearDownTestSuite() { ::CoUninitialize(); }
};

// Without administrator rights every write would fail: the setup refuses before it starts, with
// ERROR_ELEVATION_REQUIRED as its exit code, and leaves nothing behind.
TEST_F(Installer, WithoutAdministratorRightsTheSetupRefusesWith740) {
    ASSERT_FALSE(exists(installDir())) << "the prefix is not fresh";
    const std::wstring setup = qa_test::testDirectory() + L"qa_setup_not_admin.exe";
    ASSERT_TRUE(exists(setup)) << "the tests' setup without rights is missing";
    EXPECT_EQ(timed("silent install without administrator rights", quoted(setup) + L" /S"), 740u);
    EXPECT_FALSE(exists(installDir()));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    std::wstring ignored;
    EXPECT_FALSE(readString(HKEY_LOCAL_MACHINE, kRunKey, L"Quorvane Auravo", ignored));
}

TEST_F(Installer, SilentInstallPutsEverythingInPlace) {
    const std::wstring setup = setupFile();
    ASSERT_FALSE(setup.empty()) << "no QuorvaneAuravoSetup-*.exe next to the test";
    EXPECT_EQ(setup.substr(setup.find_last_of(L'\\') + 1),
              L"QuorvaneAuravoSetup-" QA_VERSION_W L".exe");
    ASSERT_FALSE(exists(installDir())) << "the prefix is not fresh";

    ASSERT_EQ(timed("silent install", quoted(setup) + L" /S"), 0u);

    expectPayloadIsTheBuilds();
    EXPECT_TRUE(exists(installed(L"Uninstall.exe")));
    expectNoSymbols(installed(L"QuorvaneAuravo.exe"));
    expectNoSymbols(installed(L"KTRResource.dll"));

    EXPECT_EQ(lower(shortcutTarget(shortcutPath())), lower(installed(L"QuorvaneAuravo.exe")))
        << "no Start menu shortcut to the program for all users";

    const std::wstring program = quoted(installed(L"QuorvaneAuravo.exe"));
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, L"Quorvane Auravo"), program);

    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Quorvane Auravo");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), QA_VERSION_W);
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher"), L"Quorvane");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon"), program + L",0");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"), installDir());
    const std::wstring uninstaller = quoted(installed(L"Uninstall.exe"));
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), uninstaller);
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString"),
              uninstaller + L" /S");

    // The size in KiB of what was installed, as Add/Remove Programs shows it.
    ULONGLONG bytes = 0;
    for (const wchar_t* name : {kPayload[0], kPayload[1], kPayload[2], L"Uninstall.exe"})
        bytes += contents(installed(name)).size();
    DWORD estimated = 0;
    ASSERT_TRUE(dwordValue(kUninstallKey, L"EstimatedSize", estimated));
    EXPECT_NEAR(double(estimated), double(bytes) / 1024.0, 4.0);
}

TEST_F(Installer, InstalledProgramStartsAndItsControllerAppears) {
    ASSERT_EQ(::FindWindowW(nullptr, kControllerTitle), nullptr);
    // Started the way the logon Run value starts it: by its full path, from elsewhere.
    std::wstring commandLine = stringValue(HKEY_LOCAL_MACHINE, kRunKey, L"Quorvane Auravo");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder(CSIDL_SYSTEM).c_str(), &startup, &info))
        << ::GetLastError();
    UniqueHandle process(info.hProcess), thread(info.hThread);

    const Running running = waitForInstalledProgram();
    EXPECT_EQ(running.pid, info.dwProcessId);
    EXPECT_FALSE(ended(running, 0)) << "the program ended";
}

TEST_F(Installer, SilentUpgradeClosesTheRunningProgramAndReplacesIt) {
    const Running before = waitForInstalledProgram();
    ASSERT_TRUE(before.process);

    // Stale copies to be replaced: the running program's file carries an old time stamp (its
    // content cannot change while it runs), the help file other content.
    {
        UniqueHandle file(::CreateFileW(installed(L"QuorvaneAuravo.exe").c_str(),
                                        FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file) << ::GetLastError();
        ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &kStaleTime));
    }
    std::ofstream(installed(L"Quorvane Auravo.chm").c_str(), std::ios::binary) << "stale";

    // The user's preferences, which the uninstall must keep later.
    HKEY preferences = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kPreferencesKey, 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &preferences, nullptr),
              ERROR_SUCCESS);
    const wchar_t marker[] = L"kept";
    ::RegSetValueExW(preferences, kMarkerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(marker),
                     sizeof(marker));
    ::RegCloseKey(preferences);

    ASSERT_EQ(timed("silent upgrade over the running program", quoted(setupFile()) + L" /S"), 0u);

    EXPECT_TRUE(ended(before)) << "the running copy was not closed";
    DWORD exitCode = ~0u;
    ::GetExitCodeProcess(before.process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u) << "the old copy did not end through its own shutdown";

    expectPayloadIsTheBuilds();
    WIN32_FILE_ATTRIBUTE_DATA installedExe{};
    ASSERT_TRUE(::GetFileAttributesExW(installed(L"QuorvaneAuravo.exe").c_str(),
                                       GetFileExInfoStandard, &installedExe));
    EXPECT_NE(::CompareFileTime(&installedExe.ftLastWriteTime, &kStaleTime), 0)
        << "the program file was not written again";

    // The copy it closed is started again, from the new files.
    const Running after = waitForInstalledProgram(before.pid);
    EXPECT_FALSE(ended(after, 0));
}

TEST_F(Installer, SilentUpgradeFailsWhileTheProgramFileCannotBeReplaced) {
    // A copy the close request cannot reach (another user's session) holds the file as this
    // handle does: the silent run must fail, not report an upgrade it did not make.
    UniqueHandle holder(::CreateFileW(installed(L"QuorvaneAuravo.exe").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder) << ::GetLastError();
    const Running running = waitForInstalledProgram();
    const DWORD code = timed("silent upgrade, program file held", quoted(setupFile()) + L" /S");
    EXPECT_NE(code, 0u);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    holder.reset();
    // Its running copy was asked to close; the next setup or a logon starts it again.
    EXPECT_TRUE(ended(running));
}

TEST_F(Installer, SilentUninstallRemovesEverythingAndKeepsThePreferences) {
    // Running again, as after a logon.
    std::wstring commandLine = quoted(installed(L"QuorvaneAuravo.exe"));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &info));
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    const Running running = waitForInstalledProgram();

    const std::wstring uninstall = stringValue(HKEY_LOCAL_MACHINE, kUninstallKey,
                                               L"QuietUninstallString");
    ASSERT_EQ(timed("silent uninstall", uninstall, true), 0u);

    EXPECT_TRUE(ended(running)) << "the running copy was not closed";
    EXPECT_FALSE(exists(installDir()));
    EXPECT_FALSE(exists(folder(CSIDL_PROGRAM_FILES) + L"\\Quorvane"));
    EXPECT_FALSE(exists(shortcutPath()));
    std::wstring ignored;
    EXPECT_FALSE(readString(HKEY_LOCAL_MACHINE, kRunKey, L"Quorvane Auravo", ignored));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kPreferencesKey, kMarkerValue), L"kept");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Each test builds on the one before.
    GTEST_FLAG_SET(shuffle, false);
    return RUN_ALL_TESTS();
}
