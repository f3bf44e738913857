// PcInfo's side of Winamp's output device: the settings folder, and the device line of
// "winamp.ini" read and rewritten through the passes of WinampOutput.h.
#include "PcInfo.h"

#include "AudioDevices.h"
#include "Debug.h"
#include "RoutingKeys.h"
#include "WinampOutput.h"
#include "WinampPaths.h"
#include "ports.h"

plat::String PcInfo::winampGuidEncode(const plat::String& guid) {
    traceEntry(u"PcInfo::winampGuidEncode");
    plat::String encoded = winampout::guidEncode(guid);
    traceExit(u"PcInfo::winampGuidEncode");
    return encoded;
}

plat::String PcInfo::winampGuidDecode(const plat::String& encoded) {
    traceEntry(u"PcInfo::winampGuidDecode");
    plat::String guid = winampout::guidDecode(encoded);
    traceExit(u"PcInfo::winampGuidDecode");
    return guid;
}

int PcInfo::readWinampDirectory(plat::String& directory) {
    return getRegVal(plat::HKCU, kWinampKey, u"", directory, winampout::kDirectoryCapacity) ||
           getRegVal(plat::HKLM, kWinampKey, u"", directory, winampout::kDirectoryCapacity);
}

int PcInfo::readWinampSettingsFolder(plat::String& folder) {
    plat::String directory;
    if (!readWinampDirectory(directory))
        return 0;
    folder = winamppaths::settingsFolder(directory);
    return 1;
}

plat::String PcInfo::getWinampOutputDevice() {
    plat::String folder;
    if (!readWinampSettingsFolder(folder))
        return routingkeys::kCantAccess;
    plat::Files& files = plat::files();
    const plat::Handle ini = files.open(folder + u"\\winamp.ini", plat::FileMode::Read);
    if (ini == 0)
        return routingkeys::kNoDeviceFound;
    winampout::DeviceFinder finder;
    std::string piece;
    plat::ReadResult read = plat::ReadResult::End;
    while (!finder.done() &&
           (read = files.readLine(ini, winampout::kPieceCapacity, piece)) == plat::ReadResult::Line)
        finder.feed(piece);
    files.close(ini);

    plat::String result = routingkeys::kNoDeviceFound;
    const winampout::DeviceLine line = finder.result();
    const int last = lastTableIndex();
    AudioDeviceEntry entry;
    if (read == plat::ReadResult::Error && !finder.done()) {
        // The rest of the file is unknown: what was not found reads as "No Device Found".
    } else if (line.kind == winampout::DeviceLine::Kind::Missing) {
        // No device chosen in Winamp yet: it plays on the default device.
        readDeviceEntry(0, entry);
        result = entry.name;
    } else if (line.kind == winampout::DeviceLine::Kind::Digit) {
        // A digit beyond the table's devices, or no digit at all, is the default device.
        readDeviceEntry(line.digit >= 0 && line.digit <= last ? line.digit : 0, entry);
        result = entry.name;
    } else if (line.kind == winampout::DeviceLine::Kind::Guid && line.hasValue) {
        const plat::String guid = winampGuidDecode(line.value);
        // A value shorter than 32 characters decodes short and so equals no GUID text.
        for (int i = 0; i <= last; ++i) {
            readDeviceEntry(i, entry);
            if (entry.guid == guid)
                result = entry.name;
        }
    }
    return result;
}

int PcInfo::setWinampOutputDevice(int index, const AudioDeviceEntry& entry) {
    routingFailure = RoutingFailure::Other;
    plat::String folder;
    if (!readWinampSettingsFolder(folder))
        return 0;
    winampout::DeviceRewriter rewriter(index, entry.waveId,
                                       winampout::toAscii(winampGuidEncode(entry.guid)));
    auto job = inifile::Rewrite::inFolder(folder, u"winamp.ini", winampout::kPieceCapacity);
    job.transform = [&](std::string_view piece, std::string& out) {
        out = rewriter.transform(piece);
        return !rewriter.refused();
    };
    job.finish = [&](std::string& out) {
        out = rewriter.finish();
        return !rewriter.refused();
    };
    const inifile::RewriteResult result = inifile::rewriteFile(job);
    if (rewriter.pluginNotUnderstood()) {
        WriteLog(u"Winamp plays through an output plug-in whose device cannot be set",
                 LogLevel::Log);
        routingFailure = RoutingFailure::WinampOutputNotUnderstood;
    }
    return result == inifile::RewriteResult::Replaced ? 1 : 0;
}
