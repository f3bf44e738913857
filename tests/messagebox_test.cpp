// The shared helpers of the controller's module: message boxes with the string table's button
// texts, the "%1" formatter, and the tray icon image that two threads change.
#include "Application.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "Globals.h"
#include "ProcessObjects.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "shown_texts.h"
#include "sim_pc.h"
#include "sim_res_builder.h"
#include "text.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using sim::ModalContext;
using sim::ModalKind;

class MessageBoxTest : public testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();

    void SetUp() override {
        pc->install();
        startProcessObjects();
    }

    void TearDown() override {
        EXPECT_TRUE(pc->failures().empty()) << pc->failures().front();
        pc.reset();
        plat::install({});
        endProcessObjects();
    }

    // The next box with this caption: records what it shows, then presses `button` (or
    // Escape when `button` is empty).
    void answer(const plat::String& caption, const plat::String& button, sim::ModalView& seen) {
        sim::ScriptEntry entry;
        entry.kind = ModalKind::MessageBox;
        entry.caption = caption;
        entry.act = [button, &seen](ModalContext& c) {
            seen = c.view();
            if (button.empty())
                c.pressEscape();
            else
                c.pressButton(button);
        };
        pc->script(entry);
    }

    static plat::String buttonText(const sim::ModalView& view, int id) {
        const sim::ControlView* button = view.control(id);
        return button ? button->text : u"(none)";
    }
};

TEST_F(MessageBoxTest, YesNoBoxesShowTheStringTableTextsAndAnswerYesOrNo) {
    sim::ModalView seen;
    answer(shown::exitCaption, shown::yes, seen);
    EXPECT_EQ(LocalizedMessageBox(0, shown::exitText, shown::exitCaption, 0x2024),
              static_cast<int>(IDYES));
    EXPECT_EQ(buttonText(seen, IDOK), shown::yes);
    EXPECT_EQ(buttonText(seen, IDCANCEL), shown::no);
    // Shown as OK/Cancel with every other bit kept: task-modal, question icon.
    EXPECT_EQ(seen.style, 0x2021u);
    EXPECT_NE(seen.exStyle & WS_EX_APPWINDOW, 0u);

    answer(shown::exitCaption, shown::no, seen);
    EXPECT_EQ(LocalizedMessageBox(0, u"?", shown::exitCaption, 0x2024), static_cast<int>(IDNO));
    answer(shown::exitCaption, u"", seen);
    EXPECT_EQ(LocalizedMessageBox(0, u"?", shown::exitCaption, 0x2024), static_cast<int>(IDNO));
}

TEST_F(MessageBoxTest, OtherBoxesKeepTheirButtonsAndResults) {
    sim::ModalView seen;
    answer(u"Asking", shown::cancel, seen);
    EXPECT_EQ(LocalizedMessageBox(0, u"Go on?", u"Asking", MB_OKCANCEL),
              static_cast<int>(IDCANCEL));
    EXPECT_EQ(buttonText(seen, IDOK), shown::ok);
    EXPECT_EQ(buttonText(seen, IDCANCEL), shown::cancel);
    EXPECT_EQ(seen.style, MB_OKCANCEL);

    // An OK box has no button 2 to relabel.
    answer(shown::error, shown::ok, seen);
    EXPECT_EQ(LocalizedMessageBox(0, shown::noTimer, shown::error, 0x2010), static_cast<int>(IDOK));
    EXPECT_EQ(seen.controls.size(), 1u);
    EXPECT_EQ(seen.style, 0x2010u);
    EXPECT_NE(seen.exStyle & WS_EX_APPWINDOW, 0u);
}

TEST_F(MessageBoxTest, ButtonTextsFollowTheLanguageOfTheResources) {
    simtest::ResFile res;
    res.strings(10, {u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"Valider",
                     u"Annuler", u"Oui"}); // ids 144..159
    res.strings(11, {u"Non"});             // id 160
    ASSERT_TRUE(pc->setResourceBlob(res.bytes()));
    fw::setResourceModule(plat::resources().programModule());

    sim::ModalView seen;
    answer(u"Q", u"Non", seen);
    EXPECT_EQ(LocalizedMessageBox(0, u"?", u"Q", MB_YESNO), static_cast<int>(IDNO));
    EXPECT_EQ(buttonText(seen, IDOK), u"Oui");
    answer(u"Q", u"Valider", seen);
    EXPECT_EQ(LocalizedMessageBox(0, u"?", u"Q", MB_OKCANCEL), static_cast<int>(IDOK));
    EXPECT_EQ(buttonText(seen, IDCANCEL), u"Annuler");
}

TEST(FormatPlaceholdersTest, ReplacesOnlyNumberedArgumentsThatExist) {
    struct Case {
        const char16_t* text;
        const char16_t* expected;
    };
    const Case oneArgument[] = {
        {u"%1 must be restarted.", u"Winamp must be restarted."},
        {u"Delete %1? Really %1?", u"Delete Winamp? Really Winamp?"},
        {u"%1%1", u"WinampWinamp"},
        {u"50%", u"50%"},
        {u"100% sure", u"100% sure"},
        {u"%", u"%"},
        {u"%%", u"%%"},
        {u"%%1", u"%Winamp"},
        {u"%0 and %01", u"%0 and %01"},
        {u"%2", u"%2"},
        {u"%12 is not %1 then 2", u"%12 is not Winamp then 2"},
        {u"%99999999999999999999999", u"%99999999999999999999999"},
        {u"", u""},
    };
    for (const Case& c : oneArgument)
        EXPECT_EQ(FormatPlaceholders(1, c.text, u"Winamp"), c.expected) << plat::toUtf8(c.text);

    EXPECT_EQ(FormatPlaceholders(2, u"%2 before %1", u"a", u"b"), u"b before a");
    EXPECT_EQ(FormatPlaceholders(12, u"%12", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9",
                                 u"10", u"11", u"12"),
              u"12");
    // A count beyond the arguments given never reads past them.
    EXPECT_EQ(FormatPlaceholders(3, u"%1 %2 %3", u"only"), u"only %2 %3");
    EXPECT_EQ(FormatPlaceholders(0, u"%1"), u"%1");
}

TEST_F(MessageBoxTest, TheIconImageIsConsistentWhenTwoThreadsChangeIt) {
    Globals& g = globals();
    const plat::Hwnd owner =
        pc->createForeignWindow(u"#32770", u"owner", sim::SimPc::kProgramProcessId);
    g.trayIconData.window = owner;
    g.trayIconData.id = 114;
    g.trayIconData.flags = NIF_ICON;
    ASSERT_TRUE(notifyTrayIcon(NIM_ADD));

    // The reader thread reports the link up and down while the interface thread resets it.
    const plat::Handle reader = plat::threads().startThread([] {
        for (int i = 0; i < 200; ++i)
            SetTrayIconImage(i % 2 == 0);
    });
    for (int i = 0; i < 200; ++i)
        SetTrayIconImage(false);
    EXPECT_EQ(plat::threads().waitForSingleObject(reader, INFINITE), WAIT_OBJECT_0);
    plat::threads().closeHandle(reader);

    const auto icons = pc->trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].icon, g.trayIconData.icon); // what the shell shows is what the record holds
}

} // namespace
