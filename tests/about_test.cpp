// The About dialog: the firmware line made from the version text the transmitter reported,
// and the dialog of the whole program on the simulated PC, opened from the controller.
#include "AboutDlgBox.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "resource.h"
#include "shown_texts.h"
#include "transmitter_support.h"

#include <gtest/gtest.h>

namespace {

// The numbers the About dialog is known by: its template, its firmware line, the menu command.
constexpr int aboutTemplate = IDD_ABOUTBOX;
constexpr int firmwareLine = IDC_FIRMWARE_LINE;
constexpr std::uint32_t aboutCommand = IDM_ABOUT;

TEST(FirmwareLine, IsLaidOutLikeTheApplicationLine) {
    const struct {
        const char16_t* version;
        const char16_t* line;
    } cases[] = {
        {u"1.0.12:Jun 20 2005", u"Firmware:\tv1.0.12\t  06/20/2005"},
        {u"1.0.12:Dec 01 2005", u"Firmware:\tv1.0.12\t  12/01/2005"}, // the zero stays
        {u"1.4.2:May 7 2006", u"Firmware:\tv1.4.2\t  05/7/2006"},
        // A month not in the table is dropped; the day follows the version directly.
        {u"2.0.1:Foo 3 2006", u"Firmware:\tv2.0.13/2006"},
        {u"2.0.1:jun 3 2006", u"Firmware:\tv2.0.13/2006"}, // the table is case-sensitive
        // No colon: no version, and the text is read as the date.
        {u"Jun 20 2005", u"Firmware:\tv\t  06/20/2005"},
        {u"1.0.12 Jun 20 2005", u"Firmware:\tvJun/20 2005"},
        // No blank: no month and no day.
        {u"1.0.12:Jun", u"Firmware:\tv1.0.12/Jun"},
        {u"1.0.12:", u"Firmware:\tv1.0.12/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firmwareLineFor(u"Firmware:\tv", c.version), c.line) << plat::toUtf8(c.version);
}

class AboutTest : public txtest::SimTest {
protected:
    sim::TransmitterId tx = 0;

    void start(bool answersStartup = true) {
        sim::TransmitterConfig config;
        config.answersStartup = answersStartup;
        config.firmwareVersion = {1, 0, 12};
        config.firmwareDate = u"Dec 01 2005";
        tx = pc->plugTransmitter(config);
        pc->startProgram([] { return runProgram(); });
        ASSERT_TRUE(pc->waitIdle());
        ASSERT_TRUE(pc->waitForTransmitterRead(tx));
    }
    void about() {
        ASSERT_TRUE(
            pc->post(pc->findWindowByTitle(shown::controllerTitle), WM_COMMAND, aboutCommand));
        ASSERT_TRUE(pc->waitIdle());
    }
    // The About dialogs that have opened, as they looked then.
    std::vector<sim::ModalView> opened() const {
        std::vector<sim::ModalView> out;
        for (const auto& v : pc->modalHistory())
            if (v.kind == sim::ModalKind::Dialog && v.templateId == aboutTemplate)
                out.push_back(v);
        return out;
    }
    static plat::String firmwareShown(const sim::ModalView& v) {
        const sim::ControlView* line = v.control(firmwareLine);
        return line ? line->text : u"(no control 1043)";
    }
    void pressOkOnAbout() {
        sim::ScriptEntry ok;
        ok.kind = sim::ModalKind::Dialog;
        ok.templateId = aboutTemplate;
        ok.act = [](sim::ModalContext& m) { m.pressId(IDOK); };
        pc->script(ok);
    }
};

TEST_F(AboutTest, ShowsTheReportedFirmwareTheSameEachTimeWithTheTemplatesOtherLines) {
    start();
    pressOkOnAbout();
    about();
    pressOkOnAbout();
    about();
    const auto shown = opened();
    ASSERT_EQ(shown.size(), 2u);
    for (const auto& v : shown) {
        EXPECT_EQ(v.caption, shown::aboutTitle);
        EXPECT_EQ(firmwareShown(v), u"Firmware:\tv1.0.12\t  12/01/2005");
        EXPECT_EQ(v.owner, 0u) << "About is a window of its own";
    }
    std::vector<plat::String> statics;
    for (const auto& c : shown[0].controls)
        if (c.className == u"Static")
            statics.push_back(c.text);
    ASSERT_EQ(statics.size(), 5u); // the bitmap, four lines
    EXPECT_EQ(statics[1], u"Quorvane Auravo\u2122 Settings");
    EXPECT_EQ(statics[2], u"Application:\tv1.1.0\t  09/28/2005");
    const sim::ControlView* ok = shown[0].control(IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault);
    // The version text itself is left as the transmitter gave it.
    EXPECT_EQ(globals().firmwareVersion.get(), u"1.0.12:Dec 01 2005");
}

TEST_F(AboutTest, BeforeTheTransmitterToldItsVersionTheLineSaysSo) {
    start(false);
    pressOkOnAbout();
    about();
    ASSERT_EQ(opened().size(), 1u);
    EXPECT_EQ(firmwareShown(opened()[0]), u"Firmware:   version not available");
}

TEST_F(AboutTest, ASecondAboutBringsTheOpenOneForward) {
    start();
    sim::ScriptEntry held;
    held.kind = sim::ModalKind::Dialog;
    held.templateId = aboutTemplate;
    held.hold = true;
    pc->script(held);
    about();
    ASSERT_EQ(pc->openModals().size(), 1u);
    const plat::Hwnd open = pc->openModals()[0].window;
    const plat::Hwnd other = pc->createForeignWindow(u"Notepad", u"notes");
    pc->setForeground(other);

    about();
    EXPECT_EQ(opened().size(), 1u);
    EXPECT_EQ(pc->bundle().desktop->getForegroundWindow(), open);

    pc->actOnTopModal([](sim::ModalContext& m) { m.pressId(IDOK); });
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_TRUE(pc->openModals().empty());
}

} // namespace
