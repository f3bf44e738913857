// Steps about the virtual transmitter: plugging it in and out with a database of paired
// devices, its events, what it received (commands decoded), and the program's copy of the
// paired-device list.
//
// The 'link' steps call the vendor link's operations as the settings and the tray menu do,
// from the scenario's thread while the program is idle. New remotes pair through
// 'remote connect' (only while the transmitter waits for one) or 'transmitter pair' (at once).
#include "scenario.h"

#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "text.h"

#include <algorithm>
#include <cstdio>

namespace scn {

namespace {

struct TransmitterState {
    sim::TransmitterId id = 0;
    std::size_t commandsShown = 0; // commands already reported by show/expect
};

std::string addressText(const sim::DeviceAddress& a) {
    char text[24];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4],
                  a[5]);
    return text;
}

// A command as the transmitter took it, by its own table (never the program's).
std::string describe(const sim::TransmitterCommand& c) {
    std::string line = c.command;
    if (!c.name.empty())
        line += " " + quoted(plat::toUtf8(c.name));
    if (c.addressed)
        line += " " + addressText(c.address);
    return line;
}

sim::InterfaceNotices noticesOf(const Args& a) {
    if (!a.has("which"))
        return sim::InterfaceNotices::All;
    const std::string& which = a.text("which");
    return which == "vendor"     ? sim::InterfaceNotices::VendorOnly
           : which == "consumer" ? sim::InterfaceNotices::ConsumerOnly
           : which == "none"     ? sim::InterfaceNotices::None
                                 : sim::InterfaceNotices::All;
}

std::string noticesSaid(const Args& a) {
    if (!a.has("which") || a.text("which") == "all")
        return "";
    return a.text("which") == "none"
               ? " (no interface notification)"
               : " (only the " + a.text("which") + " collection's notification)";
}

// "Kitchen, Bedroom, Office": names separated by commas, blanks around them dropped.
std::vector<plat::String> splitNames(const std::string& text) {
    std::vector<plat::String> names;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t comma = text.find(',', at);
        if (comma == std::string::npos)
            comma = text.size();
        std::string part = text.substr(at, comma - at);
        const std::size_t first = part.find_first_not_of(' ');
        if (first != std::string::npos)
            names.push_back(plat::fromUtf8(part.substr(first, part.find_last_not_of(' ') - first + 1)));
        at = comma + 1;
    }
    return names;
}

std::string joinNames(const plat::StringArray& names) {
    std::string out;
    for (const auto& n : names)
        out += (out.empty() ? "" : ", ") + plat::toUtf8(n);
    return out.empty() ? "(none)" : out;
}

// The program's link, or a failure when it has none.
DongleVendorCommunication* link(Session& s) {
    DongleVendorCommunication* l = currentVendorLink();
    if (!l)
        s.fail("the program has no link to a transmitter");
    return l;
}

// The transmitter of this scenario, or a misuse when none was plugged in.
sim::TransmitterId transmitter(Session& s) {
    const sim::TransmitterId id = s.state<TransmitterState>().id;
    if (!id)
        s.misuse("no transmitter has been plugged in (see 'transmitter plug')");
    return id;
}

std::vector<sim::TransmitterCommand> newCommands(Session& s, sim::TransmitterId id) {
    auto& st = s.state<TransmitterState>();
    const auto all = s.pc().transmitterCommands(id);
    const std::size_t from = std::min(st.commandsShown, all.size());
    st.commandsShown = all.size();
    return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

// "receiver, headphones, Kitchen, paired Office": remotes reporting their default names, a
// receiver reporting this name, or a device of the transmitter's database pairing again.
std::vector<sim::NewRemote> remotesOf(Session& s, sim::TransmitterId id, const std::string& text) {
    constexpr std::u16string_view again = u"paired ";
    std::vector<sim::NewRemote> remotes;
    for (auto& word : splitNames(text)) {
        if (word.starts_with(again)) {
            const plat::String name = word.substr(again.size());
            const auto database = s.pc().transmitterDatabase(id);
            const auto known =
                std::find_if(database.begin(), database.end(),
                             [&](const sim::PairedDevice& d) { return d.name == name; });
            if (known == database.end()) {
                s.misuse("the transmitter has no paired device " + quoted(plat::toUtf8(name)));
                return {};
            }
            remotes.push_back({sim::RemoteKind::Receiver, known->name, known->address});
        } else if (word == u"receiver")
            remotes.push_back({sim::RemoteKind::Receiver, std::nullopt, std::nullopt});
        else if (word == u"headphones")
            remotes.push_back({sim::RemoteKind::Headphones, std::nullopt, std::nullopt});
        else
            remotes.push_back({sim::RemoteKind::Receiver, std::move(word), std::nullopt});
    }
    return remotes;
}

// The remotes complete pairing and the program handles the transmitter's listing.
void pairNow(Session& s, sim::TransmitterId id, const std::vector<sim::NewRemote>& remotes) {
    plat::StringArray names;
    for (const auto& d : s.pc().transmitterPair(id, remotes))
        names.push_back(d.name);
    s.say("the transmitter paired: " + joinNames(names));
    s.settle();
}

sim::TransmitterEvent eventOf(const std::string& kind) {
    if (kind == "pairing-button")
        return sim::TransmitterEvent::PairingButton;
    if (kind == "pairing-failed")
        return sim::TransmitterEvent::PairingFailed;
    if (kind == "list-cleared")
        return sim::TransmitterEvent::ListCleared;
    if (kind == "link-lost")
        return sim::TransmitterEvent::LinkLost;
    return sim::TransmitterEvent::LinkRegained;
}

std::uint8_t keyOf(const std::string& key) {
    if (key == "next")
        return 0xB5;
    if (key == "previous")
        return 0xB6;
    if (key == "stop")
        return 0xB7;
    return 0xCD;
}

} // namespace

void registerTransmitterSteps(StepTable& table) {
    table.add({
        .name = "transmitter plug",
        .forms = {"[devices <names>] [unlinked] [silent] [later-counts <count:int>] "
                  "[notify <which:all|vendor|consumer|none>]"},
        .help = "Plugs in the USB transmitter, its database holding these paired devices\n"
                "(comma-separated, newest first as the transmitter stores them; addresses\n"
                "00-0B-7A-01-00-01 for the oldest upwards). With 'unlinked' the current device\n"
                "is out of reach; with 'silent' it does not answer the start-up handshake (no\n"
                "version, no listing) until 'transmitter answers startup'. 'later-counts': the\n"
                "count byte (-128 to 127) every listing entry after the first carries. The\n"
                "system announces each collection in turn, 20 ms apart; 'notify' sends only one\n"
                "of the two notifications, or none (see 'transmitter notify').",
        .run =
            [](Session& s, const Args& a) {
                auto& st = s.state<TransmitterState>();
                if (st.id) {
                    s.misuse("the transmitter is plugged in already (see 'transmitter replug')");
                    return;
                }
                sim::TransmitterConfig config;
                if (a.has("names")) {
                    const auto names = splitNames(a.text("names"));
                    for (std::size_t i = 0; i < names.size(); ++i)
                        config.database.push_back(
                            {names[i],
                             {0x00, 0x0B, 0x7A, 0x01, 0x00,
                              static_cast<std::uint8_t>(names.size() - i)}});
                }
                config.linked = !a.has("unlinked");
                if (a.has("count")) {
                    if (a.number("count") < -128 || a.number("count") > 127) {
                        s.misuse("a count byte is a number from -128 to 127");
                        return;
                    }
                    config.laterCountByte = static_cast<std::int8_t>(a.number("count"));
                }
                config.answersStartup = !a.has("silent");
                st.id = s.pc().plugTransmitter(config, noticesOf(a));
                s.say("the transmitter is plugged in with " +
                      std::to_string(config.database.size()) + " paired device(s)" +
                      noticesSaid(a));
                if (s.programStarted())
                    s.settle();
            },
    });

    table.add({
        .name = "transmitter writes",
        .forms = {"<state:fail|work>"},
        .help = "Whether the transmitter takes the commands it is sent: with 'fail' every\n"
                "output report on its vendor collection fails, as on a device that stalls it.",
        .run =
            [](Session& s, const Args& a) {
                if (const auto id = transmitter(s)) {
                    const bool fail = a.text("state") == "fail";
                    s.pc().setTransmitterWritesFail(id, fail);
                    s.say(fail ? "the transmitter refuses every command"
                               : "the transmitter takes commands again");
                }
            },
    });

    table.add({
        .name = "pc",
        .forms = {"<state:sleeps|wakes>"},
        .help = "The PC goes to sleep with the transmitter plugged in, or wakes up: while it\n"
                "sleeps every read and write on the transmitter fails with \"device not\n"
                "connected\", yet no removal is announced (it may come after waking, with\n"
                "'transmitter unplug').",
        .run =
            [](Session& s, const Args& a) {
                if (const auto id = transmitter(s)) {
                    const bool asleep = a.text("state") == "sleeps";
                    s.pc().setTransmitterAsleep(id, asleep);
                    s.say(asleep ? "the PC sleeps; the transmitter answers nothing"
                                 : "the PC wakes up");
                    if (s.programStarted())
                        s.settle();
                }
            },
    });

    table.add({
        .name = "transmitter unplug",
        .forms = {"[notify <which:all|vendor|consumer|none>]"},
        .help = "Pulls the transmitter out ('notify' as for 'transmitter plug').",
        .run =
            [](Session& s, const Args& a) {
                if (const auto id = transmitter(s)) {
                    s.pc().unplugTransmitter(id, noticesOf(a));
                    s.say("the transmitter is unplugged" + noticesSaid(a));
                    if (s.programStarted())
                        s.settle();
                }
            },
    });

    table.add({
        .name = "transmitter answers",
        .forms = {"<when:startup|never>"},
        .help = "From now on the transmitter answers the start-up handshake (with its version,\n"
                "listing and current device) or stays silent; it is heard at the next plug-in.",
        .run =
            [](Session& s, const Args& a) {
                if (const auto id = transmitter(s)) {
                    const bool answers = a.text("when") == "startup";
                    s.pc().setTransmitterAnswersStartup(id, answers);
                    s.say(answers ? "the transmitter will answer the start-up handshake"
                                  : "the transmitter will stay silent at start-up");
                }
            },
    });

    table.add({
        .name = "transmitter replug",
        .forms = {"[notify <which:all|vendor|consumer|none>]"},
        .help = "Plugs the same transmitter in again (same paths, its database kept;\n"
                "'notify' as for 'transmitter plug').",
        .run =
            [](Session& s, const Args& a) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                if (!s.pc().replugTransmitter(id, noticesOf(a))) {
                    s.misuse("the transmitter is plugged in already");
                    return;
                }
                s.say("the transmitter is plugged in again" + noticesSaid(a));
                if (s.programStarted())
                    s.settle();
            },
    });

    table.add({
        .name = "transmitter notify",
        .forms = {"<role:vendor|consumer>"},
        .help = "The system announces one collection of the transmitter: its arrival while it\n"
                "is plugged in, else its removal (a notification 'notify' held back).",
        .run =
            [](Session& s, const Args& a) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                const bool vendor = a.text("role") == "vendor";
                s.pc().transmitterNotify(id, vendor ? sim::HidCollectionRole::Vendor
                                                    : sim::HidCollectionRole::Consumer);
                s.say(std::string("the system announced the ") +
                      (s.pc().transmitterPlugged(id) ? "arrival" : "removal") + " of the " +
                      a.text("role") + " collection");
                if (s.programStarted())
                    s.settle();
            },
    });

    table.add({
        .name = "transmitter event",
        .forms = {"<kind:pairing-button|pairing-failed|list-cleared|link-lost|link-regained>"},
        .help = "Something happens on the transmitter: its Connect button (PairingStarted), a\n"
                "pairing failure, its database wiped, the current device out of or back in reach.",
        .run =
            [](Session& s, const Args& a) {
                if (const auto id = transmitter(s)) {
                    s.pc().transmitterEvent(id, eventOf(a.text("kind")));
                    s.say("transmitter event: " + a.text("kind"));
                    s.settle();
                }
            },
    });

    table.add({
        .name = "transmitter pair",
        .forms = {"[<names>]"},
        .help = "Remote devices complete pairing (comma-separated names, the last the newest;\n"
                "default: one receiver with its default name). The transmitter sends its whole\n"
                "database flagged as caused by pairing.",
        .run =
            [](Session& s, const Args& a) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                std::vector<sim::NewRemote> remotes;
                if (a.has("names"))
                    for (auto& name : splitNames(a.text("names")))
                        remotes.push_back({sim::RemoteKind::Receiver, std::move(name), {}});
                else
                    remotes.push_back({});
                pairNow(s, id, remotes);
            },
    });

    table.add({
        .name = "remote connect",
        .forms = {"<remotes> [after <time:duration>]"},
        .help = "New remote devices are held at their Connect button (comma-separated:\n"
                "'receiver' and 'headphones' report their default names, 'paired <name>' is a\n"
                "device the transmitter holds already, anything else is a receiver with that\n"
                "name; the last is the newest). With 'after', that much virtual time passes\n"
                "first. They pair only if the transmitter is then waiting for a device (Add\n"
                "Device or its own button), which sends its database flagged as caused by\n"
                "pairing; otherwise nothing happens.",
        .run =
            [](Session& s, const Args& a) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                const auto remotes = remotesOf(s, id, a.text("remotes"));
                if (remotes.empty()) {
                    if (!s.stopped())
                        s.misuse("no remote named in " + quoted(a.text("remotes")));
                    return;
                }
                if (a.has("time")) {
                    const std::uint64_t before = s.pc().nowMs();
                    s.pc().advance(a.ms("time"));
                    s.say("virtual time " + std::to_string(before) + " ms -> " +
                          std::to_string(s.pc().nowMs()) + " ms");
                    if (!s.settle())
                        return;
                }
                if (!s.pc().transmitterPairingMode(id)) {
                    s.say("the transmitter is not waiting for a device: nothing pairs");
                    return;
                }
                pairNow(s, id, remotes);
            },
    });

    table.add({
        .name = "expect pairing over",
        .help = "The program has left pairing behind: no pairing wait registered or running,\n"
                "no pairing failure pending, and the next listing is taken as an ordinary one\n"
                "(pairingIdle back at 1).",
        .run =
            [](Session& s, const Args&) {
                Globals* g = currentGlobals();
                if (!g) {
                    s.misuse("the program has not started");
                    return;
                }
                if (!s.settle())
                    return;
                std::string wrong;
                if (g->pairedDevices.pairingIdle() != 1)
                    wrong += "; pairingIdle is 0";
                if (g->pairingWaitActive != 0 || g->pairingWaitDialog)
                    wrong += "; a pairing wait is still registered";
                if (g->pairedDevices.pairingFailed != 0)
                    wrong += "; a pairing failure is pending";
                if (!wrong.empty()) {
                    s.fail("the program is still pairing" + wrong);
                    return;
                }
                s.say("ok: the program is not pairing");
            },
    });

    table.add({
        .name = "transmitter key",
        .forms = {"<key:next|previous|stop|play-pause>"},
        .help = "A button of a remote device: a media key on the consumer-control collection.",
        .run =
            [](Session& s, const Args& a) {
                if (const auto id = transmitter(s)) {
                    s.pc().pressRemoteKey(id, keyOf(a.text("key")));
                    s.say("remote key: " + a.text("key"));
                    s.settle();
                }
            },
    });

    table.add({
        .name = "transmitter send",
        .forms = {"<hex>"},
        .help = "The transmitter sends exactly these bytes (hexadecimal, blanks allowed) as one\n"
                "input report on its vendor collection: odd report ids, short reports.",
        .run =
            [](Session& s, const Args& a) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                std::vector<std::uint8_t> bytes;
                std::string digits;
                for (char c : a.text("hex"))
                    if (c != ' ')
                        digits += c;
                const auto refuse = [&] {
                    s.misuse("not an even run of at most 512 hexadecimal bytes: " +
                             quoted(a.text("hex")));
                };
                if (digits.empty() || digits.size() % 2 != 0 || digits.size() > 2 * 512)
                    return refuse();
                for (std::size_t i = 0; i < digits.size(); i += 2) {
                    const auto value = parseInteger("0x" + digits.substr(i, 2));
                    if (!value || digits[i] == '-' || digits[i + 1] == '-')
                        return refuse();
                    bytes.push_back(static_cast<std::uint8_t>(*value));
                }
                s.pc().transmitterSendRaw(id, bytes);
                s.say("the transmitter sent a raw report of " + std::to_string(bytes.size()) +
                      " bytes");
                s.settle();
            },
    });

    table.add({
        .name = "show transmitter commands",
        .help = "Lists the commands the transmitter received since the last 'show' or 'expect'\n"
                "of them, decoded.",
        .run =
            [](Session& s, const Args&) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                const auto commands = newCommands(s, id);
                if (commands.empty())
                    s.say("the transmitter received nothing new");
                for (const auto& c : commands)
                    s.say("the transmitter received " + describe(c));
            },
    });

    table.add({
        .name = "expect transmitter received",
        .forms = {"<commands>"},
        .help = "The commands received since the last 'show' or 'expect' of them are exactly\n"
                "these names, in order (\"StartupFirst StartupSecond ListingDone\"; \"nothing\"),\n"
                "as the transmitter names them: \"Unknown(0x55)\" for a code it does not know,\n"
                "\"ReportId(3)\" for a report with another id.",
        .run =
            [](Session& s, const Args& a) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                std::string got;
                for (const auto& c : newCommands(s, id))
                    got += (got.empty() ? "" : " ") + c.command;
                const std::string wanted = a.text("commands") == "nothing" ? "" : a.text("commands");
                if (got != wanted) {
                    s.fail("the transmitter received " + quoted(got.empty() ? "nothing" : got) +
                           ", not " + quoted(a.text("commands")));
                    return;
                }
                s.say("ok: the transmitter received " + (got.empty() ? "nothing" : got));
            },
    });

    table.add({
        .name = "expect transmitter database",
        .forms = {"<names>"},
        .help = "The transmitter's own database holds exactly these names, newest first.",
        .run =
            [](Session& s, const Args& a) {
                const auto id = transmitter(s);
                if (!id)
                    return;
                plat::StringArray names;
                for (const auto& d : s.pc().transmitterDatabase(id))
                    names.push_back(d.name);
                if (names != splitNames(a.text("names"))) {
                    s.fail("the transmitter holds " + joinNames(names));
                    return;
                }
                s.say("ok: the transmitter holds " + joinNames(names));
            },
    });

    table.add({
        .name = "show paired-list",
        .help = "The program's paired-device list, in its order, with the current device and\n"
                "each address.",
        .run =
            [](Session& s, const Args&) {
                Globals* g = currentGlobals();
                if (!g) {
                    s.misuse("the program has not started");
                    return;
                }
                const auto devices = g->pairedDevices.devices();
                const plat::String current = g->pairedDevices.currentName();
                s.say("the program lists " + std::to_string(devices.size()) + " device(s)");
                int position = 0;
                for (const auto& d : devices)
                    s.say("  " + std::to_string(++position) + ". " + plat::toUtf8(d.name) + " " +
                          addressText(d.address) + (d.name == current ? " (current)" : ""));
            },
    });

    table.add({
        .name = "expect paired-list",
        .forms = {"<names> [current <current>]"},
        .help = "The program's paired-device list is exactly these names in this order\n"
                "(\"\" for none), and the current device is this one.",
        .run =
            [](Session& s, const Args& a) {
                Globals* g = currentGlobals();
                if (!g) {
                    s.misuse("the program has not started");
                    return;
                }
                const plat::StringArray names = g->pairedDevices.names();
                if (names != splitNames(a.text("names"))) {
                    s.fail("the program lists " + joinNames(names));
                    return;
                }
                const plat::String current = g->pairedDevices.currentName();
                if (a.has("current") && current != a.wide("current")) {
                    s.fail("the current device is " + quoted(plat::toUtf8(current)));
                    return;
                }
                s.say("ok: the program lists " + joinNames(names) +
                      (current.empty() ? "" : "; current " + quoted(plat::toUtf8(current))));
            },
    });

    table.add({
        .name = "expect firmware",
        .forms = {"<text>"},
        .help = "The firmware version text the About dialog will show (\"1.4.2:Jun 20 2005\").",
        .run =
            [](Session& s, const Args& a) {
                Globals* g = currentGlobals();
                const plat::String text = g ? g->firmwareVersion.get() : plat::String();
                if (text != a.wide("text")) {
                    s.fail("the firmware version is " + quoted(plat::toUtf8(text)));
                    return;
                }
                s.say("ok: the firmware version is " + quoted(a.text("text")));
            },
    });

    table.add({
        .name = "link select",
        .forms = {"<name>"},
        .help = "Makes a paired device the current one, as the Devices page and the tray menu do.",
        .run =
            [](Session& s, const Args& a) {
                if (DongleVendorCommunication* l = link(s)) {
                    const int result = l->selectPairedDevice(a.wide("name"));
                    s.say("selectPairedDevice " + quoted(a.text("name")) + " -> " +
                          std::to_string(result));
                    s.settle();
                }
            },
    });

    table.add({
        .name = "link rename",
        .forms = {"<name> to <new>"},
        .help = "Renames a paired device through the device name rules, as the rename dialog\n"
                "does: a refused name shows its message box (answer it first).",
        .run =
            [](Session& s, const Args& a) {
                if (!link(s))
                    return;
                const int accepted = applyDeviceNameRules(0, a.wide("new"), a.wide("name"));
                s.say("rename " + quoted(a.text("name")) + " to " + quoted(a.text("new")) +
                      (accepted ? ": accepted" : ": refused"));
                s.settle();
            },
    });

    table.add({
        .name = "link delete",
        .forms = {"<name>"},
        .help = "Removes a paired device, as the delete confirmation does.",
        .run =
            [](Session& s, const Args& a) {
                if (DongleVendorCommunication* l = link(s)) {
                    const int result = l->deletePairedDevice(a.wide("name"));
                    s.say("deletePairedDevice " + quoted(a.text("name")) + " -> " +
                          std::to_string(result));
                    s.settle();
                }
            },
    });

    table.add({
        .name = "show database-dump",
        .help = "The text of the hidden database dump (the Other Settings page's DB button).",
        .run =
            [](Session& s, const Args&) {
                if (DongleVendorCommunication* l = link(s)) {
                    const std::string dump = plat::toUtf8(l->getDatabaseDump());
                    std::size_t at = 0;
                    while (at <= dump.size()) {
                        const std::size_t end = std::min(dump.find('\n', at), dump.size());
                        s.say("  " + dump.substr(at, end - at));
                        at = end + 1;
                    }
                }
            },
    });
}

} // namespace scn
