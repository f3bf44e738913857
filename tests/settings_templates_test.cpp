// The settings' dialog templates as compiled from KTRResource.rc: sizes, fonts, captions and
// the ids, classes, texts and styles of their controls. Checked against this file's own table
// of the Win32 style bits, not the program's constants.
#include "sim_resfile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

extern const unsigned char qa_resource_blob[];
extern const std::size_t qa_resource_blob_size;

namespace {

constexpr std::uint32_t kVisible = 0x10000000;
constexpr std::uint32_t kTabStop = 0x00010000;
constexpr std::uint32_t kListNotify = 0x0001, kListSort = 0x0002;
constexpr std::uint32_t kComboTypeMask = 0x0003, kDropDownList = 0x0003, kComboSort = 0x0100;
constexpr std::uint32_t kButtonTypeMask = 0x000F, kPushButton = 0x0, kDefPushButton = 0x1,
                        kAutoCheckBox = 0x3, kGroupBox = 0x7;
constexpr std::uint32_t kStaticTypeMask = 0x001F, kCenter = 0x1, kNoPrefix = 0x0080;
constexpr std::uint32_t kAutoHScroll = 0x0080;
constexpr std::uint32_t kChild = 0x40000000, kPopup = 0x80000000;

struct Expected {
    int id;
    const char16_t* className;
    std::optional<plat::String> text; // nothing: a placeholder the program replaces
    std::uint32_t mask = 0;           // the bits of `style` that are compared
    std::uint32_t style = 0;
};

const std::string blanks(11, ' ');

plat::String upper(plat::String text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

class SettingsTemplates : public testing::Test {
protected:
    sim::res::DialogTemplate dialog(int id) {
        std::string error;
        auto set = sim::res::ResourceSet::fromBytes(qa_resource_blob, qa_resource_blob_size, error);
        EXPECT_TRUE(set) << error;
        auto t = set ? set->dialog(id) : std::nullopt;
        EXPECT_TRUE(t) << "dialog " << id;
        return t.value_or(sim::res::DialogTemplate{});
    }

    // The template's controls that have an id, in order, as expected.
    void expectControls(const sim::res::DialogTemplate& t, const std::vector<Expected>& expected) {
        std::vector<const sim::res::DialogItem*> withId;
        for (const auto& item : t.items)
            if (item.id != -1 && item.id != 0xFFFF)
                withId.push_back(&item);
        ASSERT_EQ(withId.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Expected& e = expected[i];
            const sim::res::DialogItem& item = *withId[i];
            SCOPED_TRACE("control " + std::to_string(e.id));
            EXPECT_EQ(item.id, e.id);
            EXPECT_EQ(upper(item.className), upper(e.className)); // class names ignore case
            if (e.text) {
                EXPECT_EQ(item.text, *e.text);
            }
            EXPECT_EQ(item.style & e.mask, e.style);
        }
    }
    // The texts of the controls without an id (labels and frames), in order.
    std::vector<plat::String> unnamedTexts(const sim::res::DialogTemplate& t) {
        std::vector<plat::String> out;
        for (const auto& item : t.items)
            if (item.id == -1 || item.id == 0xFFFF)
                out.push_back(item.text);
        return out;
    }
    void expectFrame(const sim::res::DialogTemplate& t, int cx, int cy, const char16_t* font,
                     const char16_t* caption, std::uint32_t kind) {
        EXPECT_EQ(t.cx, cx);
        EXPECT_EQ(t.cy, cy);
        EXPECT_EQ(t.pointSize, 8);
        EXPECT_EQ(t.typeface, font);
        EXPECT_EQ(t.caption, caption);
        EXPECT_EQ(t.style & (kChild | kPopup), kind);
    }
};

TEST_F(SettingsTemplates, DevicesPage) {
    const auto t = dialog(102);
    expectFrame(t, 235, 218, u"MS Sans Serif", u"Devices   ", kChild);
    expectControls(t, {
                          {1001, u"Static", u"Paired de&vices:"},
                          {1000, u"ListBox", {}, kListNotify | kListSort, kListNotify},
                          {1002, u"Button", u"&Add Device...", kButtonTypeMask, kPushButton},
                          {1003, u"Button", u"&Rename...", kButtonTypeMask, kPushButton},
                          {1004, u"Button", u"&Delete...", kButtonTypeMask, kPushButton},
                          {1006, u"Static", u"&Playback device:"},
                          {1005, u"ComboBox", {}, kComboTypeMask | kComboSort, kDropDownList},
                      });
    int frames = 0;
    for (const auto& item : t.items)
        frames += upper(item.className) == u"BUTTON" && (item.style & kButtonTypeMask) == kGroupBox;
    EXPECT_EQ(frames, 2);
}

TEST_F(SettingsTemplates, MediaPlayersPage) {
    const auto t = dialog(103);
    expectFrame(t, 235, 218, u"MS Sans Serif", u"Media Players", kChild);
    const plat::String intro = u"This list shows all of the media players installed on your" +
                               plat::String(blanks.begin(), blanks.end()) +
                               u"computer that are supported by Quorvane Auravo software.";
    expectControls(
        t, {
               {1007, u"Static", intro},
               {1010, u"Static",
                u"Use 'Edit...' to select where the sound from each player should go."},
               {1011, u"Static",
                u"If you do not see your media player in the list, you may need to upgrade your "
                u"player to the latest version. Press 'Help' to get a complete list of supported "
                u"media players."},
               {1012, u"ListBox", {}, kListNotify | kListSort, kListNotify | kListSort},
               {1013, u"Button", u"&Edit...", kButtonTypeMask, kDefPushButton},
           });
    EXPECT_EQ(unnamedTexts(t), (std::vector<plat::String>{u"Installed Media &Players:"}));
}

TEST_F(SettingsTemplates, DefaultAudioPage) {
    const auto t = dialog(104);
    expectFrame(t, 235, 218, u"MS Sans Serif", u"Default Audio Device", kChild);
    expectControls(
        t, {
               {1014, u"Static",
                u"Use the 'Default audio device' setting to select the audio device all of your "
                u"applications will use. (Note that this setting is identical to the 'Sound "
                u"playback' setting in the Windows Control Panel.)"},
               {1015, u"Static",
                u"When set to 'My Computer', all applications will use your PC speakers. "
                u"Selecting 'Quorvane Auravo' will send all sounds to your remote speakers (or "
                u"to your wireless headphones)."},
               {1016, u"Static",
                u"If you want your applications to play sound on your PC speakers and your media "
                u"player to play music on your remote speakers, select 'My Computer' below. "
                u"Then, go to the 'Media Players' tab to change the output for the individual "
                u"media player."},
               {1017, u"Static", u"&Default audio device:"},
               {1018, u"ComboBox", {}, kComboTypeMask | kComboSort, kDropDownList},
           });
}

TEST_F(SettingsTemplates, OtherSettingsPage) {
    const auto t = dialog(105);
    expectFrame(t, 235, 218, u"MS Sans Serif", u"Other Settings", kChild);
    expectControls(t, {
                          {1046, u"Button", u"Allow &configuration of Media Players on tray menu",
                           kButtonTypeMask | kVisible | kTabStop,
                           kAutoCheckBox | kVisible | kTabStop},
                          {1019, u"Button", u"Show &icon in system tray",
                           kButtonTypeMask | kVisible | kTabStop,
                           kAutoCheckBox | kVisible | kTabStop},
                          {1047, u"Button", u"&DB", kButtonTypeMask | kVisible, kPushButton},
                      });
}

TEST_F(SettingsTemplates, RenameDialog) {
    const auto t = dialog(108);
    expectFrame(t, 262, 78, u"MS Sans Serif", u"Rename Auravo Device", kPopup);
    expectControls(t, {
                          {1028, u"Static", {}, kNoPrefix, kNoPrefix},
                          {1030, u"Edit", u"", kAutoHScroll, kAutoHScroll},
                          {1031, u"Button", u"OK", kButtonTypeMask, kDefPushButton},
                          {1032, u"Button", u"Cancel", kButtonTypeMask, kPushButton},
                      });
    EXPECT_EQ(unnamedTexts(t), (std::vector<plat::String>{u"Old name :", u"&New Name :"}));
}

TEST_F(SettingsTemplates, EditMediaPlayerDialog) {
    const auto t = dialog(109);
    expectFrame(t, 226, 166, u"MS Sans Serif", u"Edit Media Player Settings", kPopup);
    expectControls(
        t, {
               {1034, u"Static",
                u"Use the 'Audio output' setting to select where you want the sound for your "
                u"media player to go."},
               {1035, u"Static",
                u"Selecting 'Default Audio Device' will send the sound to the audio device you "
                u"selected on the 'Default Audio Device' tab."},
               {1036, u"Static", u"Media Player :"},
               {1037, u"Static", {}, kNoPrefix, kNoPrefix},
               {1038, u"Static", u"&Audio output :"},
               {1039, u"ComboBox", {}, kComboTypeMask | kComboSort, kDropDownList},
               {1042, u"Button", u"OK", kButtonTypeMask, kDefPushButton},
               {1041, u"Button", u"Cancel", kButtonTypeMask, kPushButton},
           });
}

TEST_F(SettingsTemplates, DeleteDialog) {
    const auto t = dialog(110);
    expectFrame(t, 235, 54, u"Microsoft Sans Serif", u"Delete Auravo Device", kPopup);
    expectControls(t, {
                          {6, u"Button", u"Yes", kButtonTypeMask, kDefPushButton},
                          {7, u"Button", u"No", kButtonTypeMask, kPushButton},
                          {1048, u"Static", {}, kStaticTypeMask | kNoPrefix, kCenter | kNoPrefix},
                      });
}

} // namespace
