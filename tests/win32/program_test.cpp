// The real program, started as a process next to the test program: what a user and other
// processes see of it without a transmitter.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

using plat::win32::UniqueHandle;

constexpr const auto& kControllerTitle = shown::wide::controllerTitle;

std::wstring programPath() {
    return qa_test::testDirectory() + L"QuorvaneAuravo.exe";
}

HWND controller() {
    return ::FindWindowW(nullptr, kControllerTitle);
}

struct Process {
    UniqueHandle handle;
    DWORD id = 0;
};

Process startProgram() {
    const std::wstring path = programPath();
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    Process p;
    // CreateProcessW hands out a full-access handle: the tests may also read its modules.
    if (::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         qa_test::testDirectory().c_str(), &startup, &info)) {
        ::CloseHandle(info.hThread);
        p.handle.reset(info.hProcess);
        p.id = info.dwProcessId;
    }
    return p;
}

bool ended(const Process& p, DWORD timeoutMs = qa_test::kWaitMs) {
    return ::WaitForSingleObject(p.handle.get(), timeoutMs) == WAIT_OBJECT_0;
}

// Top-level dialog windows of `pid` with exactly this title.
std::vector<HWND> dialogsOf(DWORD pid, const std::wstring& title) {
    return qa_test::windowsOf(pid, [&](HWND w) {
        wchar_t cls[16] = {};
        ::GetClassNameW(w, cls, 16);
        return std::wstring(cls) == L"#32770" && qa_test::windowText(w) == title;
    });
}

bool hasLoaded(HANDLE process, const wchar_t* moduleName) {
    HMODULE modules[512];
    DWORD bytes = 0;
    if (!::EnumProcessModules(process, modules, sizeof(modules), &bytes))
        return false;
    const DWORD count = std::min<DWORD>(bytes / sizeof(HMODULE), DWORD(std::size(modules)));
    for (DWORD i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH] = {};
        if (::GetModuleBaseNameW(process, modules[i], name, MAX_PATH) &&
            ::lstrcmpiW(name, moduleName) == 0)
            return true;
    }
    return false;
}

class ProgramProcess : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy left over by an earlier, failed run would answer instead of ours.
        if (HWND stale = controller()) {
            ::PostMessageW(stale, WM_CLOSE, 0, 0);
            ASSERT_TRUE(qa_test::waitFor([] { return controller() == nullptr; }));
        }
        first_ = startProgram();
        ASSERT_TRUE(first_.handle) << "cannot start " << ::GetLastError();
        ASSERT_TRUE(qa_test::waitFor([&] { return (window_ = controller()) != nullptr; }))
            << "the controller window never appeared";
        ASSERT_EQ(qa_test::ownerProcess(window_), first_.id);
    }
    void TearDown() override {
        if (first_.handle && !ended(first_, 0)) {
            ::TerminateProcess(first_.handle.get(), 99);
            ended(first_);
        }
    }

    Process first_;
    HWND window_ = nullptr;
};

TEST_F(ProgramProcess, RunsSilentAndHiddenAsOneCopyAndEndsOnWmClose) {
    // Idle in its modal loop: initialised, shown by the loop and painted, which hides it.
    ASSERT_EQ(::WaitForInputIdle(first_.handle.get(), qa_test::kWaitMs), 0u);
    EXPECT_FALSE(::IsWindowVisible(window_)) << "the controller is visible";
    EXPECT_TRUE(qa_test::windowsOf(first_.id, [](HWND w) { return ::IsWindowVisible(w) != FALSE; }).empty())
        << "the program shows a window without a transmitter";
    // The resource library next to the program is mapped as data, not loaded as a module.
    EXPECT_FALSE(hasLoaded(first_.handle.get(), L"KTRResource.dll"));
    EXPECT_TRUE(hasLoaded(first_.handle.get(), L"QuorvaneAuravo.exe")) << "modules unreadable";

    const Process second = startProgram();
    ASSERT_TRUE(second.handle);
    ASSERT_TRUE(ended(second)) << "a second copy kept running";
    EXPECT_EQ(controller(), window_);
    EXPECT_FALSE(::IsWindowVisible(window_));
    EXPECT_TRUE(dialogsOf(second.id, kControllerTitle).empty());

    ASSERT_TRUE(::PostMessageW(window_, WM_CLOSE, 0, 0));
    ASSERT_TRUE(ended(first_)) << "WM_CLOSE did not end the program";
    DWORD exitCode = 1;
    ASSERT_TRUE(::GetExitCodeProcess(first_.handle.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(controller(), nullptr);
}

// Another process asks the controller (WM_USER, 20) to open the settings: without a
// transmitter it says so once, however often it is asked while the notice is open.
TEST_F(ProgramProcess, SettingsRequestWithoutTransmitterShowsOneNotice) {
    const std::wstring caption = shown::wide::noTransmitterCaption;
    ASSERT_TRUE(::PostMessageW(window_, WM_USER, 20, 0));
    HWND notice = nullptr;
    ASSERT_TRUE(qa_test::waitFor([&] {
        const auto found = dialogsOf(first_.id, caption);
        notice = found.empty() ? nullptr : found.front();
        return notice && ::IsWindowVisible(notice);
    })) << "no notice appeared";
    EXPECT_EQ(qa_test::windowText(::GetDlgItem(notice, IDOK)), shown::wide::ok);
    // Set by the program's message-box hook, not by the system's box.
    EXPECT_TRUE(::GetWindowLongPtrW(notice, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    // Sent, not posted: it returns once the controller has handled it, and would not
    // return at all while a second notice were open.
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(window_, WM_USER, 20, 0, SMTO_NORMAL, 5000, &ignored))
        << "the second request opened something modal";
    EXPECT_EQ(dialogsOf(first_.id, caption).size(), 1u);

    ::PostMessageW(::GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(qa_test::waitFor([&] { return !::IsWindow(notice); }));
    EXPECT_TRUE(::IsWindow(window_));

    ASSERT_TRUE(::PostMessageW(window_, WM_CLOSE, 0, 0));
    EXPECT_TRUE(ended(first_));
}

// The shell starts programs as the program starts media players.
TEST(ProgramThroughTheShell, StartsAndReportsMissingFiles) {
    plat::Processes& processes = plat::processes();
    EXPECT_EQ(processes.shellExecute(0, u"open",
                                     qa_test::u16(qa_test::testDirectory() + L"absent-player.exe"),
                                     SW_SHOWNORMAL),
              ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(controller(), nullptr);
    EXPECT_GT(processes.shellExecute(0, u"open", qa_test::u16(programPath()), SW_SHOWNORMAL), 32);
    HWND window = nullptr;
    ASSERT_TRUE(qa_test::waitFor([&] { return (window = controller()) != nullptr; }));
    const DWORD pid = qa_test::ownerProcess(window);
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    ASSERT_TRUE(process);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.get(), qa_test::kWaitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 99);
        FAIL() << "the program did not end on WM_CLOSE";
    }
}

// ---------------------------------------------------------------- build products

std::vector<char> fileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

const IMAGE_NT_HEADERS* ntHeaders(const std::vector<char>& image) {
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return nullptr;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0 ||
        std::size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS) > image.size())
        return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

TEST(ProgramFile, IsAGuiProgramWithCommonControlsSixAndAVersion) {
    const std::vector<char> image = fileBytes(programPath());
    const IMAGE_NT_HEADERS* nt = ntHeaders(image);
    ASSERT_NE(nt, nullptr);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    // The product is the 32-bit build; a 64-bit test build (where 32-bit Wine cannot run)
    // starts the program built with it.
    EXPECT_EQ(nt->FileHeader.Machine,
              sizeof(void*) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);

    plat::win32::UniqueModule program(::LoadLibraryExW(
        programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(program);
    HRSRC manifest = ::FindResourceW(program.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const char* text =
        static_cast<const char*>(::LockResource(::LoadResource(program.get(), manifest)));
    ASSERT_NE(text, nullptr);
    const std::string xml(text, ::SizeofResource(program.get(), manifest));
    EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(xml.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(xml.find(sizeof(void*) == 4 ? "processorArchitecture=\"x86\""
                                          : "processorArchitecture=\"amd64\""),
              std::string::npos);
    // Per-monitor DPI awareness (v2, falling back to per-monitor), and Windows 10 and 11
    // among the systems it declares it was written for.
    EXPECT_NE(xml.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(xml.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(xml.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"),
              std::string::npos);
    EXPECT_NE(xml.find("<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>"),
              std::string::npos);

    for (const std::wstring& file :
         {programPath(), qa_test::testDirectory() + L"KTRResource.dll"}) {
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<BYTE> info(size);
        ASSERT_TRUE(::GetFileVersionInfoW(file.c_str(), 0, size, info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(
            ::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), 1u);
        EXPECT_EQ(fixed->dwFileType, file == programPath() ? DWORD(VFT_APP) : DWORD(VFT_DLL));
    }
}

} // namespace
