// The process around the program, as the product sets it up and ends it: where its libraries
// come from, the apartment of its user-interface thread, and its end with threads still
// running. Several tests start the real program, or this test program in a child role, from
// folders of their own.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Collaborators.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "shown_texts.h"
#include "standin_transmitter.h"
#include "win32_platform.h"
#include "win32_test_support.h"

namespace {

using plat::win32::UniqueHandle;

constexpr wchar_t kProbeLibrary[] = L"qa_resource_probe.dll";
constexpr wchar_t kProbeMarker[] = L"qa-probe-code-ran.txt";
constexpr const auto& kRealTitle = shown::wide::controllerTitle;
constexpr wchar_t kProbeTitle[] = L"QA probe controller";

// ------------------------------------------------------------------ the child roles

// The program with a transmitter present: its link's reader thread, its forwarder's key
// thread and the audio thread all run when the run ends, and the process ends as the
// product ends it.
constexpr wchar_t kProgramWithTransmitterArgument[] = L"--qa-program-with-transmitter";
// The product's process set-up, then the libraries it loads.
constexpr wchar_t kLoadLibrariesArgument[] = L"--qa-load-libraries";
// The product's process set-up, then the apartment of this thread.
constexpr wchar_t kApartmentArgument[] = L"--qa-apartment";

// Exit codes of the child roles beyond the run's own.
constexpr UINT kDestroyedUnderRunningThread = 7;
constexpr UINT kNothingRanAtTheEnd = 8;
constexpr UINT kBadArguments = 9;

// The real threads, watched: once the run is over, a process-wide object being destroyed
// (the PcInfo destructor closes the audio-device mutex) while a thread the program started
// still runs ends the process with kDestroyedUnderRunningThread.
class WatchedThreads final : public qa_test::ForwardingThreads {
public:
    using ForwardingThreads::ForwardingThreads;

    void runIsOver() { runOver_ = true; }
    int running() {
        std::lock_guard<std::mutex> lock(m_);
        int alive = 0;
        for (HANDLE thread : started_)
            alive += ::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
        return alive;
    }

    plat::Handle startThread(std::function<void()> body) override {
        const plat::Handle thread = ForwardingThreads::startThread(std::move(body));
        HANDLE copy = nullptr;
        if (thread && ::DuplicateHandle(::GetCurrentProcess(), plat::win32::toHandle(thread),
                                        ::GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
            std::lock_guard<std::mutex> lock(m_);
            started_.push_back(copy);
        }
        return thread;
    }
    bool closeHandle(plat::Handle object) override {
        if (runOver_ && running() > 0)
            ::ExitProcess(kDestroyedUnderRunningThread);
        return ForwardingThreads::closeHandle(object);
    }

private:
    std::atomic<bool> runOver_{false};
    std::mutex m_;
    std::vector<HANDLE> started_;
};

[[noreturn]] void runProgramWithTransmitter() {
    plat::win32::prepareProcess();
    plat::win32::install();
    // Both kept for the life of the process, as the product's ports are.
    auto* transmitter = new qa_test::StandInTransmitter;
    auto* threads = new WatchedThreads(*plat::current().threads);
    plat::Platform bundle = plat::current();
    bundle.hid = transmitter;
    bundle.threads = threads;
    plat::install(bundle);

    const int code = runProgram();
    // The audio thread and the link's reader at least: otherwise nothing would be tested.
    if (threads->running() < 2)
        ::ExitProcess(kNothingRanAtTheEnd);
    threads->runIsOver();
    plat::win32::endProcess(code);
}

std::wstring moduleFolder(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring text(path, n);
    return text.substr(0, text.find_last_of(L'\\') + 1);
}

// 0 when every library came from where it should; else a bit per fault.
[[noreturn]] void loadLibraries() {
    plat::win32::prepareProcess();
    plat::win32::install();
    UINT faults = 0;
    // The probe lies in this program's folder and the current one: neither is searched.
    if (HMODULE planted = ::LoadLibraryW(kProbeLibrary)) {
        faults |= 1;
        ::FreeLibrary(planted);
    }
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring systemFolder = std::wstring(system, n) + L"\\";
    const plat::Module dsound = plat::audio().loadDsound();
    if (!dsound || ::lstrcmpiW(moduleFolder(plat::win32::toModule(dsound)).c_str(),
                               systemFolder.c_str()) != 0)
        faults |= 2;
    // Asking HTML Help for nothing loads it.
    plat::processes().htmlHelp(0, u"", 0x0012 /* HH_CLOSE_ALL */, 0);
    const HMODULE help = ::GetModuleHandleW(L"hhctrl.ocx");
    if (help && ::lstrcmpiW(moduleFolder(help).c_str(), systemFolder.c_str()) != 0)
        faults |= 4;
    ::ExitProcess(faults);
}

// 0 when this thread is in a single-threaded apartment already.
[[noreturn]] void reportApartment() {
    plat::win32::prepareProcess();
    const HRESULT again = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT other = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::ExitProcess(again == S_FALSE && other == RPC_E_CHANGED_MODE ? 0 : 1);
}

// main() is shared by all the Win32 tests: the roles are taken while static objects are
// built, before the tests are set up.
int childRoleIfAsked() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 0;
    const std::wstring role = argv[1];
    if (role == kProgramWithTransmitterArgument)
        runProgramWithTransmitter();
    if (role == kLoadLibrariesArgument)
        loadLibraries();
    if (role == kApartmentArgument)
        reportApartment();
    ::LocalFree(argv);
    return 0;
}

const int g_childRoleChecked = childRoleIfAsked();

// ------------------------------------------------------------------ the tests' side

std::wstring tempFolder() {
    wchar_t temp[MAX_PATH] = {};
    return ::GetTempPathW(MAX_PATH, temp) > 0 ? std::wstring(temp) : std::wstring();
}

bool fileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder of its own, removed with what was copied into it.
class Folder {
public:
    Folder() : path_(tempFolder() + qa_test::uniqueName(L"qa-folder") + L"\\") {
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~Folder() {
        for (const std::wstring& file : files_)
            ::DeleteFileW((path_ + file).c_str());
        ::DeleteFileW((path_ + kProbeMarker).c_str());
        ::RemoveDirectoryW(path_.c_str());
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Copies a file of the test program's folder here, under `name`.
    bool copy(const std::wstring& from, const std::wstring& name) {
        files_.push_back(name);
        return ::CopyFileW((qa_test::testDirectory() + from).c_str(), (path_ + name).c_str(),
                           FALSE) != FALSE;
    }
    const std::wstring& path() const { return path_; }
    bool probeCodeRan() const { return fileExists(path_ + kProbeMarker); }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

struct Child {
    UniqueHandle handle;
    DWORD id = 0;

    Child() = default;
    Child(Child&&) = default;
    Child& operator=(Child&&) = default;

    bool ended(DWORD timeoutMs = qa_test::kWaitMs) const {
        return ::WaitForSingleObject(handle.get(), timeoutMs) == WAIT_OBJECT_0;
    }
    DWORD exitCode() const {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(handle.get(), &code);
        return code;
    }
    ~Child() {
        if (handle && !ended(0)) {
            ::TerminateProcess(handle.get(), 99);
            ended();
        }
    }
};

Child start(const std::wstring& program, const std::wstring& arguments,
            const std::wstring& currentFolder) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    Child child;
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         currentFolder.c_str(), &startup, &info)) {
        ::CloseHandle(info.hThread);
        child.handle.reset(info.hProcess);
        child.id = info.dwProcessId;
    }
    return child;
}

// The controller of process `pid`, whatever its title: its hidden, unowned dialog; null
// until it exists.
HWND controllerOf(DWORD pid) {
    const auto found = qa_test::windowsOf(pid, [](HWND w) {
        wchar_t cls[16] = {};
        ::GetClassNameW(w, cls, 16);
        return std::wstring(cls) == L"#32770" && !::IsWindowVisible(w) &&
               ::GetWindow(w, GW_OWNER) == nullptr;
    });
    return found.empty() ? nullptr : found.front();
}

class ProgramLifeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy left over by an earlier, failed run would answer instead of ours.
        for (const wchar_t* title : {kRealTitle, kProbeTitle})
            if (HWND stale = ::FindWindowW(nullptr, title)) {
                ::PostMessageW(stale, WM_CLOSE, 0, 0);
                ASSERT_TRUE(qa_test::waitFor([&] { return !::IsWindow(stale); }));
            }
    }

    // Starts `program`, waits for its controller and its first idle moment.
    HWND run(Child& child, const std::wstring& program, const std::wstring& arguments,
             const std::wstring& currentFolder) {
        child = start(program, arguments, currentFolder);
        HWND controller = nullptr;
        if (!child.handle ||
            !qa_test::waitFor([&] { return (controller = controllerOf(child.id)) != nullptr; }))
            return nullptr;
        ::WaitForInputIdle(child.handle.get(), qa_test::kWaitMs);
        // Its initialisation replaces the template's placeholder caption.
        qa_test::waitFor([&] { return qa_test::windowText(controller) != L"Controller"; });
        return controller;
    }
};

// ------------------------------------------------------------------ the end of the process

// The run ends while the audio thread and the link's reader still run: the process ends
// without destroying a process-wide object under them, and with the run's exit code.
TEST_F(ProgramLifeTest, EndsCleanlyWhileTheLinksThreadsStillRun) {
    Child child;
    const HWND controller =
        run(child, qa_test::testDirectory() + L"qa_win32_tests.exe", kProgramWithTransmitterArgument,
            qa_test::testDirectory());
    ASSERT_NE(controller, nullptr) << "the program did not start";
    EXPECT_EQ(qa_test::windowText(controller), kRealTitle);
    ASSERT_TRUE(::PostMessageW(controller, WM_CLOSE, 0, 0));
    ASSERT_TRUE(child.ended()) << "the program did not end";
    EXPECT_NE(child.exitCode(), kNothingRanAtTheEnd) << "no thread ran at the end: nothing tested";
    EXPECT_NE(child.exitCode(), kDestroyedUnderRunningThread)
        << "process-wide objects were destroyed under a running thread";
    EXPECT_EQ(child.exitCode(), 0u);
}

// ------------------------------------------------------------------ the resource library

// The "KTRResource.dll" beside the program is the one used, as data: its texts serve and none
// of its code runs. One planted in the current folder, with none beside the program, is not
// loaded at all: the program uses its own resources.
TEST_F(ProgramLifeTest, TheResourceLibraryComesFromTheProgramsFolderAsDataOnly) {
    const struct {
        const char* where;
        bool besideTheProgram;
        const wchar_t* title; // the controller's, from the resources in use
    } cases[] = {{"in the current folder only", false, kRealTitle},
                 {"beside the program", true, kProbeTitle}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        Folder program;
        Folder current;
        ASSERT_TRUE(program.copy(L"QuorvaneAuravo.exe", L"QuorvaneAuravo.exe"));
        ASSERT_TRUE((c.besideTheProgram ? program : current).copy(kProbeLibrary, L"KTRResource.dll"));
        Child child;
        const HWND controller =
            run(child, program.path() + L"QuorvaneAuravo.exe", L"", current.path());
        ASSERT_NE(controller, nullptr) << "the program did not start";
        EXPECT_EQ(qa_test::windowText(controller), c.title) << "texts of the wrong resources";
        EXPECT_FALSE(program.probeCodeRan() || current.probeCodeRan()) << "the library's code ran";
        ::PostMessageW(controller, WM_CLOSE, 0, 0);
        EXPECT_TRUE(child.ended());
    }
}

// ------------------------------------------------------------------ system libraries

// With the product's set-up, a library is looked for in the system folder only: a same-named
// one in the program's folder or the current folder is never taken.
TEST_F(ProgramLifeTest, LibrariesComeFromTheSystemFolderOnly) {
    Folder folder;
    ASSERT_TRUE(folder.copy(L"qa_win32_tests.exe", L"qa_win32_tests.exe"));
    ASSERT_TRUE(folder.copy(kProbeLibrary, kProbeLibrary));
    ASSERT_TRUE(folder.copy(kProbeLibrary, L"dsound.dll"));
    ASSERT_TRUE(folder.copy(kProbeLibrary, L"hhctrl.ocx"));
    Child child = start(folder.path() + L"qa_win32_tests.exe", kLoadLibrariesArgument, folder.path());
    ASSERT_TRUE(child.handle);
    ASSERT_TRUE(child.ended());
    const DWORD faults = child.exitCode();
    EXPECT_FALSE(faults & 1) << "a library was found in the program's or the current folder";
    EXPECT_FALSE(faults & 2) << "dsound.dll did not come from the system folder";
    EXPECT_FALSE(faults & 4) << "hhctrl.ocx did not come from the system folder";
    EXPECT_EQ(faults, 0u);
    EXPECT_FALSE(folder.probeCodeRan()) << "a planted library's code ran";
}

// ------------------------------------------------------------------ COM

TEST_F(ProgramLifeTest, TheUserInterfaceThreadIsInASingleThreadedApartment) {
    Child child =
        start(qa_test::testDirectory() + L"qa_win32_tests.exe", kApartmentArgument, tempFolder());
    ASSERT_TRUE(child.handle);
    ASSERT_TRUE(child.ended());
    EXPECT_EQ(child.exitCode(), 0u);
}

} // namespace
