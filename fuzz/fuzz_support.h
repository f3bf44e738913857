// Shared by the fuzz targets: failing a check, reading text as whole lines, and a simulated PC
// kept across inputs.
#pragma once

#include "Globals.h"
#include "ProcessObjects.h"
#include "WinampPaths.h"
#include "ports.h"
#include "sim_pc.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzing {

inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// Whole lines, each with its line ending.
inline std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t take = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, take));
        text.remove_prefix(take);
    }
    return lines;
}

inline std::string_view endingOf(std::string_view line) {
    if (line.ends_with("\r\n"))
        return "\r\n";
    return line.ends_with('\n') ? "\n" : "";
}

// A simulated PC with the run's process-wide objects.
struct SimWorld {
    SimWorld() {
        pc.install();
        startProcessObjects();
    }
    ~SimWorld() {
        pc.endProcess();
        plat::install({});
        endProcessObjects();
    }
    sim::SimPc pc;
};

// An input that holds a "paths.ini" text before the "winamp.ini" one: its first byte is the
// length of the paths.ini text (0: none), which follows it; the rest is winamp.ini.
struct PathsAndIni {
    std::string_view pathsIni;
    std::string_view ini;
};

inline PathsAndIni splitPathsIni(std::string_view data) {
    if (data.empty())
        return {};
    const std::size_t length = std::min<std::size_t>(static_cast<unsigned char>(data[0]), data.size() - 1);
    return {data.substr(1, length), data.substr(1 + length)};
}

// Winamp's program folder on the fuzzed PC, and the folders a paths.ini may name that exist.
inline const plat::String kWinampFolder = u"C:\\Winamp";

inline void makeSettingsFolders(sim::SimPc& pc) {
    pc.setString(plat::HKCU, u"Software\\Winamp\\", u"", kWinampFolder);
    for (const char16_t* folder : {u"C:\\Users\\User\\AppData\\Roaming\\Winamp",
                                   u"C:\\Winamp\\Settings", u"D:\\Winamp"})
        pc.createFolder(folder);
}

// Writes the paths.ini text (none when empty) and returns the folder the program resolves,
// checking by this file's own reading that it is the program folder or one that exists, and
// the program folder when the text names no "inidir" at all.
inline plat::String settingsFolderFor(sim::SimPc& pc, std::string_view pathsIni) {
    const plat::String paths = kWinampFolder + u"\\paths.ini";
    if (pathsIni.empty())
        plat::files().deleteFile(paths);
    else
        pc.writeFile(paths, std::string(pathsIni));
    const plat::String folder = winamppaths::settingsFolder(kWinampFolder);
    check(folder == kWinampFolder || plat::folders().isFolder(folder));
    std::string lower(pathsIni);
    for (char& c : lower)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower.find("inidir") == std::string::npos)
        check(folder == kWinampFolder);
    return folder;
}

// The file pass `run` over `contents`, written as winamp.ini into the settings folder that
// `pathsIni` names: afterwards the file holds `expected`, and nothing else has changed in that
// folder or in the program folder. The file goes again, for the next input.
template <class Run>
void filePass(sim::SimPc& pc, std::string_view pathsIni, std::string_view contents,
              const std::string& expected, Run run) {
    const plat::String folder = settingsFolderFor(pc, pathsIni);
    const plat::String ini = folder + u"\\winamp.ini";
    pc.writeFile(ini, std::string(contents));
    const auto files = pc.folderFiles(folder);
    const auto programFiles = pc.folderFiles(kWinampFolder);
    run();
    check(pc.fileContents(ini) == expected);
    check(pc.folderFiles(folder) == files);
    check(pc.folderFiles(kWinampFolder) == programFiles);
    plat::files().deleteFile(ini);
}

// One World for many inputs, made anew every `every` inputs: the simulated PC keeps a journal
// of everything done to it, which would grow without end.
template <class World> World& renewed(int every) {
    static World* world = nullptr;
    static int runs = 0;
    if (world && ++runs % every == 0) {
        delete world;
        world = nullptr;
    }
    if (!world)
        world = new World;
    return *world;
}

} // namespace fuzzing
