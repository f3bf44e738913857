#include <windows.h>

#include <mmsystem.h> // before dsound.h, which needs WAVEFORMATEX
#include <objbase.h>

#include <dsconf.h>
#include <dsound.h>

#include "win32_internal.h"

namespace plat::win32 {

namespace {

// The identifiers of DirectSound's private device enumeration, spelled out so that no
// GUID library needs to be linked.
constexpr GUID kClsidDirectSoundPrivate = {
    0x11AB3EC0, 0x25EC, 0x11D1, {0xA4, 0xD8, 0x00, 0xC0, 0x4F, 0xC2, 0x8A, 0xCA}};
constexpr GUID kIidClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidKsPropertySet = {
    0x31EFAC30, 0x515C, 0x11D0, {0xA9, 0xAA, 0x00, 0xAA, 0x00, 0x61, 0xBE, 0x93}};
constexpr GUID kPropsetDirectSoundDevice = {
    0x84624F82, 0x25EC, 0x11D1, {0xA4, 0xD8, 0x00, 0xC0, 0x4F, 0xC2, 0x8A, 0xCA}};
constexpr ULONG kPropertyEnumerateW = 8; // DSPROPERTY_DIRECTSOUNDDEVICE_ENUMERATE_W

using DescriptionW = DSPROPERTY_DIRECTSOUNDDEVICE_DESCRIPTION_W_DATA;
using EnumerateW = DSPROPERTY_DIRECTSOUNDDEVICE_ENUMERATE_W_DATA;

using DllGetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// Texts in the records come from the driver: bounded before they are copied.
constexpr std::size_t kMaxRecordText = 1024;

String recordText(const wchar_t* text) {
    return text ? fromWide(text, kMaxRecordText) : String();
}

struct EnumerationContext {
    const std::function<bool(const DsDeviceDescription&)>* callback;
};

BOOL CALLBACK enumerateOne(DescriptionW* record, void* context) {
    if (!record)
        return TRUE;
    DsDeviceDescription out;
    out.type = static_cast<std::uint32_t>(record->Type);
    out.dataFlow = static_cast<std::uint32_t>(record->DataFlow);
    out.deviceId = fromGuid(record->DeviceId);
    out.description = recordText(record->Description);
    out.module = recordText(record->Module);
    out.interfacePath = recordText(record->Interface);
    out.waveDeviceId = record->WaveDeviceId;
    const auto& callback = *static_cast<EnumerationContext*>(context)->callback;
    return callback(out) ? TRUE : FALSE;
}

DllGetClassObjectFn classObjectEntry(Module dsound) {
    if (!dsound)
        return nullptr;
    return reinterpret_cast<DllGetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(toModule(dsound), "DllGetClassObject")));
}

} // namespace

Module Win32Audio::loadDsound() {
    return fromModule(loadSystemLibrary(L"dsound.dll"));
}

bool Win32Audio::hasDllGetClassObject(Module dsound) {
    return classObjectEntry(dsound) != nullptr;
}

Handle Win32Audio::getClassFactory(Module dsound) {
    const DllGetClassObjectFn entry = classObjectEntry(dsound);
    if (!entry)
        return 0;
    void* factory = nullptr;
    if (FAILED(entry(kClsidDirectSoundPrivate, kIidClassFactory, &factory)))
        return 0;
    return reinterpret_cast<Handle>(factory);
}

Handle Win32Audio::createPropertySet(Handle classFactory) {
    auto* factory = reinterpret_cast<IClassFactory*>(classFactory);
    if (!factory)
        return 0;
    void* propertySet = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, kIidKsPropertySet, &propertySet)))
        return 0;
    return reinterpret_cast<Handle>(propertySet);
}

bool Win32Audio::enumerateDevices(Handle propertySet,
                                  const std::function<bool(const DsDeviceDescription&)>& callback) {
    auto* set = reinterpret_cast<IKsPropertySet*>(propertySet);
    if (!set)
        return false;
    EnumerationContext context{&callback};
    EnumerateW data{enumerateOne, &context};
    ULONG returned = 0;
    const HRESULT hr = set->Get(kPropsetDirectSoundDevice, kPropertyEnumerateW, nullptr, 0, &data,
                                sizeof(data), &returned);
    return SUCCEEDED(hr);
}

void Win32Audio::release(Handle object) {
    if (object)
        reinterpret_cast<IUnknown*>(object)->Release();
}

void Win32Audio::freeDsound(Module dsound) {
    if (dsound)
        ::FreeLibrary(toModule(dsound));
}

std::uint32_t Win32Audio::mixerGetNumDevs() {
    return ::mixerGetNumDevs();
}

bool Win32Audio::mixerGetProductName(std::uint32_t id, String& productName) {
    MIXERCAPSW caps{};
    if (::mixerGetDevCapsW(id, &caps, sizeof(caps)) != MMSYSERR_NOERROR)
        return false;
    productName = fromWide(caps.szPname, std::size(caps.szPname));
    return true;
}

} // namespace plat::win32
