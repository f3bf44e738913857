// Shared by the routing tests: a simulated PC with a sound card and the transmitter in the
// audio device table, and an audio port whose mixers have product names.
#pragma once

#include "AudioDevices.h"
#include "Globals.h"
#include "players_support.h"

#include <map>
#include <vector>

namespace routingtest {

inline const plat::String kSoundMapper = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\";
inline const plat::String kPlayUi = u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\";
inline const plat::String kWmpPrefs = u"Software\\Microsoft\\MediaPlayer\\Preferences\\";
inline const plat::String kPrefs = kPreferencesKey;

inline const AudioDeviceEntry kCard{0, u"{11111111-2222-3333-4444-555555555555}",
                                    u"SoundMax Digital", u"SoundMax Digital Audio"};
inline const AudioDeviceEntry kTransmitter{1, u"{00112233-4455-6677-8899-AABBCCDDEEFF}",
                                           u"Quorvane Auravo", u"USB Audio Device"};

// The audio port: mixers with product names, and an enumeration that reports nothing and a
// mixer count equal to the table's, so that the audio thread leaves the table the test made.
class TableAudio final : public plat::Audio {
public:
    plat::Module loadDsound() override { return 1; }
    bool hasDllGetClassObject(plat::Module) override { return true; }
    plat::Handle getClassFactory(plat::Module) override { return 1; }
    plat::Handle createPropertySet(plat::Handle) override { return 2; }
    bool enumerateDevices(plat::Handle,
                          const std::function<bool(const plat::DsDeviceDescription&)>&) override {
        return true;
    }
    void release(plat::Handle) override {}
    void freeDsound(plat::Module) override {}
    std::uint32_t mixerGetNumDevs() override {
        return static_cast<std::uint32_t>(globals().audioDevices->count.load());
    }
    bool mixerGetProductName(std::uint32_t id, plat::String& productName) override {
        const auto found = products.find(id);
        if (found == products.end())
            return false;
        productName = found->second;
        return true;
    }

    std::map<std::uint32_t, plat::String> products;
};

class RoutingTest : public pptest::PlayerTest {
protected:
    void SetUp() override {
        pptest::PlayerTest::SetUp();
        audio.products = {{0, kCard.waveName}, {1, kTransmitter.waveName}};
        plat::Platform bundle = plat::current();
        bundle.audio = &audio;
        plat::install(bundle);
        globals().isAdministrator = true;
        setDevices({});
    }

    // Entries 1.. of the table (entry 0 is always the default device) and the count.
    static void setDevices(const std::vector<AudioDeviceEntry>& devices) {
        storeDeviceEntry(0, AudioDeviceEntry{0, kNullGuid, kDefaultAudioDeviceName, u""});
        for (std::size_t i = 0; i < devices.size(); ++i)
            storeDeviceEntry(static_cast<int>(i) + 1, devices[i]);
        globals().audioDevices->count = static_cast<std::int32_t>(devices.size());
    }

    void installPlayer(const plat::String& name, bool running,
                       std::optional<std::string> ini = sim::typicalWinampIni()) {
        sim::PlayerConfig config;
        config.name = name;
        config.running = running;
        config.winampIni = std::move(ini);
        ASSERT_TRUE(pc->installPlayer(config));
    }

    std::optional<plat::String> str(plat::HKey root, const plat::String& key, const plat::String& name) {
        return pc->stringValue(root, key, name);
    }
    std::optional<std::uint32_t> dword(plat::HKey root, const plat::String& key,
                                       const plat::String& name) {
        return pc->dwordValue(root, key, name);
    }

    std::vector<sim::ModalView> boxes() const {
        std::vector<sim::ModalView> out;
        for (const auto& modal : pc->modalHistory())
            if (modal.kind == sim::ModalKind::MessageBox)
                out.push_back(modal);
        return out;
    }

    static plat::String restartText(const plat::String& player) {
        return player +
               u" must be shut down and restarted before this change will take effect.\n"
               u"Do you want to restart it now?";
    }

    // A Yes/No box as the user sees it: OK/Cancel relabelled Yes/No.
    static std::uint32_t shownYesNo(std::uint32_t style) { return (style & ~std::uint32_t{7}) | MB_OKCANCEL; }

    TableAudio audio;
};

} // namespace routingtest
