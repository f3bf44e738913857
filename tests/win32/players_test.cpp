// The media players as the program meets them on a real desktop: their windows found by
// class and title, closed (Winamp's process terminated), sent application commands, and
// Winamp's hotkeys completed in a real "winamp.ini". A player is this test program started
// again as a child that opens one window of the player's class.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "ConsumerPageRead.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ProcessObjects.h"
#include "WinampIniRead.h"
#include "standin_transmitter.h"
#include "win32_test_support.h"

namespace {

using plat::win32::UniqueHandle;

// ------------------------------------------------------------------ the stand-in player

// Exit codes of the stand-in: 0 after its window was closed, kHelperTimedOut when nobody
// ended it in time. A terminated stand-in exits with whatever code it was given.
constexpr UINT kHelperTimedOut = 3;
constexpr UINT kHelperBadArguments = 4;
// Bounded, so that a test that fails to end the stand-in leaves nothing behind for long.
constexpr UINT kHelperLifetimeMs = 30000;
// After the record path: a stand-in whose window never answers.
constexpr wchar_t kHangsArgument[] = L"hangs";

std::wstring g_recordPath;

void record(const std::string& line) {
    HANDLE file = ::CreateFileW(g_recordPath.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

LRESULT CALLBACK playerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_APPCOMMAND: {
        char text[64] = {};
        std::snprintf(text, sizeof(text), "appcommand %llu %08llX",
                      static_cast<unsigned long long>(wParam),
                      static_cast<unsigned long long>(static_cast<ULONG_PTR>(lParam)));
        record(text);
        return TRUE;
    }
    case WM_CLOSE:
        record("close");
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        ::ExitProcess(kHelperTimedOut);
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

int runPlayerWindow(const wchar_t* className, const wchar_t* title, const wchar_t* recordPath,
                    bool hangs) {
    g_recordPath = recordPath;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = playerWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    if (!::RegisterClassW(&windowClass))
        return kHelperBadArguments;
    HWND window = ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return kHelperBadArguments;
    if (hangs) {
        // A player that has stopped answering: its thread never looks at its messages again.
        ::Sleep(kHelperLifetimeMs);
        return kHelperTimedOut;
    }
    ::SetTimer(window, 1, kHelperLifetimeMs, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

// main() is shared by all the Win32 tests; the stand-in's argument is handled here, while
// static objects are built and before the tests are set up, so main stays untouched.
int standInPlayerIfAsked() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv)
        return 0;
    if (argc > 1 && std::wstring(argv[1]) == qa_test::kPlayerWindowArgument)
        ::ExitProcess(argc == 5 || (argc == 6 && std::wstring(argv[5]) == kHangsArgument)
                          ? runPlayerWindow(argv[2], argv[3], argv[4], argc == 6)
                          : kHelperBadArguments);
    ::LocalFree(argv);
    return 0;
}

const int g_standInChecked = standInPlayerIfAsked();

// ------------------------------------------------------------------ the tests' side

std::string readAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool fileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring tempFolder() {
    wchar_t temp[MAX_PATH] = {};
    return ::GetTempPathW(MAX_PATH, temp) > 0 ? std::wstring(temp) : std::wstring();
}

// A player's window in another process, as the stand-in opens it.
struct PlayerProcess {
    UniqueHandle handle;
    DWORD id = 0;
    HWND window = nullptr;
    std::wstring title;
    std::wstring recordPath;

    std::string received() const { return readAll(recordPath); }
    DWORD exitCode(DWORD timeoutMs) const {
        if (::WaitForSingleObject(handle.get(), timeoutMs) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(handle.get(), &code);
        return code;
    }

    ~PlayerProcess() {
        if (handle && ::WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(handle.get(), 99);
            ::WaitForSingleObject(handle.get(), qa_test::kWaitMs);
        }
        if (!recordPath.empty())
            ::DeleteFileW(recordPath.c_str());
    }
};

// Starts a stand-in with a window of `className`; `window` is null if it did not show up.
std::unique_ptr<PlayerProcess> startPlayerWindow(const std::wstring& className,
                                                 bool hangs = false) {
    auto p = std::make_unique<PlayerProcess>();
    p->title = qa_test::uniqueName(L"qa-player");
    p->recordPath = tempFolder() + p->title + L".txt";
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + qa_test::kPlayerWindowArgument +
                               L" \"" + className + L"\" \"" + p->title + L"\" \"" + p->recordPath +
                               L"\"" + (hangs ? std::wstring(L" ") + kHangsArgument : L"");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return p;
    ::CloseHandle(info.hThread);
    p->handle.reset(info.hProcess);
    p->id = info.dwProcessId;
    qa_test::waitFor([&] {
        p->window = ::FindWindowW(className.c_str(), p->title.c_str());
        return p->window != nullptr || ::WaitForSingleObject(p->handle.get(), 0) == WAIT_OBJECT_0;
    });
    return p;
}

class ProcessObjects : public ::testing::Test {
protected:
    void SetUp() override {
        run_.emplace();
        info_ = globals().pcInfo.get();
    }
    void TearDown() override { run_.reset(); }

    std::optional<qa_test::ProcessObjectsWithoutThreads> run_;
    PcInfo* info_ = nullptr;
};

// ------------------------------------------------------------------ finding windows

using PlayerWindows = ProcessObjects;

TEST_F(PlayerWindows, AWindowOfAnotherProcessIsFoundByClassAndByTitle) {
    const plat::String itunes = u"iTunes";
    EXPECT_EQ(plat::desktop().findWindow(&itunes, nullptr), 0u) << "an iTunes window is left over";
    EXPECT_EQ(info_->checkActive(kITunes), 0);

    const auto player = startPlayerWindow(L"iTunes");
    ASSERT_NE(player->window, nullptr) << "the stand-in player did not open its window";
    const plat::Hwnd expected = reinterpret_cast<plat::Hwnd>(player->window);
    const plat::String title = qa_test::u16(player->title);
    const plat::String otherTitle = qa_test::u16(player->title + L"-other");
    const plat::String otherClass = u"GeminiWindowClass";

    EXPECT_EQ(plat::desktop().findWindow(&itunes, nullptr), expected);
    EXPECT_EQ(plat::desktop().findWindow(nullptr, &title), expected);
    EXPECT_EQ(plat::desktop().findWindow(&itunes, &title), expected);
    EXPECT_EQ(plat::desktop().findWindow(&itunes, &otherTitle), 0u);
    EXPECT_EQ(plat::desktop().findWindow(nullptr, &otherTitle), 0u);
    EXPECT_EQ(plat::desktop().findWindow(&otherClass, nullptr), 0u);

    std::uint32_t owner = 0;
    plat::desktop().getWindowThreadProcessId(expected, &owner);
    EXPECT_EQ(owner, player->id);

    EXPECT_EQ(info_->checkActive(kITunes), 1);
    EXPECT_EQ(info_->checkActive(kRealPlayer), 0);
    EXPECT_EQ(info_->checkActive(u"Default"), 0);
}

// ------------------------------------------------------------------ closing players

struct CloseCase {
    const char16_t* player;
    const wchar_t* windowClass;
};

class ClosePlayer : public ProcessObjects, public ::testing::WithParamInterface<CloseCase> {};

// A window that closes at once is asked once and waited for one check only.
TEST_P(ClosePlayer, TheWindowIsAskedToCloseAndItsProcessEnds) {
    const auto player = startPlayerWindow(GetParam().windowClass);
    ASSERT_NE(player->window, nullptr);
    ASSERT_EQ(info_->checkActive(GetParam().player), 1);

    const ULONGLONG start = ::GetTickCount64();
    info_->closePlayer(GetParam().player);
    const ULONGLONG elapsed = ::GetTickCount64() - start;

    EXPECT_EQ(player->exitCode(5000), 0u) << "the stand-in ends with 0 only when closed";
    EXPECT_EQ(player->received(), "close\n");
    EXPECT_EQ(info_->checkActive(GetParam().player), 0);
    EXPECT_GE(elapsed, 900u) << "the first check comes after one second";
    EXPECT_LT(elapsed, 5000u) << "the wait goes on after the window went";
}

INSTANTIATE_TEST_SUITE_P(PlayerClasses, ClosePlayer,
                         ::testing::Values(CloseCase{kITunes, L"iTunes"},
                                           CloseCase{kWindowsMediaPlayer, L"WMPlayerApp"},
                                           CloseCase{kRealPlayer, L"GeminiWindowClass"}));

class CloseWinamp : public ProcessObjects, public ::testing::WithParamInterface<const wchar_t*> {};

// Winamp is not asked: its process is terminated with exit code 1.
TEST_P(CloseWinamp, ItsProcessIsTerminatedWithoutACloseRequest) {
    const auto player = startPlayerWindow(GetParam());
    ASSERT_NE(player->window, nullptr);
    ASSERT_EQ(info_->checkActive(kWinamp), 1);

    const ULONGLONG start = ::GetTickCount64();
    info_->closePlayer(kWinamp);
    const ULONGLONG elapsed = ::GetTickCount64() - start;

    EXPECT_EQ(player->exitCode(5000), 1u);
    EXPECT_EQ(player->received(), "") << "Winamp received a message";
    EXPECT_EQ(info_->checkActive(kWinamp), 0);
    EXPECT_LT(elapsed, 5000u);
}

INSTANTIATE_TEST_SUITE_P(WinampClasses, CloseWinamp,
                         ::testing::Values(L"BaseWindow_RootWnd", L"Winamp v1.x"));

TEST_F(PlayerWindows, AnUnknownPlayerOrOneNotRunningIsNotWaitedFor) {
    const auto player = startPlayerWindow(L"iTunes");
    ASSERT_NE(player->window, nullptr);
    const ULONGLONG start = ::GetTickCount64();
    info_->closePlayer(u"Default");
    info_->closePlayer(u"RealPlayer");
    info_->closePlayer(kWindowsMediaPlayer); // not running
    EXPECT_LT(::GetTickCount64() - start, 900u);
    EXPECT_EQ(player->received(), "");
    EXPECT_EQ(player->exitCode(0), static_cast<DWORD>(STILL_ACTIVE));
}

// ------------------------------------------------------------------ application commands

TEST_F(PlayerWindows, AnApplicationCommandArrivesWithTheCommandInTheHighWord) {
    const auto player = startPlayerWindow(L"iTunes");
    ASSERT_NE(player->window, nullptr);
    const plat::Hwnd window = reinterpret_cast<plat::Hwnd>(player->window);

    std::string expected;
    for (const std::uint8_t key : {0xB5, 0xB6, 0xB7, 0xCD}) {
        const auto command = ConsumerPageRead::commandForKey(key);
        ASSERT_TRUE(command.has_value()) << int(key);
        // Sent synchronously: the stand-in has recorded it when the call returns.
        EXPECT_EQ(plat::desktop().sendMessage(window, WM_APPCOMMAND, 0,
                                              static_cast<plat::LParam>(*command) << 16),
                  TRUE);
        char line[64] = {};
        std::snprintf(line, sizeof(line), "appcommand 0 %08X\n", *command << 16);
        expected += line;
    }
    EXPECT_EQ(expected, "appcommand 0 000B0000\nappcommand 0 000C0000\n"
                        "appcommand 0 000D0000\nappcommand 0 000E0000\n");
    EXPECT_EQ(player->received(), expected);
    EXPECT_FALSE(ConsumerPageRead::commandForKey(0xE9).has_value());
}

// A player that has stopped answering gets at most the command's time-out: the call returns
// without the answer instead of waiting for a window that never reads its messages.
TEST_F(PlayerWindows, AnApplicationCommandToAPlayerThatDoesNotAnswerIsGivenUpWithinItsTimeOut) {
    const auto hung = startPlayerWindow(L"iTunes", true);
    ASSERT_NE(hung->window, nullptr);
    plat::LResult result = 7;
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_FALSE(plat::desktop().sendMessageTimeout(reinterpret_cast<plat::Hwnd>(hung->window),
                                                    WM_APPCOMMAND, 0, 0x000E0000, SMTO_ABORTIFHUNG,
                                                    ConsumerPageRead::kCommandTimeoutMs, result));
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_EQ(result, 0);
    EXPECT_LT(elapsed, 5000u) << "the call waited for the player";
    EXPECT_EQ(hung->received(), "");

    // One that answers is answered within the same call.
    const auto answering = startPlayerWindow(L"GeminiWindowClass");
    ASSERT_NE(answering->window, nullptr);
    EXPECT_TRUE(plat::desktop().sendMessageTimeout(reinterpret_cast<plat::Hwnd>(answering->window),
                                                   WM_APPCOMMAND, 0, 0x000D0000, SMTO_ABORTIFHUNG,
                                                   ConsumerPageRead::kCommandTimeoutMs, result));
    EXPECT_EQ(result, TRUE);
    EXPECT_EQ(answering->received(), "appcommand 0 000D0000\n");
}

// The forwarder itself, its key thread reading a stand-in transmitter: a key for a player
// that does not answer does not hold the thread, and deleting the forwarder returns.
class ForwarderAndHungPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        real_ = plat::current();
        threads_ = std::make_unique<qa_test::ThreadsAllowedLater>(*real_.threads);
        plat::Platform bundle = real_;
        bundle.threads = threads_.get();
        bundle.hid = &transmitter_;
        plat::install(bundle);
        startProcessObjects(); // without its audio thread
        threads_->allow();
        // iTunes is installed for this user (its detection key) and IntelliType is not.
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kITunesKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key_, &disposition_),
                  ERROR_SUCCESS);
        globals().transmitterPresent = 1;
    }
    void TearDown() override {
        forwarder_.reset();
        globals().transmitterPresent = 0;
        if (key_)
            ::RegCloseKey(key_);
        if (disposition_ == REG_CREATED_NEW_KEY)
            ::RegDeleteKeyW(HKEY_CURRENT_USER, kITunesKey);
        endProcessObjects();
        plat::install(real_);
    }

    static constexpr wchar_t kITunesKey[] = L"SOFTWARE\\Classes\\Applications\\iTunes.exe";
    plat::Platform real_;
    std::unique_ptr<qa_test::ThreadsAllowedLater> threads_;
    qa_test::StandInTransmitter transmitter_;
    std::unique_ptr<ConsumerPageRead> forwarder_;
    HKEY key_ = nullptr;
    DWORD disposition_ = 0;
};

TEST_F(ForwarderAndHungPlayer, AKeyForItDoesNotHoldTheKeyThreadOrTheForwardersDeletion) {
    const auto hung = startPlayerWindow(L"iTunes", true);
    ASSERT_NE(hung->window, nullptr);
    ASSERT_NE(::GetForegroundWindow(), hung->window) << "the player must be in the background";

    transmitter_.queueConsumerReport({1, 0xCD, 0}); // play/pause
    const plat::Handle consumer = transmitter_.open(transmitter_.consumerPath);
    ASSERT_NE(consumer, 0u);
    forwarder_ = std::make_unique<ConsumerPageRead>(consumer);
    const plat::StringArray& names = forwarder_->searchNames();
    ASSERT_NE(std::find(names.begin(), names.end(), plat::String(u"iTunes")), names.end());

    // Back in its read after the report: the command to the player was given up.
    constexpr auto kConsumer = qa_test::StandInTransmitter::kConsumerUsagePage;
    EXPECT_TRUE(qa_test::waitFor([&] { return transmitter_.readsStarted(kConsumer) >= 2; }, 5000))
        << "the key thread is still waiting for the player";
    const ULONGLONG start = ::GetTickCount64();
    forwarder_.reset();
    EXPECT_LT(::GetTickCount64() - start, 5000u);
    EXPECT_EQ(hung->received(), "");
}

// ------------------------------------------------------------------ Winamp's hotkeys

class WinampHotkeys : public ProcessObjects {
protected:
    void SetUp() override {
        ProcessObjects::SetUp();
        dir_ = tempFolder() + qa_test::uniqueName(L"qa-hotkeys");
        ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
        DWORD disposition = 0;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Winamp", 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key_, &disposition),
                  ERROR_SUCCESS);
        createdKey_ = disposition == REG_CREATED_NEW_KEY;
        // Whatever the prefix held is put back afterwards.
        wchar_t previous[MAX_PATH] = {};
        DWORD size = sizeof(previous);
        DWORD type = 0;
        hadValue_ = ::RegQueryValueExW(key_, L"", nullptr, &type, reinterpret_cast<BYTE*>(previous),
                                       &size) == ERROR_SUCCESS &&
                    type == REG_SZ;
        if (hadValue_)
            previous_ = previous;
        ASSERT_EQ(::RegSetValueExW(key_, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir_.c_str()),
                                   static_cast<DWORD>((dir_.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    void TearDown() override {
        if (key_) {
            if (hadValue_)
                ::RegSetValueExW(key_, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                                 static_cast<DWORD>((previous_.size() + 1) * sizeof(wchar_t)));
            else
                ::RegDeleteValueW(key_, L"");
            ::RegCloseKey(key_);
            if (createdKey_)
                ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Winamp");
        }
        ::DeleteFileW(ini().c_str());
        ::DeleteFileW(temp().c_str());
        ::DeleteFileW(backup().c_str());
        ::RemoveDirectoryW(dir_.c_str());
        ProcessObjects::TearDown();
    }

    std::wstring ini() const { return dir_ + L"\\winamp.ini"; }
    std::wstring temp() const { return dir_ + L"\\temp.ini"; }
    std::wstring backup() const { return dir_ + L"\\temp.ini.bak"; }
    void write(const std::string& text) {
        std::ofstream out(ini().c_str(), std::ios::binary);
        out << text;
    }

    std::wstring dir_;
    HKEY key_ = nullptr;
    bool createdKey_ = false;
    bool hadValue_ = false;
    std::wstring previous_;
};

// Three media keys bound: the fourth is appended with the next number, and the count follows.
std::string threeBindings(const std::string& eol) {
    return "[Winamp]" + eol + "volume=200" + eol + "[gen_hotkeys]" + eol + "nbkeys=3" + eol +
           "version=2" + eol + "enabled=1" + eol + "action0=ghkdc next" + eol + "hotkey0=2224" +
           eol + "action1=ghkdc prev" + eol + "hotkey1=2225" + eol + "action2=ghkdc stop" + eol +
           "hotkey2=2226" + eol;
}

std::string fourBindings(const std::string& eol) {
    return "[Winamp]" + eol + "volume=200" + eol + "[gen_hotkeys]" + eol + "nbkeys=4" + eol +
           "version=2" + eol + "enabled=1" + eol + "action0=ghkdc next" + eol + "hotkey0=2224" +
           eol + "action1=ghkdc prev" + eol + "hotkey1=2225" + eol + "action2=ghkdc stop" + eol +
           "hotkey2=2226" + eol + "action3=ghkdc play/pause" + eol + "hotkey3=2227" + eol;
}

TEST_F(WinampHotkeys, TheMissingPlayPauseIsAppendedWithWindowsLineEndings) {
    write(threeBindings("\r\n"));
    WinampIniRead run;
    EXPECT_EQ(run.outcome(), WinampIniRead::Outcome::Rewritten);
    EXPECT_EQ(readAll(ini()), fourBindings("\r\n"));
    EXPECT_FALSE(fileExists(temp())) << "temp.ini was left behind";
}

TEST_F(WinampHotkeys, TheMissingPlayPauseIsAppendedWithUnixLineEndings) {
    write(threeBindings("\n"));
    WinampIniRead run;
    EXPECT_EQ(run.outcome(), WinampIniRead::Outcome::Rewritten);
    EXPECT_EQ(readAll(ini()), fourBindings("\n"));
    EXPECT_FALSE(fileExists(temp()));
}

TEST_F(WinampHotkeys, DisabledHotkeysAreEnabledWithoutAppending) {
    std::string text = fourBindings("\r\n");
    text.replace(text.find("enabled=1"), 9, "enabled=0");
    write(text);
    WinampIniRead run;
    EXPECT_EQ(run.outcome(), WinampIniRead::Outcome::Rewritten);
    EXPECT_EQ(readAll(ini()), fourBindings("\r\n"));
    EXPECT_FALSE(fileExists(temp()));
}

TEST_F(WinampHotkeys, ACompleteFileIsLeftAlone) {
    write(fourBindings("\r\n"));
    HANDLE before = ::CreateFileW(ini().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(before, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION original{};
    ::GetFileInformationByHandle(before, &original);
    ::CloseHandle(before);

    WinampIniRead run;
    EXPECT_EQ(run.outcome(), WinampIniRead::Outcome::Untouched);
    EXPECT_EQ(readAll(ini()), fourBindings("\r\n"));
    EXPECT_FALSE(fileExists(temp()));
    // Not replaced by a copy: still the same file.
    HANDLE after = ::CreateFileW(ini().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(after, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION now{};
    ::GetFileInformationByHandle(after, &now);
    ::CloseHandle(after);
    EXPECT_EQ(now.nFileIndexLow, original.nFileIndexLow);
    EXPECT_EQ(now.nFileIndexHigh, original.nFileIndexHigh);
}

// The failure Wine can produce: Winamp (or anyone) holds the file open without letting it
// be deleted. The swap fails, the file keeps its old contents, and nothing is left beside it;
// let go of, the next run rewrites it through the real swap.
TEST_F(WinampHotkeys, AFileHeldOpenIsLeftAsItWasAndRewrittenOnceFree) {
    write(threeBindings("\r\n"));
    HANDLE held = ::CreateFileW(ini().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WinampIniRead().outcome(), WinampIniRead::Outcome::Failed);
    ::CloseHandle(held);
    EXPECT_EQ(readAll(ini()), threeBindings("\r\n"));
    EXPECT_FALSE(fileExists(temp()));
    EXPECT_FALSE(fileExists(backup()));

    EXPECT_EQ(WinampIniRead().outcome(), WinampIniRead::Outcome::Rewritten);
    EXPECT_EQ(readAll(ini()), fourBindings("\r\n"));
    EXPECT_FALSE(fileExists(temp()));
    EXPECT_FALSE(fileExists(backup()));
}

TEST_F(WinampHotkeys, WithoutTheFileNothingIsWritten) {
    WinampIniRead run;
    EXPECT_EQ(run.outcome(), WinampIniRead::Outcome::NotFound);
    EXPECT_FALSE(fileExists(ini()));
    EXPECT_FALSE(fileExists(temp()));
}

} // namespace
