// The media players as a test sees them: installing, starting, quitting and watching them, and
// the Winamp settings they leave.
#include "sim_player_world.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace sim {

std::string typicalWinampIni() {
    return "[Winamp]\n"
           "outname=out_wave.dll\n"
           "volume=200\n"
           "shuffle=0\n"
           "repeat=0\n"
           "[out_wave]\n"
           "cfg_dev=0\n"
           "cfg_buf_ms=2000\n"
           "[out_ds]\n"
           "cfg_dev2=0000000000000000000000000000000000\n"
           "cfg_buf_ms=2000\n"
           "[gen_hotkeys]\n"
           "nbkeys=2\n"
           "version=2\n"
           "enabled=0\n"
           "action0=ghkdc play\n"
           "hotkey0=3629\n"
           "action1=ghkdc stop\n"
           "hotkey1=3640\n";
}

std::string winamp5Ini() {
    // The file-type list alone is longer than 500 characters, as Winamp writes it with its
    // usual input plug-ins.
    std::string extensions;
    for (const char* type : {"MP3", "MP2", "MP1", "AAC", "VLB", "M4A", "M4B", "MP4", "3GP",
                             "3G2", "FLAC", "OGG", "OGA", "WMA", "WMV", "ASF", "WAV", "VOC",
                             "AU", "SND", "AIF", "AIFF", "AIFC", "NSV", "NSA", "MID", "MIDI",
                             "RMI", "KAR", "MIZ", "HMI", "HMP", "GMF", "MUS", "XMI", "CMF",
                             "MOD", "MDZ", "S3M", "S3Z", "STM", "STZ", "IT", "ITZ", "XM",
                             "XMZ", "MTM", "ULT", "669", "FAR", "AMF", "OKT", "PTM", "CDA",
                             "AVI", "FLV", "MKV", "MPG", "MPEG", "M2V", "MOV", "RM", "RA",
                             "SPX", "APE", "MPC", "WV", "TTA", "OFR", "OFS", "SHN", "MLP",
                             "AC3", "DTS", "VQF", "AMR", "AWB", "MKA", "WEBM", "OPUS", "M3U",
                             "M3U8", "PLS", "B4S", "WPL", "ASX", "XSPF", "RMP", "NSC", "KSS",
                             "NSF", "GBS", "SPC", "VGM", "VGZ", "GYM", "HES", "AY", "SAP"})
        extensions += std::string(extensions.empty() ? "" : ";") + type;
    std::string ini;
    for (const std::string& line : std::vector<std::string>{
             "[Winamp]", "utf8=1", "skin=Bento", "pe_fontsize=10", "wx=25", "wy=25",
             "minimized=0", "outname=out_ds.dll", "volume=200", "pan=0", "shuffle=0",
             "repeat=1", "config_extlist=" + extensions, "config_eqdsize=0", "sa=1",
             "visplugin_name=vis_milk2.dll", "visplugin_num=0", "last_classic_skin=Big Bento",
             "[WinampReg]", "IsFirstInst=0", "NeedReg=0", "[out_disk]",
             "cfg_out_dir=C:\\Users\\User\\Music", "cfg_fmt=0", "cfg_convert_enabled=0",
             "[out_ds]", "cfg_total_time=3542", "cfg_buf_ms=2000", "cfg_prebuf2=500",
             "cfg_fade_start=0", "[gen_hotkeys]", "nbkeys=3", "version=2", "enabled=0",
             "action0=ghkdc play", "hotkey0=3629", "action1=ghkdc stop", "hotkey1=3640",
             "action2=ghkdc vup", "hotkey2=1574", "[pmp_usb]", "syncOnConnect=0",
             "purgeFolders=1", "[gen_ml_config]", "view_win=0", "ldrag=-1"})
        ini += line + "\r\n";
    return ini;
}

// ------------------------------------------------------------------ the test-facing side

std::vector<String> SimPc::playerNames() {
    std::vector<String> names;
    for (const auto& row : rows())
        names.push_back(row.name);
    return names;
}

bool SimPc::installPlayer(const PlayerConfig& config) {
    const int index = rowIndex(config.name);
    if (index < 0)
        return false;
    const PlayerRow& row = rows()[static_cast<std::size_t>(index)];
    const String directory = withoutTrailingSeparators(
        config.directory.empty() ? row.defaultDirectory : config.directory);
    const String program = directory + u"\\" + row.program;

    // A new installation replaces the registration of an earlier one.
    deleteTree(plat::HKCU, row.hkcuKey);
    deleteTree(plat::HKLM, row.hklmKey);
    for (plat::HKey root : rootsOf(config.roots)) {
        const String& key = root == plat::HKCU ? row.hkcuKey : row.hklmKey;
        // Application registrations carry the shell's command for the program.
        if (key.find(u"Classes\\Applications") != String::npos)
            setString(root, key + u"shell\\open\\command", u"", u"\"" + program + u"\" \"%1\"");
        else
            createKey(root, key);
        if (config.recordsLocation && row.locationInDetectionKey)
            setString(root, key, row.locationValue, directory);
    }
    if (config.recordsLocation && !row.locationInDetectionKey)
        setString(row.locationRoot, row.locationKey, row.locationValue,
                  row.locationIsDirectory ? directory : program);
    writeFile(program, "MZ");
    String settings = directory;
    if (isWinamp(row)) {
        // Per-user settings: the installer writes paths.ini, and the folder it names is
        // where Winamp's first run puts winamp.ini.
        const String paths = directory + u"\\paths.ini";
        if (config.winampIniDir) {
            writeFile(paths, "[Winamp]\r\ninidir=" + plat::toUtf8(*config.winampIniDir) + "\r\n");
            const String wanted = winampFolderFor(directory, true);
            if (!wanted.empty())
                createFolder(wanted);
        } else {
            Lock lk(impl_->m);
            impl_->files.erase(normaliseFilePath(paths));
        }
        settings = winampFolderFor(directory);
        if (config.winampIni)
            writeFile(settings + u"\\winamp.ini", *config.winampIni);
    }

    Lock lk(impl_->m);
    if (isWinamp(row) && !config.winampIni)
        impl_->files.erase(normaliseFilePath(settings + u"\\winamp.ini"));
    PlayerWorld::Player& p = players_->players[static_cast<std::size_t>(index)];
    p.installed = true;
    p.config = config;
    p.directory = directory;
    p.program = program;
    if (config.running)
        players_->launch(p, false);
    return true;
}

bool SimPc::playerInstalled(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && p->installed;
}

std::vector<std::pair<plat::HKey, String>> SimPc::playerDetectionKeys(const String& name) const {
    const int index = rowIndex(name);
    if (index < 0)
        return {};
    const PlayerRow& row = rows()[static_cast<std::size_t>(index)];
    std::vector<std::pair<plat::HKey, String>> keys{{plat::HKCU, row.hkcuKey}};
    if (row.hklmDetected)
        keys.emplace_back(plat::HKLM, row.hklmKey);
    return keys;
}

bool SimPc::playerDetectable(const String& name) const {
    for (const auto& [root, key] : playerDetectionKeys(name))
        if (keyExists(root, key))
            return true;
    return false;
}

String SimPc::playerProgramPath(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && p->installed ? p->program : String();
}

String SimPc::playerDirectory(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && p->installed ? p->directory : String();
}

bool SimPc::startPlayer(const String& name) {
    Lock lk(impl_->m);
    auto* p = players_->find(name);
    if (!p || !p->installed)
        return false;
    players_->launch(*p, false);
    return true;
}

bool SimPc::quitPlayer(const String& name) {
    Lock lk(impl_->m);
    auto* p = players_->find(name);
    if (!p || !players_->live(*p))
        return false;
    players_->end(*p, "the user quit it");
    return true;
}

bool SimPc::playerRunning(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p && players_->live(*p);
}

Hwnd SimPc::playerWindow(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    return inst ? inst->main : 0;
}

Hwnd SimPc::playerUpgradeWindow(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    return inst ? inst->upgrade : 0;
}

std::uint32_t SimPc::playerProcessId(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    return inst ? inst->processId : 0;
}

bool SimPc::setForegroundPlayer(const String& name) {
    Lock lk(impl_->m);
    auto* p = players_->find(name);
    const auto* inst = p ? players_->live(*p) : nullptr;
    if (!inst)
        return false;
    impl_->foreground = inst->main;
    return true;
}

bool SimPc::setPlayerHung(const String& name, bool hung) {
    Hwnd main = 0;
    {
        Lock lk(impl_->m);
        auto* p = players_->find(name);
        const auto* inst = p ? players_->live(*p) : nullptr;
        if (!inst)
            return false;
        main = inst->main;
    }
    setWindowHung(main, hung);
    return true;
}

std::vector<PlayerAppCommand> SimPc::playerAppCommands(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p ? p->appCommands : std::vector<PlayerAppCommand>{};
}

std::vector<PlayerCloseRequest> SimPc::playerCloseRequests(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p ? p->closeRequests : std::vector<PlayerCloseRequest>{};
}

std::vector<PlayerStart> SimPc::playerStarts(const String& name) const {
    Lock lk(impl_->m);
    const auto* p = players_->find(name);
    return p ? p->starts : std::vector<PlayerStart>{};
}

void SimPc::setIntelliTypeInstalled(bool installed) {
    if (installed) {
        setString(plat::HKLM, kIntelliTypeKey, u"", kIntelliTypeDirectory + u"\\mskey.exe");
        setString(plat::HKLM, kIntelliTypeKey, u"Path", kIntelliTypeDirectory);
    } else {
        deleteTree(plat::HKLM, kIntelliTypeKey);
    }
}

std::optional<std::string> SimPc::winampIni() const {
    const String folder = winampSettingsFolder();
    if (folder.empty())
        return std::nullopt;
    return fileContents(folder + u"\\winamp.ini");
}

bool SimPc::setWinampIni(const std::string& text) {
    const String folder = winampSettingsFolder();
    if (folder.empty())
        return false;
    writeFile(folder + u"\\winamp.ini", text);
    return true;
}

String SimPc::winampSettingsFolder() const {
    const String directory = playerDirectory(u"Winamp");
    return directory.empty() ? String() : winampFolderFor(directory);
}

// Winamp's own reading of paths.ini, on the machine's own services: the "[Winamp]" section's
// "inidir" line, "{N}" and %VARIABLES% through the shell and the environment, a relative
// path from the program folder. With `wanted`, the folder it names whether it exists or not
// (empty if none); without, that folder only if it exists, else the program folder.
String SimPc::winampFolderFor(const String& directory, bool wanted) const {
    const std::string paths = fileContents(directory + u"\\paths.ini").value_or("");
    const auto trim = [](std::string text) {
        const std::size_t first = text.find_first_not_of(" \t\r");
        const std::size_t last = text.find_last_not_of(" \t\r");
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    };
    std::string value;
    int winampSections = 0;
    std::istringstream lines(paths);
    for (std::string line; std::getline(lines, line) && winampSections < 2;) {
        line = trim(line);
        const std::size_t equals = line.find('=');
        if (line.starts_with('[')) {
            const bool winamp = plat::equalsIgnoringCase(
                plat::fromAscii(trim(line.substr(1, line.find(']') - 1))), u"Winamp");
            winampSections += winamp || winampSections > 0 ? 1 : 0;
        } else if (winampSections == 1 && equals != std::string::npos &&
                   plat::equalsIgnoringCase(plat::fromAscii(trim(line.substr(0, equals))),
                                            u"inidir")) {
            value = trim(line.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            break;
        }
    }
    const String fallback = wanted ? String() : directory;
    if (value.empty())
        return fallback;
    plat::Folders& shell = *impl_->foldersPort;
    String path;
    String rest = plat::fromAscii(value);
    if (value.starts_with('{') && value.find('}') != std::string::npos) {
        if (!shell.shellFolderPath(std::atoi(value.c_str() + 1), path))
            return fallback;
        rest = plat::fromAscii(value.substr(value.find('}') + 1));
    }
    String expanded;
    if (!shell.expandEnvironmentStrings(rest, expanded))
        return fallback;
    if (!path.empty() && !expanded.empty() && expanded.front() != u'\\')
        path += u'\\';
    path += expanded;
    const bool absolute = (path.size() > 2 && path[1] == u':') || path.starts_with(u"\\\\");
    if (!absolute)
        path = path.starts_with(u"\\") ? directory.substr(0, 2) + path : directory + u"\\" + path;
    while (path.size() > 3 && path.back() == u'\\')
        path.pop_back();
    return wanted || shell.isFolder(path) ? path : directory;
}

} // namespace sim
