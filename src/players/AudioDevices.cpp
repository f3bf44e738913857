#include "AudioDevices.h"

#include "Application.h"
#include "AudioEndpoints.h"
#include "Debug.h"
#include "Globals.h"
#include "WindowMessages.h"
#include "RoutingKeys.h"
#include "ports.h"
#include "resource.h"
#include "text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

bool inTable(int index) {
    return index >= 0 && index < kAudioDeviceTableSize;
}

constexpr std::uint32_t kTypeEmulated = 0;
constexpr std::uint32_t kTypeVxd = 1;
constexpr std::uint32_t kDataFlowCapture = 1;
// Entry k holds wave id k - 1, so ids from here on have no entry.
constexpr std::uint32_t kFirstWaveIdWithoutEntry = kAudioDeviceTableSize - 1;
constexpr char16_t kEmulatedMark[] = u"(emulated)";

// Holds the audio-device mutex for one entry copy. A table without its mutex (no PcInfo
// yet) is copied unguarded, as nothing else runs then.
class TableLock {
public:
    TableLock() : mutex_(globals().audioDevices->mutex.load()) {
        if (mutex_)
            plat::threads().waitForSingleObject(mutex_, INFINITE);
    }
    ~TableLock() {
        if (mutex_)
            plat::threads().releaseMutex(mutex_);
    }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

private:
    plat::Handle mutex_ = 0;
};

using Entries = std::array<AudioDeviceEntry, kAudioDeviceTableSize>;

void logEntry(const AudioDeviceEntry& entry) {
    WriteLog(plat::formatText(u"\nWaveID = %2x\nName = %s\nGUID = %s\n",
                              {entry.waveId, entry.name, entry.guid}),
             LogLevel::Trace);
}

// The enumeration callback, writing the pass's copy of the table. `names` holds the display
// names given so far in this pass, for the numbering of repeated names. Always continues the
// enumeration.
bool onDeviceRecord(const plat::DsDeviceDescription& record, Entries& pass,
                    plat::StringArray& names, TransmitterEndpoints& transmitters) {
    WriteLog(u"In callback", LogLevel::Trace);
    if (record.type == kTypeVxd || record.dataFlow == kDataFlowCapture)
        return true;
    if (record.waveDeviceId >= kFirstWaveIdWithoutEntry)
        return true;
    const int index = static_cast<int>(record.waveDeviceId) + 1;

    AudioDeviceEntry& stored = pass[static_cast<std::size_t>(index)];
    if (record.type == kTypeEmulated) {
        stored.waveName = emulatedWaveName(record.description);
        WriteLog(u"Wave device name  ", LogLevel::Trace);
        WriteLog(stored.waveName, LogLevel::Trace);
        logEntry(stored);
        return true;
    }

    AudioDeviceEntry entry;
    entry.guid = guidText(record.deviceId);
    // The transmitter is known by its USB ids, not by the description its driver gives; the
    // system spells them in upper or lower case as it pleases. Today's Windows may give the
    // record a path without them: its endpoint then leads to the USB device.
    const bool transmitter =
        carriesTransmitterIds(record.interfacePath) || transmitters.isTransmitter(entry.guid);
    const plat::String name = transmitter ? plat::String(routingkeys::kTransmitterName) : record.description;
    names.push_back(name);
    const auto seen = std::count(names.begin(), names.end(), name);
    entry.name =
        seen > 1 ? plat::formatText(u"%s (%d)", {name, static_cast<long long>(seen)}) : name;
    entry.waveId = record.waveDeviceId;
    stored = entry;
    logEntry(stored);
    return true;
}

} // namespace

void readDeviceEntry(int index, AudioDeviceEntry& out) {
    if (!inTable(index)) {
        out = AudioDeviceEntry{};
        return;
    }
    TableLock lock;
    out = globals().audioDevices->entries[static_cast<std::size_t>(index)];
}

void storeDeviceEntry(int index, const AudioDeviceEntry& entry) {
    if (!inTable(index))
        return;
    {
        TableLock lock;
        globals().audioDevices->entries[static_cast<std::size_t>(index)] = entry;
    }
    logEntry(entry);
}

std::int32_t audioDeviceCount() {
    return globals().audioDevices->count.load();
}

plat::String guidText(const plat::Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                  static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                  g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return plat::fromAscii(buf);
}

plat::String emulatedWaveName(const plat::String& description) {
    const std::size_t at = description.find(kEmulatedMark);
    // The character before the mark is dropped whatever it is; a mark at the very start
    // leaves nothing before it.
    if (at == plat::String::npos || at == 0)
        return {};
    return description.substr(0, at - 1);
}

void storeDefaultDeviceEntry() {
    AudioDeviceEntry entry;
    entry.waveId = 0;
    entry.guid = kNullGuid;
    entry.name = kDefaultAudioDeviceName;
    storeDeviceEntry(0, entry);
}

namespace {

// Enumerates the devices into the table and then sets its count to `devices`; true when the
// count changed.
bool refreshTable(plat::Handle propertySet, std::int32_t devices,
                  TransmitterEndpoints& transmitters) {
    // The pass fills a copy and puts it in place in one step: a reader never sees a device
    // half written (its fresh entry before the emulated record adds the wave name), for which
    // the system default would name no device at that moment.
    AudioDeviceTable& table = *globals().audioDevices;
    Entries pass;
    {
        TableLock lock;
        pass = table.entries;
    }
    plat::StringArray names;
    plat::audio().enumerateDevices(propertySet, [&](const plat::DsDeviceDescription& record) {
        return onDeviceRecord(record, pass, names, transmitters);
    });
    {
        TableLock lock;
        table.entries = pass;
    }
    // The count bounds the entries others read, so it changes once they are in place.
    if (devices != table.count.load()) {
        table.count.store(devices);
        return true;
    }
    return false;
}

} // namespace

bool audioEnumerationPass(bool& countChanged, TransmitterEndpoints& transmitters) {
    WriteLog(u"Thread Running\n", LogLevel::Trace);
    transmitters.newPass();
    plat::Audio& audio = plat::audio();
    const plat::Module dsound = audio.loadDsound();
    if (!dsound) {
        WriteLog(u"Load library failed", LogLevel::Error);
        return false;
    }
    // Unlike a bare retry, each failure gives back what the pass obtained so far.
    if (!audio.hasDllGetClassObject(dsound)) {
        WriteLog(u"GetProcAddress failed", LogLevel::Error);
        audio.freeDsound(dsound);
        return false;
    }
    const plat::Handle factory = audio.getClassFactory(dsound);
    if (!factory) {
        WriteLog(u"Get class factory handle failed", LogLevel::Error);
        audio.freeDsound(dsound);
        return false;
    }
    const plat::Handle propertySet = audio.createPropertySet(factory);
    if (!propertySet) {
        WriteLog(u"CreateInstance failed", LogLevel::Error);
        audio.release(factory);
        audio.freeDsound(dsound);
        return false;
    }

    // The count bounds the entries others read (1 to count), so it never exceeds the table;
    // it is compared in that bounded form, or a larger mixer count would "change" every pass.
    const auto bounded = [&audio] {
        return static_cast<std::int32_t>(
            std::min<std::uint32_t>(audio.mixerGetNumDevs(), kFirstWaveIdWithoutEntry));
    };
    const std::int32_t devices = bounded();

    if (refreshTable(propertySet, devices, transmitters))
        countChanged = true;

    audio.release(propertySet);
    audio.release(factory);
    audio.freeDsound(dsound);
    return true;
}

void postDeviceCountChanged() {
    for (const auto& [titleId, request] :
         {std::pair{IDS_SETTINGS_TITLE, SheetRequest::RefreshDefaultAudio},
          {IDS_EDIT_PLAYER_TITLE, EditPlayerRequest::DevicesChanged}}) {
        // An empty title would match an untitled window: a title that cannot be loaded
        // finds nothing.
        const plat::String title = fw::loadString(titleId);
        if (title.empty())
            continue;
        if (const plat::Hwnd window = plat::desktop().findWindow(nullptr, &title))
            plat::desktop().postMessage(window, WM_USER, request, 0);
    }
}
