// Steps about the PC's audio devices: adding and removing sound devices, "dsound.dll"
// failing, which Windows plays the sound and its default endpoints, and the program's audio
// device table with its count.
#include "scenario.h"

#include "AudioDevices.h"
#include "Globals.h"
#include "text.h"

#include <cctype>
#include <cstdio>
#include <iterator>
#include <optional>
#include <vector>

namespace scn {

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (either case) into a GUID; nothing otherwise.
std::optional<plat::Guid> parseGuid(const std::string& text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    std::string hex;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash != (c == '-'))
            return std::nullopt;
        if (dash)
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        hex += c;
    }
    const auto part = [&hex](std::size_t at, std::size_t digits) {
        return static_cast<std::uint32_t>(std::stoul(hex.substr(at, digits), nullptr, 16));
    };
    plat::Guid g;
    g.data1 = part(0, 8);
    g.data2 = static_cast<std::uint16_t>(part(8, 4));
    g.data3 = static_cast<std::uint16_t>(part(12, 4));
    for (std::size_t i = 0; i < 8; ++i)
        g.data4[i] = static_cast<std::uint8_t>(part(16 + 2 * i, 2));
    return g;
}

// The first present audio device with this description.
std::optional<sim::AudioDeviceView> deviceNamed(Session& s, const plat::String& description) {
    for (const auto& d : s.pc().audioDevices())
        if (d.description == description)
            return d;
    return std::nullopt;
}

std::string describe(Session& s, std::optional<sim::AudioDeviceId> id) {
    if (!id)
        return "nothing";
    for (const auto& d : s.pc().audioDevices())
        if (d.id == *id)
            return quoted(plat::toUtf8(d.description));
    return "a device that is gone";
}

constexpr plat::EndpointRole kRoles[] = {plat::EndpointRole::Console,
                                         plat::EndpointRole::Multimedia,
                                         plat::EndpointRole::Communications};
constexpr const char* kRoleWords[] = {"console", "multimedia", "communications"};

// The roles a step names: the one after "role", else all three.
std::vector<plat::EndpointRole> rolesOf(const Args& a) {
    if (!a.has("role"))
        return {std::begin(kRoles), std::end(kRoles)};
    for (std::size_t i = 0; i < std::size(kRoles); ++i)
        if (a.text("role") == kRoleWords[i])
            return {kRoles[i]};
    return {};
}

Globals* program(Session& s) {
    Globals* g = currentGlobals();
    if (!g || !s.programStarted())
        s.misuse("the program has not started");
    return s.programStarted() ? g : nullptr;
}

} // namespace

void registerAudioSteps(StepTable& table) {
    table.add({
        .name = "audio add",
        .forms = {"<description> [wave <wave:uint>] [guid <guid>] [wave-name <wavename>] "
                  "[mixer-name <mixername>] [no-mixer] [emulated <where:after|before|none>] "
                  "[capture] [vxd] [path <path>]"},
        .help = "Adds an audio device to the PC. Without 'wave' it is numbered as Windows does\n"
                "(from 0 in plug-in order, renumbered when an earlier one goes); without\n"
                "'guid' it gets a fresh one. Its emulated record (\"<wave name> (emulated)\",\n"
                "the wave name defaulting to the description) comes after its WDM record\n"
                "unless 'emulated' says otherwise. 'capture': a recording device; 'vxd': an old\n"
                "VXD driver; 'no-mixer': it adds no mixer. The program sees it at its next pass.",
        .run =
            [](Session& s, const Args& a) {
                sim::AudioDeviceConfig c;
                c.description = a.wide("description");
                if (a.has("wave")) {
                    if (a.number("wave") > 0xFFFFFFFFll) {
                        s.misuse("a wave id is a 32-bit number");
                        return;
                    }
                    c.waveId = static_cast<std::uint32_t>(a.number("wave"));
                }
                if (a.has("guid")) {
                    c.guid = parseGuid(a.text("guid"));
                    if (!c.guid) {
                        s.misuse("a GUID is written {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
                        return;
                    }
                }
                if (a.has("wavename"))
                    c.waveName = a.wide("wavename");
                if (a.has("mixername"))
                    c.mixerName = a.wide("mixername");
                c.mixer = !a.has("no-mixer");
                if (a.has("where")) {
                    const std::string& where = a.text("where");
                    c.emulated = where == "before" ? sim::EmulatedRecord::BeforeWdm
                                 : where == "none" ? sim::EmulatedRecord::None
                                                   : sim::EmulatedRecord::AfterWdm;
                }
                c.capture = a.has("capture");
                c.vxd = a.has("vxd");
                if (a.has("path"))
                    c.interfacePath = a.wide("path");
                s.pc().addAudioDevice(c);
                for (const auto& d : s.pc().audioDevices())
                    if (d.description == c.description)
                        s.say(a.text("description") + " added: wave id " +
                              std::to_string(d.waveId) + ", GUID " +
                              plat::toUtf8(guidText(d.guid)));
            },
    });

    table.add({
        .name = "audio remove",
        .forms = {"<description>"},
        .help = "Removes the first present audio device with this description.",
        .run =
            [](Session& s, const Args& a) {
                if (const auto device = deviceNamed(s, a.wide("description"))) {
                    s.pc().removeAudioDevice(device->id);
                    s.say(a.text("description") + " removed");
                    return;
                }
                s.misuse("no audio device " + quoted(a.text("description")) + " is present");
            },
    });

    table.add({
        .name = "audio dsound",
        .forms = {"<state:works|missing|no-export|no-factory|no-instance>"},
        .help = "\"dsound.dll\" works, is missing, or fails one of the later set-up steps:\n"
                "no DllGetClassObject export, no class factory, no property-set instance.",
        .run =
            [](Session& s, const Args& a) {
                const std::string& state = a.text("state");
                s.pc().setDsoundFailure(state == "missing" ? sim::DsoundFailure::Missing
                                        : state == "no-export"
                                            ? sim::DsoundFailure::NoClassObjectEntry
                                        : state == "no-factory" ? sim::DsoundFailure::NoClassFactory
                                        : state == "no-instance" ? sim::DsoundFailure::NoPropertySet
                                                                 : sim::DsoundFailure::None);
            },
    });

    table.add({
        .name = "windows-audio",
        .forms = {"<kind:sound-mapper|core-audio>"},
        .help = "Which Windows plays the sound: an older one (the default), which plays on the\n"
                "device the sound mapper's \"Playback\" names and has no Core Audio, or today's,\n"
                "which ignores the sound mapper and keeps a default endpoint per role.",
        .run =
            [](Session& s, const Args& a) {
                const bool today = a.text("kind") == "core-audio";
                s.pc().setWindowsAudio(today ? sim::WindowsAudio::CoreAudio
                                             : sim::WindowsAudio::SoundMapper);
            },
        .when = When::BeforeStart,
    });

    table.add({
        .name = "audio transmitter",
        .forms = {"[dsound-path <dspath:usb|software>] [hardware <route:topology|none>]"},
        .help = "How the transmitter's audio function shows its USB ids from its next plug-in:\n"
                "in its DirectSound record's path ('usb', the default) or not ('software'), and\n"
                "on today's Windows through its endpoint's device topology and its adapter's\n"
                "instance id ('topology', the default) or not at all.",
        .run =
            [](Session& s, const Args& a) {
                sim::TransmitterAudioIdentity identity;
                identity.usbPathInDirectSound = !a.has("dspath") || a.text("dspath") == "usb";
                if (a.has("route"))
                    identity.hardwareRoute = a.text("route") == "none"
                                                 ? sim::HardwareRoute::None
                                                 : sim::HardwareRoute::Topology;
                s.pc().setTransmitterAudioIdentity(identity);
            },
    });

    table.add({
        .name = "audio default",
        .forms = {"<description> [role <role:console|multimedia|communications>]"},
        .help = "The user makes this device the default in the system's own sound settings, for\n"
                "every role or the one given (today's Windows).",
        .run =
            [](Session& s, const Args& a) {
                const auto device = deviceNamed(s, a.wide("description"));
                if (!device) {
                    s.misuse("no audio device " + quoted(a.text("description")) + " is present");
                    return;
                }
                std::optional<plat::EndpointRole> role;
                if (a.has("role"))
                    role = rolesOf(a).front();
                if (!s.pc().setDefaultEndpoint(device->id, role))
                    s.misuse("only today's Windows has default endpoints, and only for render "
                             "devices");
            },
    });

    table.add({
        .name = "audio policy-config",
        .forms = {"<state:works|missing|fails>"},
        .help = "The policy-config class the system's sound settings use: there and working (the\n"
                "default), missing (as under Wine), or refusing every change (E_ACCESSDENIED).",
        .run =
            [](Session& s, const Args& a) {
                const std::string& state = a.text("state");
                s.pc().setPolicyConfigAvailable(state != "missing");
                s.pc().setPolicyConfigFailure(
                    state == "fails" ? static_cast<std::int32_t>(0x80070005u) : 0);
            },
    });

    table.add({
        .name = "expect system-default",
        .forms = {"<description>"},
        .help = "The device the system plays on for a program that asks for the default device\n"
                "(\"nothing\" when there is none): on today's Windows the console default\n"
                "endpoint, on the older one the device \"Playback\" names, else wave device 0.",
        .run =
            [](Session& s, const Args& a) {
                s.settle();
                const std::string actual = describe(s, s.pc().systemDefaultPlayback());
                const std::string expected =
                    a.text("description") == "nothing" ? "nothing" : quoted(a.text("description"));
                if (actual != expected)
                    s.fail("the system plays on " + actual);
                else
                    s.say("ok: the system plays on " + actual);
            },
    });

    table.add({
        .name = "expect default-endpoint",
        .forms = {"<description> [role <role:console|multimedia|communications>]"},
        .help = "Today's Windows: this device is the default endpoint of every role (or of the\n"
                "one given).",
        .run =
            [](Session& s, const Args& a) {
                s.settle();
                for (const plat::EndpointRole role : rolesOf(a)) {
                    const std::string actual = describe(s, s.pc().defaultEndpoint(role));
                    const char* word = kRoleWords[static_cast<std::size_t>(role)];
                    if (actual != quoted(a.text("description"))) {
                        s.fail(std::string("the default ") + word + " endpoint is " + actual);
                        return;
                    }
                }
                s.say("ok: " + quoted(a.text("description")) + " is the default endpoint");
            },
    });

    table.add({
        .name = "show audio-endpoints",
        .help = "Today's Windows: the render endpoints, with their ids and the roles each is\n"
                "the default of.",
        .run =
            [](Session& s, const Args&) {
                for (const auto& d : s.pc().audioDevices()) {
                    if (d.endpointId.empty())
                        continue;
                    std::string roles;
                    for (std::size_t i = 0; i < std::size(kRoles); ++i)
                        if (s.pc().defaultEndpoint(kRoles[i]) == d.id)
                            roles +=
                                std::string(roles.empty() ? " default for " : ", ") + kRoleWords[i];
                    s.say("endpoint " + plat::toUtf8(d.endpointId) + " " +
                          quoted(plat::toUtf8(d.description)) + " GUID " +
                          plat::toUtf8(guidText(d.guid)) + roles);
                }
            },
    });

    table.add({
        .name = "expect audio-count",
        .forms = {"<count:int>"},
        .help = "The program's audio device count (the mixers at its last change) is this.",
        .run =
            [](Session& s, const Args& a) {
                if (!program(s))
                    return;
                s.settle();
                const std::int32_t count = audioDeviceCount();
                if (count != a.number("count"))
                    s.fail("the program counts " + std::to_string(count) + " audio device(s)");
            },
    });

    table.add({
        .name = "expect audio-entry",
        .forms = {"<index:uint> name <name> [wave-name <wavename>]"},
        .help = "Entry <index> of the program's audio device table has this name (and wave name).",
        .run =
            [](Session& s, const Args& a) {
                if (!program(s))
                    return;
                if (a.number("index") >= kAudioDeviceTableSize) {
                    s.misuse("the table has entries 0 to 99");
                    return;
                }
                s.settle();
                AudioDeviceEntry e;
                readDeviceEntry(static_cast<int>(a.number("index")), e);
                if (e.name != a.wide("name"))
                    s.fail("entry " + a.text("index") + " is named " +
                           quoted(plat::toUtf8(e.name)));
                else if (a.has("wavename") && e.waveName != a.wide("wavename"))
                    s.fail("entry " + a.text("index") + " has the wave name " +
                           quoted(plat::toUtf8(e.waveName)));
            },
    });

    table.add({
        .name = "show audio-table",
        .help = "The program's audio device count and entries 0 to the count.",
        .run =
            [](Session& s, const Args&) {
                if (!program(s))
                    return;
                s.settle();
                const std::int32_t count = audioDeviceCount();
                s.say("the program counts " + std::to_string(count) + " audio device(s)");
                for (int i = 0; i <= count && i < kAudioDeviceTableSize; ++i) {
                    AudioDeviceEntry e;
                    readDeviceEntry(i, e);
                    char wave[16];
                    std::snprintf(wave, sizeof wave, "%u", static_cast<unsigned>(e.waveId));
                    s.say("  " + std::to_string(i) + ". " + quoted(plat::toUtf8(e.name)) +
                          " wave " + wave + " " + plat::toUtf8(e.guid) +
                          (e.waveName.empty() ? ""
                                              : " wave name " + quoted(plat::toUtf8(e.waveName))));
                }
            },
    });
}

} // namespace scn
