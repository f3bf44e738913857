#include <windows.h>

#include <objbase.h>

#include <devicetopology.h>
#include <mmdeviceapi.h>
#include <propidl.h>
#include <propsys.h>

#include "win32_internal.h"
#include "win32_raii.h"

namespace plat::win32 {

namespace {

// The identifiers are spelled out, as for DirectSound, so that no GUID library is linked.
constexpr GUID kClsidMMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr GUID kIidMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr GUID kIidDeviceTopology = {
    0x2A07407E, 0x6497, 0x4A18, {0x97, 0x87, 0x32, 0xF7, 0x9B, 0xD0, 0xD9, 0x8F}};
constexpr PROPERTYKEY kAudioEndpointGuid = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 4};
constexpr PROPERTYKEY kDeviceInstanceId = {
    {0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}}, 256};
constexpr GUID kClsidPolicyConfigClient = {
    0x870AF99C, 0x171D, 0x4F9E, {0xAF, 0x0D, 0xE6, 0x3D, 0xF4, 0x0C, 0x2B, 0xC9}};
constexpr GUID kIidPolicyConfig = {
    0xF8679F50, 0x850A, 0x41CF, {0x9C, 0x72, 0x43, 0x0F, 0x29, 0x02, 0x90, 0xC8}};

// The interface the system's own sound settings change the default endpoint through. No SDK
// declares it; this is its layout from Windows 7 on, as the widely used audio switchers
// declare it. Only SetDefaultEndpoint is called: the methods before it merely hold their
// slots, so their parameters are left untyped.
struct IPolicyConfig : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetMixFormat(PCWSTR, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceFormat(PCWSTR, INT, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetDeviceFormat(PCWSTR) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDeviceFormat(PCWSTR, void*, void*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessingPeriod(PCWSTR, INT, PINT64, PINT64) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProcessingPeriod(PCWSTR, PINT64) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShareMode(PCWSTR, void*) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShareMode(PCWSTR, void*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyValue(PCWSTR, const PROPERTYKEY&,
                                                       PROPVARIANT*) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPropertyValue(PCWSTR, const PROPERTYKEY&,
                                                       PROPVARIANT*) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(PCWSTR deviceId, ERole role) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEndpointVisibility(PCWSTR, INT) = 0;
};

// Ids and properties come from drivers: bounded before they are copied, as is the number of
// endpoints looked at.
constexpr std::size_t kMaxText = 1024;
constexpr UINT kMaxEndpoints = 256;

// A text the callee allocated with CoTaskMemAlloc: copied, then freed.
String takeTaskText(LPWSTR text) {
    String copy = text ? fromWide(text, kMaxText) : String();
    ::CoTaskMemFree(text);
    return copy;
}

String stringProperty(IPropertyStore* store, const PROPERTYKEY& key) {
    PROPVARIANT value;
    ::PropVariantInit(&value);
    String text;
    // A property the store lacks comes back as VT_EMPTY with S_OK.
    if (SUCCEEDED(store->GetValue(key, &value)) && value.vt == VT_LPWSTR)
        text = fromWide(value.pwszVal, kMaxText);
    ::PropVariantClear(&value);
    return text;
}

String instanceIdOf(IMMDevice* device) {
    ComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, store.put())))
        return {};
    return stringProperty(store.get(), kDeviceInstanceId);
}

IMMDeviceEnumerator* asEnumerator(Handle enumerator) {
    return reinterpret_cast<IMMDeviceEnumerator*>(enumerator);
}

} // namespace

bool Win32CoreAudio::enterApartment() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // S_FALSE: the thread already was in the multithreaded apartment; RPC_E_CHANGED_MODE: it is
    // in a single-threaded one. COM works on it either way.
    return SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
}

Handle Win32CoreAudio::createDeviceEnumerator() {
    void* enumerator = nullptr;
    // REGDB_E_CLASSNOTREG before Vista, CO_E_NOTINITIALIZED on a thread in no apartment.
    if (FAILED(::CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidMMDeviceEnumerator, &enumerator)))
        return 0;
    return reinterpret_cast<Handle>(enumerator);
}

bool Win32CoreAudio::renderEndpoints(Handle enumerator, std::vector<AudioEndpoint>& endpoints) {
    endpoints.clear();
    IMMDeviceEnumerator* devices = asEnumerator(enumerator);
    if (!devices)
        return false;
    ComPtr<IMMDeviceCollection> collection;
    UINT count = 0;
    if (FAILED(devices->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.put())) ||
        FAILED(collection->GetCount(&count)))
        return false;
    for (UINT i = 0; i < count && i < kMaxEndpoints; ++i) {
        // The collection is a snapshot, but an endpoint may still go while it is read.
        ComPtr<IMMDevice> device;
        LPWSTR id = nullptr;
        if (FAILED(collection->Item(i, device.put())) || FAILED(device->GetId(&id)))
            continue;
        AudioEndpoint endpoint;
        endpoint.id = takeTaskText(id);
        ComPtr<IPropertyStore> store;
        if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, store.put())))
            endpoint.guid = stringProperty(store.get(), kAudioEndpointGuid);
        endpoints.push_back(std::move(endpoint));
    }
    return true;
}

std::int32_t Win32CoreAudio::defaultRenderEndpoint(Handle enumerator, EndpointRole role,
                                                   String& id) {
    IMMDeviceEnumerator* devices = asEnumerator(enumerator);
    if (!devices)
        return E_POINTER;
    ComPtr<IMMDevice> device;
    HRESULT hr = devices->GetDefaultAudioEndpoint(eRender, static_cast<ERole>(role), device.put());
    if (FAILED(hr))
        return hr;
    LPWSTR text = nullptr;
    hr = device->GetId(&text);
    if (SUCCEEDED(hr))
        id = takeTaskText(text);
    return hr;
}

bool Win32CoreAudio::endpointHardware(Handle enumerator, const String& id, EndpointHardware& out) {
    out = EndpointHardware{};
    IMMDeviceEnumerator* devices = asEnumerator(enumerator);
    ComPtr<IMMDevice> endpoint;
    if (!devices || FAILED(devices->GetDevice(wide(id).c_str(), endpoint.put())))
        return false;
    // An endpoint's topology has one connector, joined to the adapter's kernel-streaming
    // filter: its device id is that filter's interface path behind a "{2}." prefix.
    ComPtr<IDeviceTopology> topology;
    ComPtr<IConnector> connector;
    LPWSTR connected = nullptr;
    if (SUCCEEDED(endpoint->Activate(kIidDeviceTopology, CLSCTX_ALL, nullptr, topology.out())) &&
        SUCCEEDED(topology->GetConnector(0, connector.put())) &&
        SUCCEEDED(connector->GetDeviceIdConnectedTo(&connected)))
        out.connectedDeviceId = takeTaskText(connected);
    // The endpoint's own instance id is no stand-in: it is "SWD\MMDEVAPI\..." on every PC.
    ComPtr<IMMDevice> adapter;
    if (!out.connectedDeviceId.empty() &&
        SUCCEEDED(devices->GetDevice(wide(out.connectedDeviceId).c_str(), adapter.put())))
        out.instanceId = instanceIdOf(adapter.get());
    return true;
}

Handle Win32CoreAudio::createPolicyConfig() {
    void* config = nullptr;
    // Missing before Windows 7 (another interface id there) and under Wine.
    if (FAILED(::CoCreateInstance(kClsidPolicyConfigClient, nullptr, CLSCTX_ALL, kIidPolicyConfig,
                                  &config)))
        return 0;
    return reinterpret_cast<Handle>(config);
}

std::int32_t Win32CoreAudio::setDefaultEndpoint(Handle policyConfig, const String& id,
                                                EndpointRole role) {
    auto* config = reinterpret_cast<IPolicyConfig*>(policyConfig);
    if (!config)
        return E_POINTER;
    return config->SetDefaultEndpoint(wide(id).c_str(), static_cast<ERole>(role));
}

void Win32CoreAudio::release(Handle object) {
    if (object)
        reinterpret_cast<IUnknown*>(object)->Release();
}

} // namespace plat::win32
