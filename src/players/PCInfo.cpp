#include "PcInfo.h"

#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "Debug.h"
#include "Globals.h"
#include "ports.h"
#include "text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr char16_t kShowTrayIcon[] = u"Show Tray Icon";
constexpr char16_t kEnableAdvancedMenu[] = u"Enable Advanced Menu";
// Both preferences are read into buffers of this many characters.
constexpr std::size_t kPreferenceCapacity = 100;
// The audio thread's pause between passes.
constexpr std::uint32_t kAudioPassPauseMs = 1000;

} // namespace

PcInfo::PcInfo() {
    WriteLog(u"Inside PCINFO constructor", LogLevel::Trace);
    std::uint32_t lastError = 0;
    audioDeviceMutex = plat::threads().createMutex(nullptr, false, lastError);
    if (Globals* g = currentGlobals(); g && g->audioDevices)
        g->audioDevices->mutex.store(audioDeviceMutex);
    if (audioThreadHandle == 0)
        audioThreadHandle = plat::threads().startThread(audioDeviceThread);
}

PcInfo::~PcInfo() {
    // The audio thread is not stopped: it ends with the process. The objects of a run may
    // outlive its platform (a finished test), whose handles are then gone with it.
    if (audioDeviceMutex != 0 && plat::current().threads)
        plat::threads().closeHandle(audioDeviceMutex);
}

int PcInfo::getRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                      plat::String& out, std::size_t capacity) {
    traceEntry(u"PcInfo::getRegVal(String)");
    int result = 0;
    plat::HKey key = 0;
    if (plat::registry().openKey(root, subkey, KEY_READ, key) != ERROR_SUCCESS) {
        errorText = plat::formatText(u"Error Opening Key(%s)", {subkey});
        WriteLog(errorText, LogLevel::Error);
    } else {
        // The value's type is ignored: its bytes are taken as stored, up to the first null.
        std::vector<char16_t> buffer(capacity);
        std::uint32_t bytes = static_cast<std::uint32_t>(capacity * sizeof(char16_t));
        std::uint32_t type = 0;
        if (plat::registry().queryValue(key, value, &type, buffer.data(), &bytes) != ERROR_SUCCESS) {
            errorText = plat::formatText(u"Error Querrying Value (%s)", {value});
            WriteLog(errorText, LogLevel::Error);
        } else {
            const std::size_t units = std::min<std::size_t>(bytes / sizeof(char16_t), capacity);
            std::size_t length = 0;
            while (length < units && buffer[length] != u'\0')
                ++length;
            out.assign(buffer.data(), length);
            result = 1;
        }
        plat::registry().closeKey(key);
    }
    traceExit(u"PcInfo::getRegVal(String)");
    return result;
}

plat::HKey PcInfo::openForWrite(plat::HKey root, const plat::String& subkey, bool& created) {
    created = true;
    plat::HKey key = 0;
    if (plat::registry().openKey(root, subkey, KEY_ALL_ACCESS, key) == ERROR_SUCCESS)
        return key;
    plat::HKey made = 0;
    if (plat::registry().createKey(root, subkey, made) != ERROR_SUCCESS) {
        created = false;
        return 0;
    }
    plat::registry().closeKey(made);
    if (plat::registry().openKey(root, subkey, KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
        return 0;
    return key;
}

int PcInfo::setRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                      const plat::String& text) {
    traceEntry(u"PcInfo::setRegVal(String)");
    int result = 0;
    bool created = true;
    const plat::HKey key = openForWrite(root, subkey, created);
    if (!created) {
        errorText = plat::formatText(u"Error Opening Key(%s)", {subkey});
        WriteLog(errorText, LogLevel::Error);
    }
    if (key != 0) {
        // REG_SZ is stored with its terminating null: (length + 1) × 2 bytes.
        const auto bytes = static_cast<std::uint32_t>((text.size() + 1) * sizeof(char16_t));
        if (plat::registry().setValue(key, value, REG_SZ, text.c_str(), bytes) == ERROR_SUCCESS) {
            result = 1;
        } else {
            errorText = plat::formatText(u"Error Querrying Value (%s)", {value});
            WriteLog(errorText, LogLevel::Error);
        }
        plat::registry().closeKey(key);
    } else if (created) {
        // Created but still not writable (for example HKEY_LOCAL_MACHINE without rights).
        errorText = plat::formatText(u"Error Querrying Value (%s)", {value});
        WriteLog(errorText, LogLevel::Error);
    }
    traceExit(u"PcInfo::setRegVal(String)");
    return result;
}

int PcInfo::getRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                      std::uint32_t& variable) {
    traceEntry(u"PcInfo::getRegVal(DWORD)");
    int result = 0;
    plat::HKey key = 0;
    if (plat::registry().openKey(root, subkey, KEY_READ, key) != ERROR_SUCCESS) {
        errorText = plat::formatText(u"Error Opening Key(%s)", {subkey});
        WriteLog(errorText, LogLevel::Error);
    } else {
        std::uint8_t data[sizeof(std::uint32_t)] = {};
        std::memcpy(data, &variable, sizeof data);
        std::uint32_t bytes = sizeof data;
        std::uint32_t type = 0;
        if (plat::registry().queryValue(key, value, &type, data, &bytes) != ERROR_SUCCESS) {
            errorText = plat::formatText(u"Error Querying Value (%s)", {value});
            WriteLog(errorText, LogLevel::Error);
        } else {
            // Like the API writing into the variable itself: a shorter value replaces only
            // its first bytes.
            std::memcpy(&variable, data, sizeof data);
            result = 1;
        }
        plat::registry().closeKey(key);
    }
    traceExit(u"PcInfo::getRegVal(DWORD)");
    return result;
}

int PcInfo::setRegVal(plat::HKey root, const plat::String& subkey, const plat::String& value,
                      std::uint32_t number) {
    traceEntry(u"PcInfo::setRegVal(DWORD)");
    int result = 0;
    bool created = true;
    const plat::HKey key = openForWrite(root, subkey, created);
    // This form records its errors without logging them.
    if (!created)
        errorText = plat::formatText(u"Error Opening Key(%s)", {subkey});
    if (key != 0 &&
        plat::registry().setValue(key, value, REG_DWORD, &number, sizeof number) == ERROR_SUCCESS) {
        result = 1;
    } else if (created) {
        errorText = plat::formatText(u"Error Querrying Value (%s)", {value});
    }
    if (key != 0)
        plat::registry().closeKey(key);
    traceExit(u"PcInfo::setRegVal(DWORD)");
    return result;
}

int PcInfo::checkRegistryKey(plat::HKey root, const plat::String& subkey) {
    traceEntry(u"PcInfo::checkRegistryKey");
    plat::HKey key = 0;
    const bool opened = plat::registry().openKey(root, subkey, KEY_READ, key) == ERROR_SUCCESS;
    traceExit(u"PcInfo::checkRegistryKey");
    if (opened) {
        plat::registry().closeKey(key);
        return 1;
    }
    WriteLog(u"Unable to open key", LogLevel::Error);
    return 0;
}

int PcInfo::getTrayIconState() {
    traceEntry(u"PcInfo::getTrayIconState");
    plat::String text;
    const int read = getRegVal(plat::HKCU, kPreferencesKey, kShowTrayIcon, text, kPreferenceCapacity);
    traceExit(u"PcInfo::getTrayIconState");
    if (!read)
        return 1;
    return text == u"False" ? 0 : 1;
}

int PcInfo::setTrayIconState(int show) {
    traceEntry(u"PcInfo::setTrayIconState");
    const int result = setRegVal(plat::HKCU, kPreferencesKey, kShowTrayIcon, show == 1 ? u"True" : u"False");
    traceExit(u"PcInfo::setTrayIconState");
    return result;
}

int PcInfo::getAdvancedMenuState() {
    traceEntry(u"PcInfo::getAdvancedMenuState");
    plat::String text;
    const int read =
        getRegVal(plat::HKCU, kPreferencesKey, kEnableAdvancedMenu, text, kPreferenceCapacity);
    traceExit(u"PcInfo::getAdvancedMenuState");
    if (!read)
        return 0;
    return text == u"True" ? 1 : 0;
}

int PcInfo::setAdvancedMenuState(int enable) {
    traceEntry(u"PcInfo::setAdvancedMenuState");
    const int result =
        setRegVal(plat::HKCU, kPreferencesKey, kEnableAdvancedMenu, enable == 1 ? u"True" : u"False");
    traceExit(u"PcInfo::setAdvancedMenuState");
    return result;
}

void audioDeviceThread() {
    WriteLog(u"Thread Started\n", LogLevel::Trace);
    // Core Audio, which recognises the transmitter where DirectSound does not, is COM: this
    // thread must be in an apartment to use it. It stays there until the process ends.
    if (!plat::coreAudio().enterApartment())
        WriteLog(u"CoInitializeEx failed", LogLevel::Error);
    bool countChanged = false;
    TransmitterEndpoints transmitters;
    storeDefaultDeviceEntry();
    // The product never ends this thread; the simulated PC ends it with the process.
    while (!plat::threads().processEnding()) {
        if (!audioEnumerationPass(countChanged, transmitters)) {
            // A failed pass would otherwise start the next at once: without "dsound.dll"
            // the thread would spin a core. It waits as long as a successful pass sleeps.
            plat::threads().sleep(kAudioPassPauseMs);
            continue;
        }
        WriteLog(u"Audio Thread Going to sleep\n", LogLevel::Trace);
        plat::threads().sleep(kAudioPassPauseMs);
        WriteLog(u"Audio Thread coming out of sleep\n", LogLevel::Trace);
        if (countChanged) {
            countChanged = false;
            postDeviceCountChanged();
        }
    }
}
