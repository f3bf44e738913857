// The processes-and-security port: the token's groups (the administrator check) and
// ending another process (closing a media player).
#include <windows.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace {

const plat::Sid kAdministrators{{0, 0, 0, 0, 0, 5}, {32, 544}};

class TokenGroups : public ::testing::Test {
protected:
    void SetUp() override {
        token_ = processes.openProcessToken();
        ASSERT_NE(token_, 0u);
    }
    void TearDown() override {
        if (token_) {
            EXPECT_TRUE(processes.closeToken(token_));
        }
    }
    plat::Processes& processes = plat::processes();
    plat::Handle token_ = 0;
};

// Wine's user is an administrator, as the first user of a Windows installation is.
TEST_F(TokenGroups, ListTheAdministratorsGroup) {
    std::vector<plat::SidAndAttributes> groups;
    std::uint32_t needed = 0, error = 0;
    ASSERT_TRUE(processes.getTokenGroups(token_, 4096, groups, needed, error)) << error;
    EXPECT_GT(needed, 0u);
    EXPECT_LE(needed, 4096u);
    ASSERT_FALSE(groups.empty());
    EXPECT_TRUE(std::any_of(groups.begin(), groups.end(), [](const plat::SidAndAttributes& g) {
        return g.sid == kAdministrators;
    }));
    for (const auto& g : groups)
        EXPECT_FALSE(g.sid.subAuthorities.empty());
}

TEST_F(TokenGroups, TooSmallABufferReportsTheSizeNeeded) {
    std::vector<plat::SidAndAttributes> groups{plat::SidAndAttributes{}};
    std::uint32_t needed = 0, error = 0;
    EXPECT_FALSE(processes.getTokenGroups(token_, 16, groups, needed, error));
    EXPECT_EQ(error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_GT(needed, 16u);
    EXPECT_TRUE(groups.empty());

    std::vector<plat::SidAndAttributes> exact;
    std::uint32_t again = 0;
    ASSERT_TRUE(processes.getTokenGroups(token_, needed, exact, again, error)) << error;
    EXPECT_EQ(again, needed);
    EXPECT_FALSE(exact.empty());
}

TEST(ProcessesPort, TerminatesAnotherProcessWithItsExitCode) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::string argument = qa_test::kChildWaitArgument;
    std::wstring commandLine =
        L"\"" + std::wstring(self) + L"\" " + std::wstring(argument.begin(), argument.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &child));
    plat::win32::UniqueHandle childProcess(child.hProcess), childThread(child.hThread);

    plat::Processes& processes = plat::processes();
    const plat::Handle process = processes.openProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION, child.dwProcessId);
    ASSERT_NE(process, 0u);
    EXPECT_TRUE(processes.terminateProcess(process, 7));
    ASSERT_EQ(plat::threads().waitForSingleObject(process, qa_test::kWaitMs), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(::GetExitCodeProcess(childProcess.get(), &exitCode));
    EXPECT_EQ(exitCode, 7u);
    EXPECT_TRUE(processes.closeHandle(process));
    EXPECT_FALSE(processes.closeHandle(0));
}

TEST(ProcessesPort, OpeningAProcessThatDoesNotExistFails) {
    // Process ids are multiples of four; this one is never handed out.
    EXPECT_EQ(plat::processes().openProcess(PROCESS_TERMINATE, 0xFFFFFFF1u), 0u);
}

// Help comes from a library loaded at run time; a help file that is not there is an answer
// of no window, not a hang or a crash.
TEST(ProcessesPort, HelpForAMissingFileOpensNothing) {
    const std::wstring file = qa_test::testDirectory() + L"absent help.chm::/startofhelp.htm";
    EXPECT_EQ(plat::processes().htmlHelp(0, qa_test::u16(file), HH_DISPLAY_TOPIC, 0), 0u);
}

// The popup record HtmlHelpW gets: the platform's own layout (52 bytes on 32-bit Windows),
// no instance, text or font, and -1 for the viewer's default colours and margins.
TEST(ProcessesPort, HelpPopupRecordCarriesTheRequestAndTheDefaults) {
    plat::HelpPopup popup;
    popup.stringId = 1003;
    popup.position = {300, 200};
    const HH_POPUP record = plat::win32::toHhPopup(popup);
    EXPECT_EQ(record.cbStruct, static_cast<int>(sizeof(HH_POPUP)));
    if (sizeof(void*) == 4)
        EXPECT_EQ(record.cbStruct, 52);
    EXPECT_EQ(record.hinst, nullptr);
    EXPECT_EQ(record.idString, 1003u);
    EXPECT_EQ(record.pszText, nullptr);
    EXPECT_EQ(record.pt.x, 300);
    EXPECT_EQ(record.pt.y, 200);
    EXPECT_EQ(record.clrForeground, 0xFFFFFFFFu);
    EXPECT_EQ(record.clrBackground, 0xFFFFFFFFu);
    EXPECT_EQ(record.rcMargins.left, -1);
    EXPECT_EQ(record.rcMargins.top, -1);
    EXPECT_EQ(record.rcMargins.right, -1);
    EXPECT_EQ(record.rcMargins.bottom, -1);
    EXPECT_EQ(record.pszFont, nullptr);

    // A popup from a help file that is not there shows nothing and does not hang.
    const std::wstring file = qa_test::testDirectory() + L"absent help.chm::/popupdisplay.txt";
    EXPECT_EQ(plat::processes().htmlHelp(0, qa_test::u16(file), HH_DISPLAY_TEXT_POPUP,
                                         reinterpret_cast<std::uintptr_t>(&popup)),
              0u);
}

// What HtmlHelpW itself is handed, which a help viewer that cannot open the file never shows:
// for a popup the HH_POPUP record made of the portable one, field by field; for a topic the
// data as it came.
struct HelpCall {
    HWND caller = nullptr;
    std::wstring file;
    UINT command = 0;
    HH_POPUP popup{};
    DWORD_PTR data = 0;
} helpCall;

HWND WINAPI recordHelpCall(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data) {
    helpCall = {caller, file, command, {}, data};
    if (command == 14 && data) // HH_DISPLAY_TEXT_POPUP
        helpCall.popup = *reinterpret_cast<const HH_POPUP*>(data);
    return nullptr;
}

TEST(ProcessesPort, HtmlHelpIsHandedARealPopupRecordAndTheCaller) {
    plat::HelpPopup popup;
    popup.instance = 0x00400000;
    popup.stringId = 1019;
    popup.position = {-20, 700};
    popup.foreground = 0x00112233;
    popup.background = 0x00445566;
    popup.margins = {1, 2, 3, 4};
    const plat::Hwnd caller = 0x00A0B0;
    plat::win32::callHtmlHelp(&recordHelpCall, caller, u"help.chm::/popupdisplay.txt", 14,
                              reinterpret_cast<std::uintptr_t>(&popup));
    EXPECT_EQ(helpCall.caller, reinterpret_cast<HWND>(0x00A0B0));
    EXPECT_EQ(helpCall.file, L"help.chm::/popupdisplay.txt");
    EXPECT_EQ(helpCall.command, 14u);
    EXPECT_NE(helpCall.data, reinterpret_cast<DWORD_PTR>(&popup));
    const HH_POPUP& record = helpCall.popup;
    EXPECT_EQ(record.cbStruct, sizeof(void*) == 4 ? 52 : static_cast<int>(sizeof(HH_POPUP)));
    EXPECT_EQ(record.hinst, reinterpret_cast<HINSTANCE>(0x00400000));
    EXPECT_EQ(record.idString, 1019u);
    EXPECT_EQ(record.pszText, nullptr);
    EXPECT_EQ(record.pt.x, -20);
    EXPECT_EQ(record.pt.y, 700);
    EXPECT_EQ(record.clrForeground, 0x00112233u);
    EXPECT_EQ(record.clrBackground, 0x00445566u);
    EXPECT_EQ(record.rcMargins.left, 1);
    EXPECT_EQ(record.rcMargins.top, 2);
    EXPECT_EQ(record.rcMargins.right, 3);
    EXPECT_EQ(record.rcMargins.bottom, 4);
    EXPECT_EQ(record.pszFont, nullptr);

    plat::win32::callHtmlHelp(&recordHelpCall, 0, u"help.chm::/Devices.htm", 0, 0x1234);
    EXPECT_EQ(helpCall.caller, nullptr);
    EXPECT_EQ(helpCall.command, 0u);
    EXPECT_EQ(helpCall.data, 0x1234u);
}

} // namespace
