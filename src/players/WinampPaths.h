// Where Winamp keeps its settings. Winamp 5.11 and later, installed "with settings per user",
// keeps "winamp.ini" (and every other settings file) out of its program folder: "paths.ini"
// beside winamp.exe names the folder in the "inidir" value of its "[Winamp]" section, for
// example "inidir={26}\Winamp". Without paths.ini, or without a usable "inidir", the program
// folder holds the settings. Both the hotkey pass and the output device go through here, as
// does their scratch file, which belongs beside the file it replaces.
//
// Reading "inidir" as the profile functions do: the first "[Winamp]" section (names without
// regard to case and to blanks around them), its first "inidir" line, the value without the
// blanks around it and without one pair of matching quotes. The file is ANSI text; each byte
// is taken as the Latin-1 character of that number, which is right for the Western code
// pages, and a path that comes out wrong otherwise names no folder and is not used.
//
// Resolving the value: a leading "{N}" stands for the shell folder of CSIDL N (0 to 255),
// followed by the rest of the value; %VARIABLES% are expanded; a relative path is taken
// from the program folder. A value that cannot be resolved, or that names no existing folder,
// is not used: Winamp itself cannot have written its settings there.
#pragma once

#include "types.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace plat {
class Folders;
}

// Winamp's key, under HKCU and (for all users) HKLM: its default value is the program folder.
inline constexpr char16_t kWinampKey[] = u"Software\\Winamp\\";

namespace winamppaths {

inline constexpr char16_t kPathsIniName[] = u"paths.ini";
// paths.ini is a few lines; a larger file is no paths.ini Winamp wrote.
inline constexpr std::size_t kPathsIniMaxBytes = 64 * 1024;
// Winamp reads the value into a MAX_PATH buffer.
inline constexpr std::size_t kMaxValueChars = 259;

// The "inidir" value of paths.ini's text; nothing when it has none or an empty one.
std::optional<plat::String> inidirOf(std::string_view pathsIni);

// The folder `value` names, relative to the program folder `installDir`; empty when it
// names no existing folder or cannot be resolved.
plat::String resolveInidir(const plat::String& value, const plat::String& installDir,
                           plat::Folders& folders);

// The folder that holds Winamp's settings for the program folder `installDir`: the one
// paths.ini names, else `installDir` itself. Reads paths.ini through the files port and
// resolves through the folders port.
plat::String settingsFolder(const plat::String& installDir);

} // namespace winamppaths
