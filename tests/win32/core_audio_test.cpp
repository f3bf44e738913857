// Core Audio against Wine's, with real playback devices: scripts/wine-tests starts a private
// PulseAudio daemon whose null sinks Wine lists as render endpoints, and says in QA_AUDIO_SINKS
// how many it made. A run without it (no sound server, so no endpoint) skips what needs one.
//
// Wine gives its endpoints the GUIDs of their DirectSound devices, as Windows does, and keeps
// its default endpoint in its own "DefaultOutput" value. It has no policy-config class: what
// can be seen here of setting the default is the program's fallback to the sound mapper alone.
// What Wine cannot show at all is asked of stand-ins handed to the port (at the end).
#include <windows.h>

#include <mmdeviceapi.h>
#include <objbase.h>
#include <propidl.h>
#include <propsys.h>

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
#include "ProcessObjects.h"
#include "shown_texts.h"
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
                       box = ::FindWindowW(L"#32770", shown::wide::restartAppsCaption);
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

// ---------------------------------------------------------------- stand-ins behind the port
// What the port asks Core Audio and makes of the answers where Wine's endpoints cannot show it
// (Wine has neither unplugged endpoints nor USB adapters): a stand-in enumerator, handed to the
// port in place of the real one, answers as Windows does from endpoints of every state.

// The properties, in this test's own words.
constexpr PROPERTYKEY kEndpointGuidKey = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 4};
constexpr PROPERTYKEY kInstanceIdKey = {
    {0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}}, 256};
constexpr DWORD kActive = 0x1, kDisabled = 0x2, kNotPresent = 0x4, kUnplugged = 0x8;
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);

struct StandInEndpoint {
    std::wstring id;
    DWORD state = kActive;
    std::wstring guid;
    std::wstring instanceId; // its own, "SWD\MMDEVAPI\..."
};

LPWSTR taskText(const std::wstring& text) {
    auto* copy = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    std::copy(text.c_str(), text.c_str() + text.size() + 1, copy);
    return copy;
}

// IUnknown of the stand-ins: counted, deleted at the last release, asked for nothing else.
template <class Interface> class StandIn : public Interface {
public:
    virtual ~StandIn() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

private:
    ULONG refs_ = 1;
};

class StandInStore final : public StandIn<IPropertyStore> {
public:
    explicit StandInStore(StandInEndpoint endpoint) : endpoint_(std::move(endpoint)) {}
    HRESULT STDMETHODCALLTYPE GetCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        ::PropVariantInit(value);
        const std::wstring* text = nullptr;
        if (key.fmtid == kEndpointGuidKey.fmtid && key.pid == kEndpointGuidKey.pid)
            text = &endpoint_.guid;
        else if (key.fmtid == kInstanceIdKey.fmtid && key.pid == kInstanceIdKey.pid)
            text = &endpoint_.instanceId;
        if (text) {
            value->vt = VT_LPWSTR;
            value->pwszVal = taskText(*text);
        }
        return S_OK; // a property it lacks is VT_EMPTY
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return E_NOTIMPL; }

private:
    StandInEndpoint endpoint_;
};

// An endpoint whose device topology cannot be had yet, as while its device is arriving.
class StandInDevice final : public StandIn<IMMDevice> {
public:
    explicit StandInDevice(StandInEndpoint endpoint) : endpoint_(std::move(endpoint)) {}
    HRESULT STDMETHODCALLTYPE Activate(REFIID, DWORD, PROPVARIANT*, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** store) override {
        *store = new StandInStore(endpoint_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        *id = taskText(endpoint_.id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        *state = endpoint_.state;
        return S_OK;
    }

private:
    StandInEndpoint endpoint_;
};

class StandInCollection final : public StandIn<IMMDeviceCollection> {
public:
    explicit StandInCollection(std::vector<StandInEndpoint> endpoints)
        : endpoints_(std::move(endpoints)) {}
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        *count = static_cast<UINT>(endpoints_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT i, IMMDevice** device) override {
        *device = i < endpoints_.size() ? new StandInDevice(endpoints_[i]) : nullptr;
        return *device ? S_OK : E_INVALIDARG;
    }

private:
    std::vector<StandInEndpoint> endpoints_;
};

// Lists the endpoints of the states asked for, as Windows does, and records what was asked.
class StandInEnumerator final : public StandIn<IMMDeviceEnumerator> {
public:
    explicit StandInEnumerator(std::vector<StandInEndpoint> endpoints)
        : endpoints_(std::move(endpoints)) {}
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD states,
                                                 IMMDeviceCollection** out) override {
        askedFlow = flow;
        askedStates = states;
        std::vector<StandInEndpoint> listed;
        for (const auto& e : endpoints_)
            if (e.state & states)
                listed.push_back(e);
        *out = new StandInCollection(std::move(listed));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole, IMMDevice** out) override {
        *out = nullptr;
        return kNotFound;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** out) override {
        *out = nullptr;
        for (const auto& e : endpoints_)
            if (e.id == id)
                *out = new StandInDevice(e);
        return *out ? S_OK : kNotFound;
    }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }

    int askedFlow = -1;
    DWORD askedStates = 0;

private:
    std::vector<StandInEndpoint> endpoints_;
};

plat::Handle asHandle(IMMDeviceEnumerator* enumerator) {
    return reinterpret_cast<plat::Handle>(enumerator);
}

// The system default and re-routing choose among active endpoints only: one unplugged or
// disabled is never made the default.
TEST(CoreAudioPort, OnlyActiveRenderEndpointsAreListed) {
    auto* enumerator = new StandInEnumerator({{L"{0.0.0.00000000}.{a}", kUnplugged, L"{A}"},
                                              {L"{0.0.0.00000000}.{b}", kActive, L"{B}"},
                                              {L"{0.0.0.00000000}.{c}", kDisabled, L"{C}"},
                                              {L"{0.0.0.00000000}.{d}", kNotPresent, L"{D}"}});
    std::vector<plat::AudioEndpoint> endpoints;
    EXPECT_TRUE(plat::coreAudio().renderEndpoints(asHandle(enumerator), endpoints));
    EXPECT_EQ(enumerator->askedFlow, 0); // eRender
    EXPECT_EQ(enumerator->askedStates, kActive);
    ASSERT_EQ(endpoints.size(), 1u);
    EXPECT_EQ(endpoints[0].id, u"{0.0.0.00000000}.{b}");
    EXPECT_EQ(endpoints[0].guid, u"{B}");
    enumerator->Release();
}

// An endpoint whose device topology cannot be had (its device is still arriving) leads to no
// adapter: its own instance id, which names a software device on every PC, is not given in
// the adapter's place, or the answer "not the transmitter" would be kept for good.
TEST(CoreAudioPort, WithoutItsTopologyAnEndpointGivesNoInstanceId) {
    const std::wstring id = L"{0.0.0.00000000}.{5f0c}";
    auto* enumerator = new StandInEnumerator({{id, kActive, L"{5F0C}", L"SWD\\MMDEVAPI\\" + id}});
    plat::EndpointHardware hardware;
    EXPECT_TRUE(
        plat::coreAudio().endpointHardware(asHandle(enumerator), qa_test::u16(id), hardware));
    EXPECT_EQ(hardware.connectedDeviceId, u"");
    EXPECT_EQ(hardware.instanceId, u"");
    EXPECT_FALSE(plat::coreAudio().endpointHardware(asHandle(enumerator), u"{gone}", hardware));
    enumerator->Release();
}

} // namespace
