// Ports of the platform seam (see ports.h): HID devices, audio devices and Core Audio.
#pragma once

#include "constants.h"
#include "types.h"

#include <functional>
#include <vector>

namespace plat {

// ---------------------------------------------------------------- HID devices
struct HidAttributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

struct HidCaps {
    std::uint16_t usage = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;
};

class Hid {
public:
    virtual ~Hid() = default;
    virtual Guid getHidGuid() = 0;
    // SetupDiGetClassDevsW(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) and the interface paths of
    // its members, in enumeration order.
    virtual StringArray enumerateInterfaces(const Guid& classGuid) = 0;
    // CreateFileW(path, read/write, shared read/write, OPEN_EXISTING); 0 on failure.
    virtual Handle open(const String& path) = 0;
    virtual bool getAttributes(Handle device, HidAttributes& attributes) = 0;
    // HidD_GetPreparsedData + HidP_GetCaps + HidD_FreePreparsedData.
    virtual bool getCaps(Handle device, HidCaps& caps) = 0;
    // ReadFile: blocks until the device sends a report, the read is cancelled, or the device
    // goes away. False with `error` (ERROR_OPERATION_ABORTED after cancelRead).
    virtual bool read(Handle device, std::uint8_t* buffer, std::uint32_t length,
                      std::uint32_t& bytesRead, std::uint32_t& error) = 0;
    // Cancels a read pending on `device` from another thread and returns once it has ended.
    // A report that arrived first is still delivered to the reader.
    virtual void cancelRead(Handle device) = 0;
    // WriteFile; does not wait for the device's answer.
    virtual bool write(Handle device, const std::uint8_t* buffer, std::uint32_t length,
                       std::uint32_t& bytesWritten) = 0;
    virtual bool close(Handle device) = 0;
};

// ---------------------------------------------------------------- audio devices
// One record of DirectSound's private device enumeration (the wide-character layout).
struct DsDeviceDescription {
    std::uint32_t type = 0;     // 0 emulated, 1 VXD, 2 WDM
    std::uint32_t dataFlow = 0; // 0 render, 1 capture
    Guid deviceId;
    String description;
    String module;
    String interfacePath;
    std::uint32_t waveDeviceId = 0;
};

class Audio {
public:
    virtual ~Audio() = default;
    // The four set-up steps of one enumeration pass, as "dsound.dll" offers them; each
    // returns 0 on failure. Every object obtained is released with release().
    virtual Module loadDsound() = 0;                              // "dsound.dll", system folder
    virtual bool hasDllGetClassObject(Module dsound) = 0;         // GetProcAddress
    virtual Handle getClassFactory(Module dsound) = 0;            // CLSID_DirectSoundPrivate
    virtual Handle createPropertySet(Handle classFactory) = 0;    // IKsPropertySet
    // DSPROPERTY_DIRECTSOUNDDEVICE_ENUMERATE_W: calls `callback` once per record, in order,
    // on the calling thread, while it returns true.
    virtual bool enumerateDevices(Handle propertySet,
                                  const std::function<bool(const DsDeviceDescription&)>& callback) = 0;
    virtual void release(Handle object) = 0;
    virtual void freeDsound(Module dsound) = 0;
    virtual std::uint32_t mixerGetNumDevs() = 0;
    // mixerGetDevCapsW: the product name of mixer `id`; false when it cannot be read.
    virtual bool mixerGetProductName(std::uint32_t id, String& productName) = 0;
};

// ---------------------------------------------------------------- Core Audio
// Windows Vista and later keep a default render endpoint per role and no longer read the
// sound mapper's preferences; older Windows have none of this. HRESULTs are passed through
// as they come (negative: failure).

// ERole: the roles a default endpoint is kept for.
enum class EndpointRole : std::uint32_t { Console = 0, Multimedia = 1, Communications = 2 };

// An active render endpoint (IMMDevice).
struct AudioEndpoint {
    String id;   // IMMDevice::GetId, the key of every other call
    String guid; // PKEY_AudioEndpoint_GUID: its DirectSound device GUID as "{...}"; may be empty
};

// What leads from an endpoint down to the hardware it plays on; each text is empty where the
// system does not give it (as while the device is still arriving).
struct EndpointHardware {
    // The device its device topology's first connector is connected to
    // (IConnector::GetDeviceIdConnectedTo), e.g. "{2}.\\?\usb#vid_...#{...}\global".
    String connectedDeviceId;
    // PKEY_Device_InstanceId of that device, the audio adapter, e.g. "USB\VID_...\...". Never
    // the endpoint's own ("SWD\MMDEVAPI\..."), which tells nothing of the hardware.
    String instanceId;
};

class CoreAudio {
public:
    virtual ~CoreAudio() = default;
    // CoInitializeEx(COINIT_MULTITHREADED) for a thread the program started itself: COM needs
    // it on every thread that uses it. True when the thread can use COM afterwards (also when
    // it already was in an apartment). Never undone: such a thread lives as long as the process.
    virtual bool enterApartment() = 0;
    // CoCreateInstance(MMDeviceEnumerator); 0 where Core Audio does not exist (older Windows)
    // or the calling thread is in no apartment. Released with release().
    virtual Handle createDeviceEnumerator() = 0;
    // EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE): each endpoint's id and GUID, in the
    // collection's order. False when there is no collection.
    virtual bool renderEndpoints(Handle enumerator, std::vector<AudioEndpoint>& endpoints) = 0;
    // GetDefaultAudioEndpoint(eRender, role) and that endpoint's id; the HRESULT (E_NOTFOUND
    // when there is no render endpoint).
    virtual std::int32_t defaultRenderEndpoint(Handle enumerator, EndpointRole role,
                                               String& id) = 0;
    // The hardware under endpoint `id`: false when the endpoint cannot be opened.
    virtual bool endpointHardware(Handle enumerator, const String& id, EndpointHardware& out) = 0;
    // CoCreateInstance of the policy-config class through which the system's own sound settings
    // change the default endpoint (undocumented, Windows 7 and later); 0 where it is missing.
    virtual Handle createPolicyConfig() = 0;
    // IPolicyConfig::SetDefaultEndpoint(id, role): the HRESULT.
    virtual std::int32_t setDefaultEndpoint(Handle policyConfig, const String& id,
                                            EndpointRole role) = 0;
    virtual void release(Handle object) = 0;
};

} // namespace plat
