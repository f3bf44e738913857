#include <windows.h>

#include <setupapi.h>
// mingw-w64's HID headers declare C functions without C linkage.
extern "C" {
#include <hidsdi.h> // and, after the types it needs, hidpi.h
}

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "win32_internal.h"
#include "win32_raii.h"

namespace plat::win32 {

namespace {

// Bounds on what the device-setup enumeration may hand us.
constexpr DWORD kMaxInterfaces = 4096;
constexpr DWORD kMaxDetailBytes = 64 * 1024;
// A HID output report completes in milliseconds; a write stuck longer is cancelled.
constexpr DWORD kWriteTimeoutMs = 5000;

// One open HID interface. The handle is overlapped so that a read pending on the reader
// thread can be cancelled from another thread and a write never queues behind it (on a
// synchronous handle it would). Each direction owns its OVERLAPPED and event.
struct Device {
    UniqueHandle file;
    UniqueHandle readEvent;
    UniqueHandle writeEvent;
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{};

    std::mutex lock;
    std::condition_variable readEnded;
    bool reading = false; // a ReadFile on readOverlapped has been issued and not yet collected

    std::mutex writeLock;
};

Device* toDevice(Handle h) {
    return reinterpret_cast<Device*>(h);
}

struct DeviceInfoSet {
    HDEVINFO set;
    explicit DeviceInfoSet(HDEVINFO s) : set(s) {}
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    ~DeviceInfoSet() {
        if (set != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(set);
    }
};

} // namespace

Guid Win32Hid::getHidGuid() {
    GUID guid;
    ::HidD_GetHidGuid(&guid);
    return fromGuid(guid);
}

StringArray Win32Hid::enumerateInterfaces(const Guid& classGuid) {
    StringArray paths;
    GUID guid = toGuid(classGuid);
    DeviceInfoSet info(
        ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (info.set == INVALID_HANDLE_VALUE)
        return paths;

    constexpr DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    for (DWORD index = 0; index < kMaxInterfaces; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof(data);
        if (!::SetupDiEnumDeviceInterfaces(info.set, nullptr, &guid, index, &data))
            break;

        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailW(info.set, &data, nullptr, 0, &required, nullptr);
        if (required <= pathOffset || required > kMaxDetailBytes)
            continue;
        // The record starts with a DWORD; a DWORD vector keeps it aligned.
        std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        // cbSize is the size of the fixed part as this platform lays it out, not `required`.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!::SetupDiGetDeviceInterfaceDetailW(info.set, &data, detail, required, nullptr,
                                                nullptr))
            continue;
        paths.push_back(fromWide(detail->DevicePath, (required - pathOffset) / sizeof(wchar_t)));
    }
    return paths;
}

Handle Win32Hid::open(const String& path) {
    auto device = std::make_unique<Device>();
    device->file.reset(::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr));
    if (!device->file)
        return 0;
    // Manual-reset: GetOverlappedResult(..., TRUE) waits on them and ReadFile/WriteFile
    // reset them when the next operation begins.
    device->readEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    device->writeEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!device->readEvent || !device->writeEvent)
        return 0;
    return reinterpret_cast<Handle>(device.release());
}

bool Win32Hid::getAttributes(Handle device, HidAttributes& attributes) {
    Device* d = toDevice(device);
    if (!d)
        return false;
    HIDD_ATTRIBUTES record{};
    record.Size = sizeof(record);
    if (!::HidD_GetAttributes(d->file.get(), &record))
        return false;
    attributes.vendorId = record.VendorID;
    attributes.productId = record.ProductID;
    attributes.versionNumber = record.VersionNumber;
    return true;
}

bool Win32Hid::getCaps(Handle device, HidCaps& caps) {
    Device* d = toDevice(device);
    if (!d)
        return false;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!::HidD_GetPreparsedData(d->file.get(), &preparsed))
        return false;
    HIDP_CAPS record{};
    const NTSTATUS status = ::HidP_GetCaps(preparsed, &record);
    ::HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS)
        return false;
    caps = fromHidpCaps(record);
    return true;
}

HidCaps fromHidpCaps(const HIDP_CAPS& record) {
    HidCaps caps;
    caps.usage = record.Usage;
    caps.usagePage = record.UsagePage;
    caps.inputReportByteLength = record.InputReportByteLength;
    caps.outputReportByteLength = record.OutputReportByteLength;
    caps.featureReportByteLength = record.FeatureReportByteLength;
    return caps;
}

bool Win32Hid::read(Handle device, std::uint8_t* buffer, std::uint32_t length,
                    std::uint32_t& bytesRead, std::uint32_t& error) {
    bytesRead = 0;
    Device* d = toDevice(device);
    if (!d || !buffer) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    {
        // ReadFile is issued under the lock, so cancelRead either finds no read or one it can
        // cancel.
        std::lock_guard<std::mutex> guard(d->lock);
        if (d->reading) {
            error = ERROR_BUSY;
            return false;
        }
        d->readOverlapped = OVERLAPPED{};
        d->readOverlapped.hEvent = d->readEvent.get();
        if (!::ReadFile(d->file.get(), buffer, length, nullptr, &d->readOverlapped)) {
            const DWORD started = ::GetLastError();
            if (started != ERROR_IO_PENDING) {
                error = started;
                return false;
            }
        }
        d->reading = true;
    }
    // Waits for a report, a cancellation or the device's removal. A report that completes
    // as the read is cancelled arrives here as a success and is delivered.
    DWORD transferred = 0;
    const BOOL ok = ::GetOverlappedResult(d->file.get(), &d->readOverlapped, &transferred, TRUE);
    error = ok ? ERROR_SUCCESS : ::GetLastError();
    bytesRead = transferred;
    // Notified under the lock: once cancelRead or close may proceed, this thread no longer
    // touches the device.
    std::lock_guard<std::mutex> guard(d->lock);
    d->reading = false;
    d->readEnded.notify_all();
    return ok;
}

void Win32Hid::cancelRead(Handle device) {
    Device* d = toDevice(device);
    if (!d)
        return;
    std::unique_lock<std::mutex> guard(d->lock);
    if (!d->reading)
        return;
    // CancelIoEx with this OVERLAPPED: CancelIo would cancel only the calling thread's I/O.
    ::CancelIoEx(d->file.get(), &d->readOverlapped);
    // The buffer and the OVERLAPPED stay in use until the reader has collected the result.
    d->readEnded.wait(guard, [d] { return !d->reading; });
}

bool Win32Hid::write(Handle device, const std::uint8_t* buffer, std::uint32_t length,
                     std::uint32_t& bytesWritten) {
    bytesWritten = 0;
    Device* d = toDevice(device);
    if (!d || !buffer) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::lock_guard<std::mutex> guard(d->writeLock);
    d->writeOverlapped = OVERLAPPED{};
    d->writeOverlapped.hEvent = d->writeEvent.get();
    if (!::WriteFile(d->file.get(), buffer, length, nullptr, &d->writeOverlapped)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return false;
        if (::WaitForSingleObject(d->writeEvent.get(), kWriteTimeoutMs) != WAIT_OBJECT_0)
            ::CancelIoEx(d->file.get(), &d->writeOverlapped);
    }
    // Collect the result (or the cancellation) before the OVERLAPPED can be reused.
    DWORD transferred = 0;
    const BOOL ok = ::GetOverlappedResult(d->file.get(), &d->writeOverlapped, &transferred, TRUE);
    bytesWritten = transferred;
    return ok;
}

bool Win32Hid::close(Handle device) {
    Device* d = toDevice(device);
    if (!d)
        return false;
    // A read still pending would complete into freed memory.
    cancelRead(device);
    delete d;
    return true;
}

} // namespace plat::win32
