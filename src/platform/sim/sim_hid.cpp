// The HID port of the simulated PC: device interfaces in plug-in order, handles with their own
// input-report buffers, blocking reads that count as "blocked in the seam" for idle detection,
// cancellation from another thread, and writes handed to the device's firmware.
#include "sim_transmitter.h"

#include "text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

HidWorld& hidWorld(SimPc::Impl& w) {
    return static_cast<HidWorld&>(*w.hidPort);
}

const HidWorld& hidWorld(const SimPc::Impl& w) {
    return static_cast<const HidWorld&>(*w.hidPort);
}

// ==================================================================== the port

plat::Guid HidWorld::getHidGuid() {
    return kHidGuid;
}

plat::StringArray HidWorld::enumerateInterfaces(const plat::Guid& classGuid) {
    Lock lk(w_.m);
    plat::StringArray paths;
    if (classGuid != kHidGuid)
        return paths;
    for (const auto& c : present_)
        paths.push_back(spelledForEnumeration(c->path, w_.pathSpelling));
    return paths;
}

Handle HidWorld::open(const String& path) {
    Lock lk(w_.m);
    // Device paths, like every object-manager name here, ignore case.
    const String wanted = foldCase(path);
    auto it = std::find_if(present_.begin(), present_.end(),
                           [&](const auto& c) { return foldCase(c->path) == wanted; });
    if (it == present_.end() || !(*it)->openable)
        return 0;
    const Handle h = w_.nextHandle;
    w_.nextHandle += 4;
    auto open = std::make_shared<HidOpenHandle>();
    open->collection = *it;
    open->owner = w_.callerProcess(lk);
    handles_[h] = std::move(open);
    return h;
}

bool HidWorld::getAttributes(Handle device, plat::HidAttributes& attributes) {
    Lock lk(w_.m);
    auto it = handles_.find(device);
    if (it == handles_.end() || !it->second->collection->present)
        return false;
    attributes = it->second->collection->attributes;
    return true;
}

bool HidWorld::getCaps(Handle device, plat::HidCaps& caps) {
    Lock lk(w_.m);
    auto it = handles_.find(device);
    if (it == handles_.end() || !it->second->collection->present)
        return false;
    caps = it->second->collection->caps;
    return true;
}

bool HidWorld::read(Handle device, std::uint8_t* buffer, std::uint32_t length,
                    std::uint32_t& bytesRead, std::uint32_t& error) {
    bytesRead = 0;
    Lock lk(w_.m);
    ThreadRec* self = w_.current(lk);
    auto it = handles_.find(device);
    if (it == handles_.end()) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!buffer || length == 0) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    const std::shared_ptr<HidOpenHandle> h = it->second; // outlives a close during the read
    if (h->reader) {
        error = kErrorBusy;
        return false;
    }
    h->reader = self;
    h->readSerial = nextReadSerial_++;
    h->cancel = false;
    bool ok = false;
    for (;;) {
        if (h->closed) {
            error = ERROR_OPERATION_ABORTED;
            break;
        }
        // A report that is waiting wins over a cancellation: it is never lost.
        if (!h->queue.empty()) {
            const std::vector<std::uint8_t> report = std::move(h->queue.front());
            h->queue.pop_front();
            const std::size_t n = std::min<std::size_t>(length, report.size());
            if (n)
                std::memcpy(buffer, report.data(), n);
            bytesRead = static_cast<std::uint32_t>(n);
            error = ERROR_SUCCESS;
            ok = true;
            break;
        }
        if (!h->collection->present || asleep(*h->collection)) {
            error = ERROR_DEVICE_NOT_CONNECTED;
            break;
        }
        if (h->cancel || w_.ending) {
            error = ERROR_OPERATION_ABORTED;
            break;
        }
        w_.block(lk, self, BlockKind::DeviceRead, std::nullopt);
    }
    h->reader = nullptr;
    h->cancel = false;
    w_.cv.notify_all(); // cancelRead and close wait for this
    return ok;
}

void HidWorld::awaitReadEnd(Lock& lk, const std::shared_ptr<HidOpenHandle>& h, std::uint64_t serial,
                            const char* what) {
    const auto limit = std::chrono::steady_clock::now() + w_.settleBound;
    while (h->reader && h->readSerial == serial) {
        if (w_.cv.wait_until(lk, limit) == std::cv_status::timeout && h->reader &&
            h->readSerial == serial) {
            w_.fail(lk, std::string("simulated PC: HID ") + what + ": the pending read of " +
                            h->reader->label + " did not end");
            return;
        }
    }
}

void HidWorld::cancelRead(Handle device) {
    Lock lk(w_.m);
    ThreadRec* self = w_.current(lk);
    auto it = handles_.find(device);
    if (it == handles_.end())
        return;
    const std::shared_ptr<HidOpenHandle> h = it->second;
    // Like CancelIoEx: only a read in flight now is cancelled, never a later one.
    if (!h->reader || h->reader == self)
        return;
    h->cancel = true;
    w_.wake(h->reader, WakeReason::Woken);
    awaitReadEnd(lk, h, h->readSerial, "cancelRead");
}

bool HidWorld::write(Handle device, const std::uint8_t* buffer, std::uint32_t length,
                     std::uint32_t& bytesWritten) {
    bytesWritten = 0;
    Lock lk(w_.m);
    auto it = handles_.find(device);
    if (it == handles_.end() || !buffer)
        return false;
    const std::shared_ptr<HidCollection> c = it->second->collection;
    TransmitterRec* t = c->transmitter ? transmitter(c->transmitter) : nullptr;
    const std::string who =
        t ? "transmitter " + std::to_string(t->id) : "HID device " + narrow(c->path);
    if (!c->present || asleep(*c)) {
        w_.journal(who + ": write failed: ERROR_DEVICE_NOT_CONNECTED");
        return false;
    }
    // The class driver takes exactly one report of the declared output length.
    if (c->caps.outputReportByteLength == 0 || length != c->caps.outputReportByteLength) {
        w_.journal(who + ": write of " + std::to_string(length) +
                   " bytes failed: ERROR_INVALID_USER_BUFFER (declared output length " +
                   std::to_string(c->caps.outputReportByteLength) + ")");
        return false;
    }
    if (t && t->writesFail && c->role == HidCollectionRole::Vendor) {
        w_.journal(who + ": write failed: ERROR_GEN_FAILURE (the device stalled the report)");
        return false;
    }
    bytesWritten = length;
    if (!t || c->role != HidCollectionRole::Vendor)
        return true; // other devices take it and say nothing
    std::vector<Outgoing> replies;
    std::vector<std::string> notes;
    t->firmware->onOutputReport(buffer, length, w_.now, replies, notes);
    for (auto& line : notes)
        w_.journal(std::move(line));
    send(*t, std::move(replies));
    return true;
}

bool HidWorld::close(Handle device) {
    Lock lk(w_.m);
    ThreadRec* self = w_.current(lk);
    auto it = handles_.find(device);
    if (it == handles_.end())
        return false;
    const std::shared_ptr<HidOpenHandle> h = it->second;
    handles_.erase(it);
    h->closed = true;
    h->queue.clear();
    if (h->reader && h->reader != self) {
        w_.wake(h->reader, WakeReason::Woken);
        awaitReadEnd(lk, h, h->readSerial, "close");
    }
    return true;
}

} // namespace sim
