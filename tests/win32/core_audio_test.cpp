// Core Audio against Wine's, with real playback devices: scripts/wine-tests starts a private
// PulseAudio daemon whose null sinks Wine lists as render endpoints, and says in QA_AUDIO_SINKS
// how many it made. A run without it (no sound server, so no endpoint) skips what needs one.
//
// Wine gives its endpoints the GUIDs of their DirectSound devices, as Windows does, and keeps
// its default endpoint in its own "DefaultOutput" value. It has no policy-config class: what
// can be seen here of setting the default is the program's fallback to the sound mapper alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include "Application.h"
#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "Globals.h"
#include "PcInfo.h"
#include "text.h"
#include "win32_test_support.h"

namespace {

constexpr plat::EndpointRole kRoles[] = {plat::EndpointRole::Console,
                                         plat::EndpointRole::Multimedia,
                                         plat::EndpointRole::Communications};
constexpr wchar_t kWinePulse[] = L"Software\\Wine\\Drivers\\winepulse.drv";
constexpr wchar_t kSoundMapper[] = L"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper";

int sinksMade() {
    const char* sinks = std::getenv("QA_AUDIO_SINKS");
    return sinks ? std::atoi(sinks) : 0;
}

// Runs `body` on a thread of its own in the multithreaded apartment, as the audio thread runs,
// and leaves the test thread's apartment as it was.
void inApartment(const std::function<void()>& body) {
    std::thread worker([&] {
        ASSERT_TRUE(plat::coreAudio().enterApartment());
        body();
    });
    worker.join();
}

std::vector<plat::AudioEndpoint> renderEndpoints() {
    std::vector<plat::AudioEndpoint> endpoints;
    inApartment([&] {
        plat::CoreAudio& core = plat::coreAudio();
        const plat::Handle enumerator = core.createDeviceEnumerator();
        ASSERT_NE(enumerator, 0u);
        EXPECT_TRUE(core.renderEndpoints(enumerator, endpoints));
        core.release(enumerator);
    });
    return endpoints;
}

// A string value under HKEY_CURRENT_USER, put back as it was (or removed) at the end.
class SavedValue {
public:
    SavedValue(const wchar_t* key, const wchar_t* name) : name_(name) {
        HKEY opened = nullptr;
        if (::RegCreateKeyW(HKEY_CURRENT_USER, key, &opened) == ERROR_SUCCESS)
            key_.reset(opened);
        saved_ = read();
    }
    ~SavedValue() {
        if (saved_)
            set(*saved_);
        else
            ::RegDeleteValueW(key_.get(), name_);
    }
    void set(const std::wstring& text) const {
        ::RegSetValueExW(key_.get(), name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    std::optional<std::wstring> read() const {
        wchar_t text[512] = {};
        DWORD type = 0;
        DWORD bytes = sizeof(text) - sizeof(wchar_t);
        if (::RegQueryValueExW(key_.get(), name_, nullptr, &type, reinterpret_cast<BYTE*>(text),
                               &bytes) != ERROR_SUCCESS ||
            type != REG_SZ)
            return std::nullopt;
        return std::wstring(text);
    }

private:
    plat::win32::UniqueKey key_;
    const wchar_t* name_;
    std::optional<std::wstring> saved_;
};

std::wstring wide(const plat::String& text) {
    return std::wstring(text.begin(), text.end());
}

class CoreAudioUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        if (sinksMade() == 0)
            GTEST_SKIP() << "no sound server: scripts/wine-tests starts one (QA_AUDIO_SINKS)";
        endpoints_ = renderEndpoints();
        // Wine adds a device of its own for the sound server's default sink.
        ASSERT_GE(endpoints_.size(), static_cast<std::size_t>(sinksMade()));
    }

    std::vector<plat::AudioEndpoint> endpoints_;
};

TEST_F(CoreAudioUnderWine, EndpointsCarryTheGuidsOfTheirDirectSoundDevicesAndNoTransmitter) {
    const auto records = qa_test::directSoundRecords();
    std::printf("Wine lists %zu render endpoint(s) and %zu DirectSound record(s)\n",
                endpoints_.size(), records.size());
    for (const auto& endpoint : endpoints_) {
        SCOPED_TRACE(plat::toNarrow(endpoint.id));
        EXPECT_EQ(endpoint.guid.size(), 38u);
        EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const auto& r) {
            return plat::equalsIgnoringCase(guidText(r.deviceId), endpoint.guid);
        }));
    }

    // The program's own reading finds each endpoint by its GUID, in any letter case.
    inApartment([&] {
        const CoreAudioEndpoints program;
        ASSERT_TRUE(program.available());
        for (const auto& endpoint : endpoints_) {
            plat::String lower = endpoint.guid;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; });
            EXPECT_EQ(program.idOf(lower), endpoint.id);
            EXPECT_EQ(program.guidOf(endpoint.id), endpoint.guid);
            // Null sinks are no transmitter, whatever Wine tells of their hardware.
            bool known = false;
            EXPECT_FALSE(program.onTransmitterHardware(endpoint.id, known));
            plat::EndpointHardware hardware;
            plat::CoreAudio& core = plat::coreAudio();
            const plat::Handle enumerator = core.createDeviceEnumerator();
            EXPECT_TRUE(core.endpointHardware(enumerator, endpoint.id, hardware));
            core.release(enumerator);
            std::printf("  %s: connected to \"%s\", instance \"%s\"\n",
                        plat::toNarrow(endpoint.id).c_str(),
                        plat::toNarrow(hardware.connectedDeviceId).c_str(),
                        plat::toNarrow(hardware.instanceId).c_str());
        }
    });
}

// The table as the audio thread would fill it, from the DirectSound records themselves: Wine
// leaves their type, data flow and wave id uninitialised, so a real pass cannot be relied on.
class WineSystemDefault : public CoreAudioUnderWine {
protected:
    void SetUp() override {
        CoreAudioUnderWine::SetUp();
        if (IsSkipped())
            return;
        real_ = plat::current();
        threads_ = std::make_unique<qa_test::NoThreads>(*real_.threads);
        plat::Platform bundle = real_;
        bundle.threads = threads_.get();
        plat::install(bundle);
        savedResources_ = fw::resourceModule();
        fw::setResourceModule(plat::resources().programModule());
        info_ = startProcessObjects().pcInfo.get();
        globals().isAdministrator = true;

        const auto records = qa_test::directSoundRecords();
        const std::uint32_t mixers = plat::audio().mixerGetNumDevs();
        storeDefaultDeviceEntry();
        int index = 0;
        for (const auto& r : records) {
            // One entry per render endpoint, each on a mixer that exists.
            if (index >= kAudioDeviceTableSize - 1 || static_cast<std::uint32_t>(index) >= mixers)
                break;
            const plat::String guid = guidText(r.deviceId);
            if (!std::any_of(endpoints_.begin(), endpoints_.end(),
                             [&](const auto& e) { return plat::equalsIgnoringCase(e.guid, guid); }))
                continue;
            const auto waveId = static_cast<std::uint32_t>(index++);
            const plat::String name =
                r.description + u" #" + plat::fromAscii(std::to_string(index));
            storeDeviceEntry(index, {waveId, guid, name, u""});
        }
        globals().audioDevices->count = index;
        ASSERT_GE(index, 2) << "two render devices are needed";
    }

    void TearDown() override {
        if (IsSkipped())
            return;
        endProcessObjects();
        fw::setResourceModule(savedResources_);
        plat::install(real_);
    }

    AudioDeviceEntry entry(int index) const {
        AudioDeviceEntry e;
        readDeviceEntry(index, e);
        return e;
    }

    plat::String defaultEndpoint(plat::EndpointRole role) const {
        plat::String id;
        inApartment([&] {
            plat::CoreAudio& core = plat::coreAudio();
            const plat::Handle enumerator = core.createDeviceEnumerator();
            EXPECT_GE(core.defaultRenderEndpoint(enumerator, role, id), 0);
            core.release(enumerator);
        });
        return id;
    }

    plat::String playbackDevice(const plat::String& target) const {
        plat::String device;
        inApartment([&] { device = info_->getPlaybackDevice(target); });
        return device;
    }

    plat::Platform real_;
    std::unique_ptr<qa_test::NoThreads> threads_;
    plat::Module savedResources_ = 0;
    PcInfo* info_ = nullptr;
};

TEST_F(WineSystemDefault, TheDefaultEndpointIsWinesDefaultOutputAndNamesItsTableEntry) {
    const SavedValue defaultOutput(kWinePulse, L"DefaultOutput");
    for (int i = 1; i <= 2; ++i) {
        const AudioDeviceEntry device = entry(i);
        const plat::String id =
            std::find_if(endpoints_.begin(), endpoints_.end(), [&](const auto& e) {
                return plat::equalsIgnoringCase(e.guid, device.guid);
            })->id;
        defaultOutput.set(wide(id));
        for (const auto role : kRoles)
            EXPECT_EQ(defaultEndpoint(role), id) << static_cast<int>(role);
        EXPECT_EQ(playbackDevice(u"Default"), device.name);
        EXPECT_EQ(playbackDevice(u"szDefaultAudioDevice"), device.name);
    }
}

TEST_F(WineSystemDefault, WithoutThePolicyConfigClassRoutingChangesOnlyThePlaybackValue) {
    inApartment([] {
        EXPECT_EQ(plat::coreAudio().createPolicyConfig(), 0u);
        EXPECT_EQ(makeDefaultEndpoint(u"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}"),
                  EndpointChange::NotAttempted);
    });
    const SavedValue defaultOutput(kWinePulse, L"DefaultOutput");
    const SavedValue playback(kSoundMapper, L"Playback");
    const AudioDeviceEntry first = entry(1);
    const AudioDeviceEntry second = entry(2);
    defaultOutput.set(wide(std::find_if(endpoints_.begin(), endpoints_.end(), [&](const auto& e) {
                               return plat::equalsIgnoringCase(e.guid, first.guid);
                           })->id));
    const plat::String before = defaultEndpoint(plat::EndpointRole::Console);

    // With no player running, the change brings its advice: answered as a user would.
    bool answered = false;
    int result = -1;
    std::thread user([&] {
        HWND box = nullptr;
        answered = qa_test::waitFor([&] {
                       box = ::FindWindowW(L"#32770", L"Restart Active Applications");
                       return box && ::IsWindowVisible(box);
                   }) &&
                   ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    inApartment([&] { result = info_->setPlaybackDevice(u" ", second.name, 0); });
    user.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(result, 1);

    plat::String mixerName;
    ASSERT_TRUE(plat::audio().mixerGetProductName(second.waveId, mixerName));
    EXPECT_EQ(playback.read(), wide(mixerName));
    EXPECT_EQ(defaultEndpoint(plat::EndpointRole::Console), before);
    EXPECT_EQ(playbackDevice(u"Default"), first.name);
}

} // namespace
