// The user-interface port against Windows' behaviour, in both tiers: the framework's dialog,
// property sheet and pages, the control wrappers and the seam, driven by a user. Each test
// states what the real dialog manager does (as Wine shows it, unless Wine is known to differ
// from what Windows documents: Tier::isWine); the simulated PC must agree.
#include "ui_conformance.h"
#include "ui_conformance_ids.h"

#include "Application.h"
#include "Controls.h"
#include "Dialog.h"
#include "PropertySheetDialog.h"

#include <gtest/gtest.h>

#include <thread>

namespace conformance {

// For failure messages.
void PrintTo(const MenuItemView& item, std::ostream* out) {
    *out << "{";
    for (char16_t c : item.text)
        *out << (c < 0x80 ? static_cast<char>(c) : '?');
    *out << " id " << item.id << (item.popup ? " popup" : "") << (item.checked ? " checked" : "")
         << (item.radio ? " radio" : "") << (item.isDefault ? " default" : "")
         << (item.enabled ? "" : " disabled") << "}";
}

} // namespace conformance

namespace {

using conformance::MenuItemView;
using conformance::Modal;
using conformance::User;
using plat::String;

// The numbers this suite checks, from its own table rather than the program's.
constexpr std::uint32_t kUser = 0x0400;
constexpr std::uint32_t kApp = 0x8000;
constexpr std::uint32_t kNull = 0x0000;
constexpr std::uint32_t kCommand = 0x0111;
constexpr std::uint32_t kSetText = 0x000C;
constexpr std::uint32_t kHelp = 0x0053;
constexpr std::uint32_t kDmGetDefId = 0x0400;
constexpr std::uint32_t kDcHasDefId = 0x534B;
constexpr plat::LResult kListError = -1;

const char* sourceName(plat::MessageSource source) {
    switch (source) {
    case plat::MessageSource::Queue:
        return "posted";
    case plat::MessageSource::ThisThread:
        return "sent here";
    case plat::MessageSource::OtherThread:
        return "sent from elsewhere";
    }
    return "?";
}

std::string narrow(const String& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

class UiConformance : public testing::Test {
protected:
    void SetUp() override { fw::setResourceModule(tier->templates()); }
    void TearDown() override { fw::setResourceModule(0); }

    std::unique_ptr<conformance::Tier> tier = conformance::makeTier();
};

// ------------------------------------------------------------------ property sheets

using Trace = std::vector<std::string>;

class TracePage : public fw::PropertyPage {
public:
    TracePage(int templateId, std::string name, Trace& trace)
        : fw::PropertyPage(templateId), name_(std::move(name)), trace_(trace) {}

protected:
    void DoDataExchange(bool) override { trace_.push_back(name_ + " exchange"); }
    int OnInitDialog() override {
        trace_.push_back(name_ + " init");
        return fw::PropertyPage::OnInitDialog();
    }
    void OnSetActive() override {
        trace_.push_back(name_ + " set active, " +
                         (plat::desktop().isWindowVisible(window()) ? "shown" : "hidden"));
        fw::PropertyPage::OnSetActive();
    }
    bool OnKillActive() override {
        trace_.push_back(name_ + " kill active");
        return fw::PropertyPage::OnKillActive();
    }
    bool OnApply(bool closing) override {
        trace_.push_back(name_ + " apply " + std::to_string(closing));
        return true;
    }
    bool OnQueryCancel() override {
        trace_.push_back(name_ + " query cancel");
        return true;
    }
    void OnReset(bool closeBox) override {
        trace_.push_back(name_ + " reset " + std::to_string(closeBox));
    }

    std::string name_;
    Trace& trace_;
};

// Posts itself requests while it opens, and notes every request that reaches it.
class TraceSheet : public fw::PropertySheetDialog {
public:
    explicit TraceSheet(Trace& trace)
        : fw::PropertySheetDialog(u"Conformance Sheet"), trace_(trace) {}

protected:
    int OnInitDialog() override {
        trace_.push_back("sheet init");
        plat::desktop().postMessage(window(), kUser, 0, 0);
        plat::desktop().postMessage(window(), kUser, 1, 0);
        return fw::PropertySheetDialog::OnInitDialog();
    }
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onMessage<&TraceSheet::OnRequest>(kUser),
        };
        static const fw::MessageMap map{fw::PropertySheetDialog::messageMap(), entries};
        return &map;
    }
    // Code n asks for a refresh of page n.
    void OnRequest(plat::WParam code) {
        trace_.push_back("sheet request " + std::to_string(code) + ", " +
                         sourceName(plat::ui().currentMessageSource()));
        refreshPage(static_cast<int>(code));
    }

    Trace& trace_;
};

struct SheetRun {
    int result = -99;
    Trace trace;
};

SheetRun runTraceSheet(conformance::Tier& tier, std::function<void(User&)> act) {
    SheetRun run;
    tier.expect(Modal::Sheet, std::move(act));
    run.result = tier.run([&] {
        TraceSheet sheet(run.trace);
        TracePage alpha(IDD_QA_PAGE_ALPHA, "Alpha", run.trace);
        TracePage beta(IDD_QA_PAGE_BETA, "Beta", run.trace);
        sheet.addPage(alpha);
        sheet.addPage(beta);
        const auto result = static_cast<int>(sheet.doModal());
        run.trace.push_back("sheet ended");
        return result;
    });
    return run;
}

// The active page is refreshed on request, the other one is not.
const Trace kSheetOpens = {"sheet init",
                           "Alpha init",
                           "Alpha exchange",
                           "Alpha set active, hidden",
                           "sheet request 0, posted",
                           "Alpha exchange",
                           "sheet request 1, posted"};

Trace opensThen(Trace rest) {
    Trace all = kSheetOpens;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

// A tab click asks the page shown to let go, makes the new page and tells it while it is
// still hidden; Close applies every page made; Escape cancels, and WM_CLOSE does too, telling
// the pages that the close box did it. Enter is Close: its DM_GETDEFID is no request.
TEST_F(UiConformance, SheetEndsThroughItsOwnButtonsAndTellsThePagesInOrder) {
    const SheetRun closed = runTraceSheet(*tier, [](User& u) {
        u.clickTab(1);
        u.click(IDOK);
    });
    EXPECT_EQ(closed.trace,
              opensThen({"Alpha kill active", "Alpha exchange", "Beta init", "Beta exchange",
                         "Beta set active, hidden", "Beta kill active", "Beta exchange",
                         "Alpha apply 1", "Beta apply 1", "sheet ended"}));
    EXPECT_EQ(closed.result, 1);

    const SheetRun escaped = runTraceSheet(*tier, [](User& u) { u.pressEscape(); });
    EXPECT_EQ(escaped.trace, opensThen({"Alpha query cancel", "Alpha reset 0", "sheet ended"}));
    EXPECT_EQ(escaped.result, 0);

    const SheetRun closedByMessage = runTraceSheet(
        *tier, [](User& u) { plat::desktop().postMessage(u.window(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(closedByMessage.trace,
              opensThen({"Alpha query cancel", "Alpha reset 1", "sheet ended"}));
    EXPECT_EQ(closedByMessage.result, 0);

    const SheetRun entered = runTraceSheet(*tier, [](User& u) { u.pressEnter(); });
    EXPECT_EQ(entered.trace,
              opensThen({"Alpha kill active", "Alpha exchange", "Alpha apply 1", "sheet ended"}));
    EXPECT_EQ(entered.result, 1);
}

// Help asked for on a page's control reaches the sheet: the control and then the page hand
// WM_HELP on to their parents. (Only the route is compared: Windows fills the context id from
// the control's template, Wine leaves it 0.)
class HelpSheet : public TraceSheet {
public:
    using TraceSheet::TraceSheet;
    int helpRequests = 0;

protected:
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onMessage<&HelpSheet::OnHelp>(kHelp),
        };
        static const fw::MessageMap map{TraceSheet::messageMap(), entries};
        return &map;
    }
    plat::LResult OnHelp(plat::WParam, plat::LParam lParam) {
        if (reinterpret_cast<const plat::HelpInfo*>(lParam))
            ++helpRequests;
        return 1;
    }
};

TEST_F(UiConformance, HelpOnAPageControlReachesTheSheet) {
    tier->expect(Modal::Sheet, [](User& u) {
        u.requestHelp(IDC_QA_ASK);
        u.click(IDOK);
    });
    Trace trace;
    int seen = 0;
    tier->run([&] {
        HelpSheet sheet(trace);
        TracePage alpha(IDD_QA_PAGE_ALPHA, "Alpha", trace);
        sheet.addPage(alpha);
        const auto r = static_cast<int>(sheet.doModal());
        seen = sheet.helpRequests;
        return r;
    });
    EXPECT_EQ(seen, 1);
}

// A page whose End button calls EndDialog on the sheet, as the inherited OK handling of a
// dialog would, and then closes it properly.
class EndingPage : public TracePage {
public:
    using TracePage::TracePage;
    bool visibleAfterEnd = true;
    bool existsAfterEnd = false;

protected:
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onCommand<&EndingPage::OnEnd>(IDC_QA_END),
        };
        static const fw::MessageMap map{TracePage::messageMap(), entries};
        return &map;
    }
    void OnEnd() {
        const plat::Hwnd sheetWindow = sheet()->window();
        plat::ui().endDialog(sheetWindow, IDOK);
        visibleAfterEnd = plat::desktop().isWindowVisible(sheetWindow);
        existsAfterEnd = plat::desktop().isWindow(sheetWindow);
        trace_.push_back("end dialog called");
        sheet()->clickButton(IDOK);
    }
};

TEST_F(UiConformance, EndDialogOnASheetOnlyHidesItWhileItRunsOn) {
    tier->expectMisuseReport("EndDialog on the property sheet");
    tier->expect(Modal::Sheet, [](User& u) { u.click(IDC_QA_END); });
    Trace trace;
    bool visible = true, exists = false;
    const int result = tier->run([&] {
        TraceSheet sheet(trace);
        EndingPage alpha(IDD_QA_PAGE_ALPHA, "Alpha", trace);
        sheet.addPage(alpha);
        const auto r = static_cast<int>(sheet.doModal());
        visible = alpha.visibleAfterEnd;
        exists = alpha.existsAfterEnd;
        trace.push_back("sheet ended");
        return r;
    });
    EXPECT_FALSE(visible);
    EXPECT_TRUE(exists);
    // Only the sheet's own OK ended the run.
    EXPECT_EQ(trace, opensThen({"end dialog called", "Alpha kill active", "Alpha exchange",
                                "Alpha apply 1", "sheet ended"}));
    EXPECT_EQ(result, 1);
}

// A page's Ask button opens a dialog and a message box owned by the page.
class AskingPage : public TracePage {
public:
    using TracePage::TracePage;
    plat::Hwnd sheetWindow = 0;
    std::intptr_t dialogResult = -99;
    int boxResult = -99;
    bool sheetEnabledAfter = false;

protected:
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onCommand<&AskingPage::OnAsk>(IDC_QA_ASK),
        };
        static const fw::MessageMap map{TracePage::messageMap(), entries};
        return &map;
    }
    void OnAsk() {
        sheetWindow = sheet()->window();
        fw::Dialog owned(IDD_QA_OWNED, window());
        dialogResult = owned.doModal();
        boxResult = plat::ui().messageBox(window(), u"Asked.", u"Conformance Box", MB_OK, nullptr);
        sheetEnabledAfter = plat::desktop().isWindowEnabled(sheetWindow);
        sheet()->clickButton(IDOK);
    }
};

TEST_F(UiConformance, AModalOwnedByAPageIsOwnedByTheSheetAndDisablesIt) {
    plat::Hwnd dialogOwner = 0, boxOwner = 0;
    bool dialogOwnerEnabled = true, boxOwnerEnabled = true;
    tier->expect(Modal::Sheet, [](User& u) { u.click(IDC_QA_ASK); });
    tier->expect(Modal::Dialog, [&](User& u) {
        dialogOwner = u.owner();
        dialogOwnerEnabled = plat::desktop().isWindowEnabled(dialogOwner);
        u.pressEscape();
    });
    tier->expect(Modal::MessageBox, [&](User& u) {
        boxOwner = u.owner();
        boxOwnerEnabled = plat::desktop().isWindowEnabled(boxOwner);
        u.pressEnter();
    });
    Trace trace;
    plat::Hwnd sheetWindow = 0;
    std::intptr_t dialogResult = -99;
    int boxResult = -99;
    bool sheetEnabledAfter = false;
    tier->run([&] {
        TraceSheet sheet(trace);
        AskingPage alpha(IDD_QA_PAGE_ALPHA, "Alpha", trace);
        sheet.addPage(alpha);
        const auto r = static_cast<int>(sheet.doModal());
        sheetWindow = alpha.sheetWindow;
        dialogResult = alpha.dialogResult;
        boxResult = alpha.boxResult;
        sheetEnabledAfter = alpha.sheetEnabledAfter;
        return r;
    });
    ASSERT_NE(sheetWindow, 0u);
    EXPECT_EQ(dialogOwner, sheetWindow);
    EXPECT_FALSE(dialogOwnerEnabled);
    EXPECT_EQ(dialogResult, IDCANCEL);
    EXPECT_EQ(boxOwner, sheetWindow);
    EXPECT_FALSE(boxOwnerEnabled);
    EXPECT_EQ(boxResult, static_cast<int>(IDOK));
    EXPECT_TRUE(sheetEnabledAfter);
}

// ------------------------------------------------------------------ dialogs

// A framework dialog that notes what reaches it: every 0x0400 with its source, the requests
// among them, and its buttons.
class NotingDialog : public fw::Dialog {
public:
    explicit NotingDialog(int templateId) : fw::Dialog(templateId) {}
    Trace trace;
    std::function<void(NotingDialog&)> onInit;

    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult& result) override {
        if (msg == kUser)
            trace.push_back("0x0400 " + std::to_string(wParam) + ", " +
                            sourceName(plat::ui().currentMessageSource()));
        return fw::Dialog::dialogMessage(window, msg, wParam, lParam, result);
    }

protected:
    int OnInitDialog() override {
        fw::Dialog::OnInitDialog();
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onMessage<&NotingDialog::OnRequest>(kUser),
            fw::onMessage<&NotingDialog::OnPosted>(kApp + 1),
            fw::onCommand<&NotingDialog::OnFirst>(IDC_QA_FIRST),
            fw::onCommand<&NotingDialog::OnSecond>(IDC_QA_SECOND),
            fw::onNotify<&NotingDialog::OnPlainSelection>(LBN_SELCHANGE, IDC_QA_PLAIN),
            fw::onNotify<&NotingDialog::OnPlainDoubleClick>(LBN_DBLCLK, IDC_QA_PLAIN),
            fw::onNotify<&NotingDialog::OnQuietSelection>(LBN_SELCHANGE, IDC_QA_QUIET),
            fw::onNotify<&NotingDialog::OnQuietDoubleClick>(LBN_DBLCLK, IDC_QA_QUIET),
            fw::onNotify<&NotingDialog::OnEditChange>(EN_CHANGE, IDC_QA_EDIT),
            fw::onCommand<&NotingDialog::OnCheckClicked>(IDC_QA_CHECK),
        };
        static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
        return &map;
    }
    void OnCancel() override {
        trace.push_back("cancel");
        fw::Dialog::OnCancel();
    }
    void OnRequest(plat::WParam code) {
        trace.push_back("request " + std::to_string(code));
        if (code == 4) // from another thread: the test is over
            endDialog(4);
    }
    void OnPosted() { trace.push_back("posted to itself"); }
    void OnFirst() {
        trace.push_back("first");
        endDialog(IDC_QA_FIRST);
    }
    void OnSecond() {
        trace.push_back("second");
        endDialog(IDC_QA_SECOND);
    }
    void OnPlainSelection() {
        trace.push_back("plain selected " +
                        std::to_string(fw::ListBox(window(), IDC_QA_PLAIN).curSel()));
    }
    void OnPlainDoubleClick() {
        trace.push_back("plain double click " +
                        std::to_string(fw::ListBox(window(), IDC_QA_PLAIN).curSel()));
        trace.push_back("quiet selection " +
                        std::to_string(fw::ListBox(window(), IDC_QA_QUIET).curSel()));
        endDialog(IDOK);
    }
    void OnQuietSelection() { trace.push_back("quiet selected"); }
    void OnQuietDoubleClick() { trace.push_back("quiet double click"); }
    void OnEditChange() { trace.push_back("edit changed"); }
    void OnCheckClicked() { trace.push_back("check clicked"); }
};

// The user acts after what the dialog posted to itself while it opened, as input comes after
// the messages already queued.
TEST_F(UiConformance, TheUsersFirstActionComesAfterWhatTheDialogPostedToItself) {
    tier->expect(Modal::Dialog, [](User& u) { u.pressEscape(); });
    Trace trace;
    const int result = tier->run([&] {
        NotingDialog dialog(IDD_QA_DIALOG);
        dialog.onInit = [](NotingDialog& d) {
            plat::desktop().postMessage(d.window(), kApp + 1, 0, 0);
        };
        const auto r = static_cast<int>(dialog.doModal());
        trace = dialog.trace;
        return r;
    });
    EXPECT_EQ(trace, (Trace{"posted to itself", "cancel"}));
    EXPECT_EQ(result, static_cast<int>(IDCANCEL));
}

TEST_F(UiConformance, EnterPressesTheDefaultButtonAlsoAfterDmSetDefId) {
    bool firstIsDefault = false, secondIsDefault = true;
    tier->expect(Modal::Dialog, [&](User& u) {
        firstIsDefault = u.isDefaultButton(IDC_QA_FIRST);
        secondIsDefault = u.isDefaultButton(IDC_QA_SECOND);
        u.pressEnter();
    });
    Trace trace;
    int result = tier->run([&] {
        NotingDialog dialog(IDD_QA_DIALOG);
        const auto r = static_cast<int>(dialog.doModal());
        trace = dialog.trace;
        return r;
    });
    EXPECT_TRUE(firstIsDefault);
    EXPECT_FALSE(secondIsDefault);
    EXPECT_EQ(result, IDC_QA_FIRST);

    tier->expect(Modal::Dialog, [&](User& u) {
        firstIsDefault = u.isDefaultButton(IDC_QA_FIRST);
        secondIsDefault = u.isDefaultButton(IDC_QA_SECOND);
        u.pressEnter();
    });
    plat::LResult defId = 0;
    result = tier->run([&] {
        NotingDialog dialog(IDD_QA_DIALOG);
        dialog.onInit = [&](NotingDialog& d) {
            d.setDefaultButton(IDC_QA_SECOND);
            // Asked on the dialog's own thread, DM_GETDEFID is answered by the dialog manager.
            defId = plat::desktop().sendMessage(d.window(), kDmGetDefId, 0, 0);
        };
        const auto r = static_cast<int>(dialog.doModal());
        trace = dialog.trace;
        return r;
    });
    EXPECT_FALSE(firstIsDefault);
    EXPECT_TRUE(secondIsDefault);
    EXPECT_EQ(defId, static_cast<plat::LResult>(makeWParam(IDC_QA_SECOND, kDcHasDefId)));
    EXPECT_EQ(result, IDC_QA_SECOND);
    // Both DM_GETDEFIDs (the dialog's own and Enter's) reached the default processing only.
    EXPECT_EQ(trace, (Trace{"0x0400 0, sent here", "0x0400 0, sent here", "second"}));
}

// DM_GETDEFID has WM_USER's number. Enter makes the dialog manager send it on the dialog's
// thread; that is no request. A posted WM_USER is one, and so is one sent from elsewhere.
TEST_F(UiConformance, EnterIsNoRequestButPostedAndForeignWmUserAre) {
    tier->expect(Modal::Dialog, [](User& u) { u.pressEnter(); });
    Trace trace;
    int result = tier->run([&] {
        NotingDialog dialog(IDD_QA_DIALOG);
        dialog.onInit = [](NotingDialog& d) {
            plat::desktop().postMessage(d.window(), kUser, 3, 0);
        };
        const auto r = static_cast<int>(dialog.doModal());
        trace = dialog.trace;
        return r;
    });
    EXPECT_EQ(trace, (Trace{"0x0400 3, posted", "request 3", "0x0400 0, sent here", "first"}));
    EXPECT_EQ(result, IDC_QA_FIRST);

    std::thread other;
    result = tier->run([&] {
        NotingDialog dialog(IDD_QA_HIDDEN);
        dialog.onInit = [&](NotingDialog& d) {
            const plat::Hwnd window = d.window();
            other = std::thread([window] { plat::desktop().sendMessage(window, kUser, 4, 0); });
        };
        const auto r = static_cast<int>(dialog.doModal());
        trace = dialog.trace;
        return r;
    });
    other.join();
    EXPECT_EQ(trace, (Trace{"0x0400 4, sent from elsewhere", "request 4"}));
    EXPECT_EQ(result, 4);
}

// A window's timer 0: SetTimer says 1, WM_TIMER says 0, KillTimer with the 1 finds nothing.
class TimerDialog : public fw::Dialog {
public:
    TimerDialog() : fw::Dialog(IDD_QA_HIDDEN) {}
    plat::Hwnd hwnd = 0;
    std::uintptr_t returned = 0;
    std::vector<plat::WParam> ticks;
    bool killedByReturned = true;
    bool killedByZero = false;

protected:
    int OnInitDialog() override {
        fw::Dialog::OnInitDialog();
        hwnd = window();
        returned = plat::desktop().setTimer(window(), 0, 10);
        return TRUE;
    }
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onMessage<&TimerDialog::OnTimer>(WM_TIMER),
        };
        static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
        return &map;
    }
    void OnTimer(plat::WParam id) {
        ticks.push_back(id);
        if (ticks.size() == 1) {
            killedByReturned = plat::desktop().killTimer(window(), returned);
        } else if (ticks.size() == 2) {
            killedByZero = plat::desktop().killTimer(window(), 0);
            endDialog(IDOK);
        }
    }
};

TEST_F(UiConformance, TimerZeroOfAWindowRunsUntilKilledByItsOwnId) {
    TimerDialog dialog;
    bool killedAfterwards = true;
    tier->run([&] {
        const auto r = static_cast<int>(dialog.doModal());
        // The timer went with its window.
        killedAfterwards = plat::desktop().killTimer(dialog.hwnd, 0);
        return r;
    });
    EXPECT_EQ(dialog.returned, 1u);
    EXPECT_EQ(dialog.ticks, (std::vector<plat::WParam>{0, 0}));
    EXPECT_FALSE(dialog.killedByReturned);
    EXPECT_TRUE(dialog.killedByZero);
    EXPECT_FALSE(killedAfterwards);
}

// Clicks and double clicks select the item; only a list box with LBS_NOTIFY says so.
TEST_F(UiConformance, ListClicksNotifyOnlyFromANotifyingListBox) {
    tier->expect(Modal::Dialog, [](User& u) {
        u.clickItem(IDC_QA_QUIET, 0);
        u.doubleClickItem(IDC_QA_QUIET, 1);
        u.doubleClickItem(IDC_QA_PLAIN, 2);
    });
    Trace trace;
    tier->run([&] {
        NotingDialog dialog(IDD_QA_DIALOG);
        dialog.onInit = [](NotingDialog& d) {
            fw::ListBox plain(d.window(), IDC_QA_PLAIN);
            fw::ListBox quiet(d.window(), IDC_QA_QUIET);
            for (const char16_t* text : {u"one", u"two", u"three"})
                plain.addString(text);
            for (const char16_t* text : {u"x", u"y"})
                quiet.addString(text);
        };
        const auto r = static_cast<int>(dialog.doModal());
        trace = dialog.trace;
        return r;
    });
    EXPECT_EQ(trace, (Trace{"plain selected 2", "plain double click 2", "quiet selection 1"}));
}

// ------------------------------------------------------------------ controls

// Runs `body` in the hidden dialog's initialisation, then ends it.
void inHiddenDialog(conformance::Tier& tier, std::function<void(plat::Hwnd)> body) {
    tier.run([&] {
        NotingDialog dialog(IDD_QA_HIDDEN);
        dialog.onInit = [&](NotingDialog& d) {
            body(d.window());
            d.endDialog(IDOK);
        };
        return static_cast<int>(dialog.doModal());
    });
}

TEST_F(UiConformance, ADropDownListKeepsItsTextAndSelectionAgainstWhatItRefuses) {
    struct {
        plat::LResult setTextResult = 0;
        String textAfterSetText, textAfterClear;
        int clearResult = 0, selectionAfterClear = -2;
        int listBadIndexResult = 0, listSelectionAfterBadIndex = -2;
        int listClearResult = 0, listSelectionAfterClear = -2;
    } seen;
    inHiddenDialog(*tier, [&](plat::Hwnd dialog) {
        fw::ComboBox combo(dialog, IDC_QA_DROPLIST);
        combo.addString(u"Alpha");
        combo.addString(u"Beta");
        combo.setCurSel(1);
        const String gamma = u"Gamma";
        seen.setTextResult = combo.send(kSetText, 0, reinterpret_cast<plat::LParam>(gamma.c_str()));
        combo.setText(u"Delta");
        seen.textAfterSetText = combo.text();
        seen.clearResult = combo.setCurSel(-1);
        seen.selectionAfterClear = combo.curSel();
        seen.textAfterClear = combo.text();

        fw::ListBox list(dialog, IDC_QA_PLAIN);
        list.addString(u"a");
        list.addString(u"b");
        list.setCurSel(1);
        seen.listBadIndexResult = list.setCurSel(7);
        seen.listSelectionAfterBadIndex = list.curSel();
        seen.listClearResult = list.setCurSel(-1);
        seen.listSelectionAfterClear = list.curSel();
    });
    EXPECT_EQ(seen.setTextResult, kListError);
    EXPECT_EQ(seen.textAfterSetText, u"Beta");
    EXPECT_EQ(seen.clearResult, kListError);
    EXPECT_EQ(seen.selectionAfterClear, -1);
    EXPECT_EQ(seen.textAfterClear, u"");
    EXPECT_EQ(seen.listBadIndexResult, kListError);
    EXPECT_EQ(seen.listSelectionAfterBadIndex, 1);
    EXPECT_EQ(seen.listClearResult, kListError);
    EXPECT_EQ(seen.listSelectionAfterClear, -1);
}

// CB_SETCURSEL with an index past the end fails and clears the selection, as it does for -1;
// a dialog that restores a remembered index into a list that has shrunk is left with nothing
// selected. Wine (8) keeps the old selection instead.
TEST_F(UiConformance, AComboBoxIndexPastTheEndFailsAndClearsTheSelection) {
    struct {
        int result = 0, selection = -2;
        String text;
    } seen;
    inHiddenDialog(*tier, [&](plat::Hwnd dialog) {
        fw::ComboBox combo(dialog, IDC_QA_DROPLIST);
        combo.addString(u"Alpha");
        combo.addString(u"Beta");
        combo.setCurSel(1);
        seen.result = combo.setCurSel(2);
        seen.selection = combo.curSel();
        seen.text = combo.text();
    });
    EXPECT_EQ(seen.result, kListError);
    if (tier->isWine()) {
        EXPECT_EQ(seen.selection, 1);
        EXPECT_EQ(seen.text, u"Beta");
    } else {
        EXPECT_EQ(seen.selection, -1);
        EXPECT_EQ(seen.text, u"");
    }
}

// What the control wrappers set is what Windows then reports, and an edit control reports
// every change of its text to the dialog, the program's own too.
TEST_F(UiConformance, ControlWrappersReadBackWhatTheySet) {
    struct {
        String edit;
        bool checked = false, uncheckedAfterClick = true, enabledAfterDisable = true;
        bool disabledBefore = true, wasDisabled = false;
        Trace notices;
    } seen;
    tier->run([&] {
        NotingDialog dialog(IDD_QA_HIDDEN);
        dialog.onInit = [&](NotingDialog& d) {
            fw::Control edit(d.window(), IDC_QA_EDIT);
            fw::Button check(d.window(), IDC_QA_CHECK);
            d.trace.clear();
            edit.setText(u"Kitchen");
            seen.edit = edit.text();
            check.setChecked(true);
            seen.checked = check.isChecked();
            check.click(); // an automatic check box turns itself off
            seen.uncheckedAfterClick = !check.isChecked();
            seen.disabledBefore = !check.isEnabled();
            check.enable(false);
            seen.enabledAfterDisable = check.isEnabled();
            seen.wasDisabled = check.enable(true);
            d.endDialog(IDOK);
        };
        const auto r = static_cast<int>(dialog.doModal());
        seen.notices = dialog.trace;
        return r;
    });
    EXPECT_EQ(seen.edit, u"Kitchen");
    EXPECT_TRUE(seen.checked);
    EXPECT_TRUE(seen.uncheckedAfterClick);
    EXPECT_FALSE(seen.disabledBefore);
    EXPECT_FALSE(seen.enabledAfterDisable);
    EXPECT_TRUE(seen.wasDisabled);
    EXPECT_EQ(seen.notices, (Trace{"edit changed", "check clicked"}));
}

using Items = std::vector<std::pair<std::string, plat::LParam>>;

Items itemsOf(const fw::ItemList& list) {
    Items out;
    for (int i = 0; i < list.count(); ++i)
        out.emplace_back(narrow(list.itemText(i)), list.itemData(i));
    return out;
}

TEST_F(UiConformance, ItemDataStaysWithItsItemThroughSortedInsertsAndDeletes) {
    std::vector<Items> seen;
    std::vector<plat::LParam> missing;
    std::vector<bool> setMissing;
    inHiddenDialog(*tier, [&](plat::Hwnd dialog) {
        fw::ListBox list(dialog, IDC_QA_SORTED);
        fw::ComboBox combo(dialog, IDC_QA_SORTED_COMBO);
        for (fw::ItemList* items :
             {static_cast<fw::ItemList*>(&list), static_cast<fw::ItemList*>(&combo)}) {
            for (const auto& [text, data] :
                 {std::pair{u"m", 13}, std::pair{u"c", 3}, std::pair{u"x", 24}, std::pair{u"a", 1}})
                items->setItemData(items->addString(text), data);
            seen.push_back(itemsOf(*items));
            items->deleteString(1);
            seen.push_back(itemsOf(*items));
            missing.push_back(items->itemData(9));
            setMissing.push_back(items->setItemData(9, 5));
        }
    });
    const Items sorted = {{"a", 1}, {"c", 3}, {"m", 13}, {"x", 24}};
    const Items afterDelete = {{"a", 1}, {"m", 13}, {"x", 24}};
    EXPECT_EQ(seen, (std::vector<Items>{sorted, afterDelete, sorted, afterDelete}));
    EXPECT_EQ(missing, (std::vector<plat::LParam>{kListError, kListError}));
    EXPECT_EQ(setMissing, (std::vector<bool>{false, false}));
}

// The order of a sorted list box, as the system's word sort gives it for the user's locale.
TEST_F(UiConformance, ASortedListOrdersAsTheSystemSorts) {
    // clang-format off
    const std::vector<String> added = {
        u"Winamp", u"iTunes", u"Real Player", u"Windows Media Player", u"Musicmatch",
        u"co-op", u"coop", u"cop", u"\u00C9mile", u"Emma", u"Ella", u"\u00E9clair", u"Eclair",
        u"zebra", u"ZZ", u"_under", u"1st", u"10th", u"2nd", u"(paren)", u"Receiver #2",
        u"Receiver #10", u"a b", u"ab", u"a-b", u"Zo\u00EB", u"Zoe",
        u"Quorvane Wireless Headphones", u"Quorvane Wireless Music System Receiver (2)",
        u"Quorvane Wireless Music System Receiver"};
    // clang-format on
    std::vector<String> order;
    inHiddenDialog(*tier, [&](plat::Hwnd dialog) {
        fw::ListBox list(dialog, IDC_QA_SORTED);
        for (const String& text : added)
            list.addString(text);
        for (int i = 0; i < list.count(); ++i)
            order.push_back(list.itemText(i));
    });
    // Measured under Wine: punctuation before digits before letters, hyphens only as the
    // last difference, accented letters beside their base letter, case ignored.
    // clang-format off
    EXPECT_EQ(order, (std::vector<String>{
        u"(paren)", u"_under", u"10th", u"1st", u"2nd", u"a b", u"ab", u"a-b", u"coop", u"co-op",
        u"cop", u"Eclair", u"\u00E9clair", u"Ella", u"\u00C9mile", u"Emma", u"iTunes",
        u"Musicmatch", u"Quorvane Wireless Headphones",
        u"Quorvane Wireless Music System Receiver",
        u"Quorvane Wireless Music System Receiver (2)", u"Real Player", u"Receiver #10",
        u"Receiver #2", u"Winamp", u"Windows Media Player", u"zebra", u"Zoe", u"Zo\u00EB",
        u"ZZ"}));
    // clang-format on
}

// ------------------------------------------------------------------ menus

// Opens the popup menu from a posted message, and notes what reaches it after the menu.
class MenuOwnerDialog : public fw::Dialog {
public:
    MenuOwnerDialog() : fw::Dialog(IDD_QA_HIDDEN) {}
    Trace trace;
    // The menu to show; without one, the menu of OnShowMenu.
    std::function<plat::HMenu()> build;

    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult& result) override {
        if (tracking_ == false && afterMenu_ && (msg == kCommand || msg == kNull))
            trace.push_back(msg == kCommand ? "command " + std::to_string(loWord(wParam)) : "null");
        return fw::Dialog::dialogMessage(window, msg, wParam, lParam, result);
    }

protected:
    int OnInitDialog() override {
        fw::Dialog::OnInitDialog();
        plat::desktop().postMessage(window(), kApp + 2, 0, 0);
        return TRUE;
    }
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onMessage<&MenuOwnerDialog::OnShowMenu>(kApp + 2),
            fw::onMessage<&MenuOwnerDialog::OnAfterMenu>(kApp + 3),
        };
        static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
        return &map;
    }
    void OnShowMenu() {
        plat::UserInterface& ui = plat::ui();
        const plat::HMenu menu = build ? build() : ui.createPopupMenu();
        if (!build)
            fill(menu);
        tracking_ = true;
        afterMenu_ = true;
        ui.trackPopupMenu(menu, TPM_RIGHTBUTTON, {40, 40}, window());
        tracking_ = false;
        ui.destroyMenu(menu);
        plat::desktop().postMessage(window(), kApp + 3, 0, 0);
    }
    static void fill(plat::HMenu menu) {
        plat::UserInterface& ui = plat::ui();
        const plat::HMenu advanced = ui.createPopupMenu();
        ui.appendMenu(menu, MF_STRING, 32772, u"&Settings");
        ui.appendMenu(advanced, MF_STRING, 5000, u"First");
        ui.appendMenu(advanced, MF_STRING, 5001, u"Second");
        ui.appendMenu(advanced, MF_STRING, 5002, u"Third");
        ui.appendMenu(menu, MF_POPUP, advanced, u"Advanced");
        ui.appendMenu(menu, MF_STRING, 32775, u"E&xit");
        ui.checkMenuRadioItem(advanced, 5000, 5002, 5000, MF_BYCOMMAND);
        ui.checkMenuRadioItem(advanced, 5000, 5002, 5001, MF_BYCOMMAND);
        ui.setMenuDefaultItem(menu, 32772, false);
    }
    void OnAfterMenu() {
        afterMenu_ = false;
        trace.push_back("after the menu");
        endDialog(IDOK);
    }

private:
    bool tracking_ = false;
    bool afterMenu_ = false;
};

// The menu shows its default item and radio marks; once it closes, its owner gets the chosen
// command (if any) and then WM_NULL, before anything posted after the menu.
TEST_F(UiConformance, AMenuShowsItsMarksAndItsOwnerGetsWmNullAfterIt) {
    std::vector<MenuItemView> items;
    tier->expect(Modal::Menu, [&](User& u) {
        items = u.menuItems();
        u.pressEscape();
    });
    Trace trace;
    tier->run([&] {
        MenuOwnerDialog owner;
        const auto r = static_cast<int>(owner.doModal());
        trace = owner.trace;
        return r;
    });
    const std::vector<MenuItemView> expected = {
        {u"Settings", 32772, false, false, false, true, true},
        {u"Advanced", 0, true, false, false, false, true},
        {u"Advanced>First", 5000, false, false, true, false, true},
        {u"Advanced>Second", 5001, false, true, true, false, true},
        {u"Advanced>Third", 5002, false, false, false, false, true},
        {u"Exit", 32775, false, false, false, false, true},
    };
    EXPECT_EQ(items, expected);
    EXPECT_EQ(trace, (Trace{"null", "after the menu"}));

    tier->expect(Modal::Menu, [](User& u) { u.chooseMenuItem(u"Exit"); });
    tier->run([&] {
        MenuOwnerDialog owner;
        const auto r = static_cast<int>(owner.doModal());
        trace = owner.trace;
        return r;
    });
    EXPECT_EQ(trace, (Trace{"command 32775", "null", "after the menu"}));
}

// What a dialog and a menu take goes with them: the image a bitmap static loads from its
// template (as About's does) goes with the dialog; destroying a menu destroys the submenus
// attached to it, while one never attached lives until it is destroyed itself. (The tray menu
// is built and destroyed so, a thousand times a month.)
TEST_F(UiConformance, WhatADialogOrAMenuTakesGoesWithIt) {
    constexpr std::uint32_t kStmGetImage = 0x0173;
    std::uintptr_t image = 0;
    bool liveWhileOpen = false;
    tier->expect(Modal::Dialog, [](User& u) { u.pressEnter(); });
    tier->run([&] {
        NotingDialog dialog(IDD_QA_IMAGE);
        dialog.onInit = [&](NotingDialog& d) {
            image = static_cast<std::uintptr_t>(plat::desktop().sendMessage(
                plat::desktop().getDlgItem(d.window(), IDC_QA_IMAGE), kStmGetImage, 0, 0));
            liveWhileOpen = image != 0 && tier->objectLive(conformance::LiveKind::Bitmap, image);
        };
        return static_cast<int>(dialog.doModal());
    });
    ASSERT_NE(image, 0u) << "the bitmap static shows no image";
    EXPECT_TRUE(liveWhileOpen);
    EXPECT_FALSE(tier->objectLive(conformance::LiveKind::Bitmap, image));

    plat::HMenu attached = 0, loose = 0;
    tier->expect(Modal::Menu, [](User& u) { u.pressEscape(); });
    tier->run([&] {
        MenuOwnerDialog owner;
        owner.build = [&] {
            plat::UserInterface& ui = plat::ui();
            const plat::HMenu menu = ui.createPopupMenu();
            attached = ui.createPopupMenu();
            loose = ui.createPopupMenu();
            ui.appendMenu(attached, MF_STRING, 5000, u"Speakers");
            ui.appendMenu(menu, MF_POPUP, attached, u"Winamp");
            ui.appendMenu(menu, MF_STRING, 32772, u"Settings");
            return menu;
        };
        return static_cast<int>(owner.doModal());
    });
    EXPECT_FALSE(tier->objectLive(conformance::LiveKind::Menu, attached));
    EXPECT_TRUE(tier->objectLive(conformance::LiveKind::Menu, loose));
    tier->run([&] {
        plat::ui().destroyMenu(loose);
        return 0;
    });
    EXPECT_FALSE(tier->objectLive(conformance::LiveKind::Menu, loose));
}

// Items inserted at the top come out in the reverse order of their insertion, above what was
// there; a radio range may name ids the menu does not have; a grayed item and a submenu keep
// their marks. (The tray menu is built so.)
TEST_F(UiConformance, ItemsInsertedAtTheTopAndRadioRangesWithGaps) {
    std::vector<MenuItemView> items;
    tier->expect(Modal::Menu, [&](User& u) {
        items = u.menuItems();
        u.pressEscape();
    });
    tier->run([&] {
        MenuOwnerDialog owner;
        owner.build = [] {
            plat::UserInterface& ui = plat::ui();
            const plat::HMenu menu = ui.createPopupMenu();
            ui.appendMenu(menu, MF_SEPARATOR, 0, u"");
            ui.appendMenu(menu, MF_STRING, 32772, u"Settings");
            ui.insertMenu(menu, 0, MF_BYPOSITION | MF_STRING, 9001, u"My Computer");
            ui.checkMenuRadioItem(menu, 9000, 9002, 9001, MF_BYCOMMAND);
            const plat::HMenu sub = ui.createPopupMenu();
            ui.appendMenu(sub, MF_STRING, 5000, u"Speakers");
            ui.appendMenu(sub, MF_SEPARATOR, 0, u"");
            ui.appendMenu(sub, MF_STRING, 5002, u"Default Audio Device");
            ui.checkMenuRadioItem(sub, 5000, 5002, 5002, MF_BYCOMMAND);
            ui.insertMenu(menu, 0, MF_BYPOSITION | MF_POPUP, sub, u"Winamp");
            ui.insertMenu(menu, 0, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, u"No receivers");
            ui.insertMenu(menu, 0, MF_BYPOSITION | MF_STRING, 10001, u"Bedroom");
            ui.insertMenu(menu, 0, MF_BYPOSITION | MF_STRING, 10000, u"Office");
            ui.checkMenuRadioItem(menu, 10000, 10002, 10001, MF_BYCOMMAND);
            ui.setMenuDefaultItem(menu, 32772, false);
            return menu;
        };
        return static_cast<int>(owner.doModal());
    });
    const std::vector<MenuItemView> expected = {
        {u"Office", 10000, false, false, false, false, true},
        {u"Bedroom", 10001, false, true, true, false, true},
        {u"No receivers", 0, false, false, false, false, false},
        {u"Winamp", 0, true, false, false, false, true},
        {u"Winamp>Speakers", 5000, false, false, false, false, true},
        {u"Winamp>Default Audio Device", 5002, false, true, true, false, true},
        {u"My Computer", 9001, false, true, true, false, true},
        {u"Settings", 32772, false, false, false, true, true},
    };
    EXPECT_EQ(items, expected);
}

} // namespace
