// Steps for playback routing: choosing where a player's or the system's sound goes, as the
// tray menu and the settings pages will once they exist, and reading it back.
//
// The routing operations run on the scenario's thread while the program is idle, so what
// they show (restart prompts) is answered by the script like any other message box.
#include "scenario.h"

#include "Globals.h"
#include "PcInfo.h"
#include "text.h"

namespace scn {

namespace {

PcInfo* pcInfo(Session& s) {
    Globals* g = s.programStarted() ? currentGlobals() : nullptr;
    if (!g || !g->pcInfo) {
        s.fail("the program is not running");
        return nullptr;
    }
    return g->pcInfo.get();
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

} // namespace

// The system default's preferences, as the sound control panel keeps them.
constexpr char16_t kSoundMapper[] = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper";

void registerRoutingSteps(StepTable& table) {
    table.add({
        .name = "show sound-mapper",
        .help = "Prints the system default's preferences: \"Playback\", \"Record\",\n"
                "\"PreferredOnly\" and \"SetupPreferredAudioDevicesCount\" under HKCU.",
        .run =
            [](Session& s, const Args&) {
                for (const char16_t* name :
                     {u"Playback", u"Record", u"PreferredOnly", u"SetupPreferredAudioDevicesCount"}) {
                    std::string shown = "(not set)";
                    if (auto text = s.pc().stringValue(plat::HKCU, kSoundMapper, name))
                        shown = quoted(plat::toUtf8(*text));
                    else if (auto number = s.pc().dwordValue(plat::HKCU, kSoundMapper, name))
                        shown = std::to_string(*number);
                    s.say("sound mapper " + plat::toUtf8(name) + ": " + shown);
                }
            },
    });

    table.add({
        .name = "route",
        .forms = {"<target> to <device>"},
        .help = "Sends a player's sound (\"Windows Media Player\", \"Musicmatch\", \"Winamp\") or\n"
                "the system default (\"Default\") to a playback device by its name, closing and\n"
                "restarting players as the change needs. Queue answers for its prompts first.",
        .run =
            [](Session& s, const Args& a) {
                if (PcInfo* info = pcInfo(s)) {
                    const int result = info->setPlaybackDevice(a.wide("target"), a.wide("device"), 0);
                    s.say("setPlaybackDevice " + quoted(a.text("target")) + " to " +
                          quoted(a.text("device")) + " -> " + std::to_string(result));
                    s.settle();
                }
            },
    });

    table.add({
        .name = "expect playback-device",
        .forms = {"<target> <device>"},
        .help = "The device a player's sound, or the system default's (\"Default\"), goes to,\n"
                "as the program reads it back (or \"No Device Found\", \"Can't Access the entry\").",
        .run =
            [](Session& s, const Args& a) {
                if (PcInfo* info = pcInfo(s)) {
                    const std::string actual = plat::toUtf8(info->getPlaybackDevice(a.wide("target")));
                    if (actual != a.text("device"))
                        s.fail(quoted(a.text("target")) + " plays on " + quoted(actual) +
                               ", not " + quoted(a.text("device")));
                    else
                        s.say("ok: " + quoted(a.text("target")) + " plays on " + quoted(actual));
                }
            },
    });

    table.add({
        .name = "show playback-devices",
        .help = "Lists the playback devices the program offers (without \"Default Audio Device\").",
        .run =
            [](Session& s, const Args&) {
                if (PcInfo* info = pcInfo(s)) {
                    plat::StringArray list;
                    info->getPlaybackDeviceList(list);
                    std::string line = "playback devices:";
                    for (const auto& name : list)
                        line += " " + quoted(plat::toUtf8(name));
                    s.say(list.empty() ? "playback devices: none" : line);
                }
            },
    });
}

} // namespace scn
