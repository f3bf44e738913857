// A transmitter for the Win32 tier, where Wine has none: the HID port of one present
// transmitter with its vendor and consumer-control collections. Reads deliver the reports a
// test queued and otherwise block until they are cancelled or the handle is closed, as the
// real port's overlapped reads do; writes are taken and counted. With it the program's own
// link, forwarder and their threads run against the real Windows of everything else.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ports.h"

namespace qa_test {

class StandInTransmitter final : public plat::Hid {
public:
    static constexpr std::uint16_t kVendorUsagePage = 0xFF00;
    static constexpr std::uint16_t kConsumerUsagePage = 0x000C;

    const plat::String vendorPath = u"\\\\?\\hid#vid_0b7a&pid_0100&mi_03&col01#7&5a5a5a5a&0&0000#"
                                    u"{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const plat::String consumerPath = u"\\\\?\\hid#vid_0b7a&pid_0100&mi_03&col02#7&5a5a5a5a&0&0001#"
                                      u"{4d1e55b2-f16f-11cf-88cb-001111000030}";

    // A report on the consumer-control collection, for every handle open on it, or for the
    // next one opened when none is.
    void queueConsumerReport(std::vector<std::uint8_t> report) {
        std::lock_guard<std::mutex> lock(m_);
        bool delivered = false;
        for (auto& [handle, h] : handles_)
            if (h->usagePage == kConsumerUsagePage) {
                h->queue.push_back(report);
                delivered = true;
            }
        if (!delivered)
            pendingConsumer_.push_back(std::move(report));
        cv_.notify_all();
    }
    // Reads begun so far on a collection, and writes taken on the vendor collection.
    int readsStarted(std::uint16_t usagePage) const {
        std::lock_guard<std::mutex> lock(m_);
        return usagePage == kConsumerUsagePage ? consumerReads_ : vendorReads_;
    }
    int writes() const {
        std::lock_guard<std::mutex> lock(m_);
        return writes_;
    }

    plat::Guid getHidGuid() override {
        return plat::Guid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    }
    plat::StringArray enumerateInterfaces(const plat::Guid&) override {
        return {vendorPath, consumerPath};
    }
    plat::Handle open(const plat::String& path) override {
        std::lock_guard<std::mutex> lock(m_);
        auto h = std::make_shared<OpenHandle>();
        if (path == vendorPath) {
            h->usagePage = kVendorUsagePage;
        } else if (path == consumerPath) {
            h->usagePage = kConsumerUsagePage;
            h->queue.assign(pendingConsumer_.begin(), pendingConsumer_.end());
            pendingConsumer_.clear();
        } else {
            return 0;
        }
        const plat::Handle handle = next_ += 4;
        handles_[handle] = std::move(h);
        return handle;
    }
    bool getAttributes(plat::Handle device, plat::HidAttributes& attributes) override {
        std::lock_guard<std::mutex> lock(m_);
        if (!handles_.count(device))
            return false;
        attributes = {0x0B7A, 0x0100, 0x0100};
        return true;
    }
    bool getCaps(plat::Handle device, plat::HidCaps& caps) override {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = handles_.find(device);
        if (it == handles_.end())
            return false;
        caps = {};
        caps.usage = 1;
        caps.usagePage = it->second->usagePage;
        const bool vendor = caps.usagePage == kVendorUsagePage;
        caps.inputReportByteLength = vendor ? 138 : 3;
        caps.outputReportByteLength = vendor ? 138 : 0;
        return true;
    }
    bool read(plat::Handle device, std::uint8_t* buffer, std::uint32_t length,
              std::uint32_t& bytesRead, std::uint32_t& error) override {
        bytesRead = 0;
        std::unique_lock<std::mutex> lock(m_);
        const auto it = handles_.find(device);
        if (it == handles_.end()) {
            error = ERROR_INVALID_HANDLE;
            return false;
        }
        const std::shared_ptr<OpenHandle> h = it->second;
        ++(h->usagePage == kConsumerUsagePage ? consumerReads_ : vendorReads_);
        h->reading = true;
        cv_.wait(lock, [&] { return !h->queue.empty() || h->cancel || h->closed; });
        h->reading = false;
        const bool delivered = !h->queue.empty() && !h->closed;
        if (delivered) {
            const std::vector<std::uint8_t> report = std::move(h->queue.front());
            h->queue.pop_front();
            bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(length, report.size()));
            std::memcpy(buffer, report.data(), bytesRead);
            error = ERROR_SUCCESS;
        } else {
            error = ERROR_OPERATION_ABORTED;
        }
        h->cancel = false;
        cv_.notify_all();
        return delivered;
    }
    void cancelRead(plat::Handle device) override {
        std::unique_lock<std::mutex> lock(m_);
        const auto it = handles_.find(device);
        if (it == handles_.end() || !it->second->reading)
            return; // like CancelIoEx: only a read pending now
        const std::shared_ptr<OpenHandle> h = it->second;
        h->cancel = true;
        cv_.notify_all();
        cv_.wait(lock, [&] { return !h->reading; });
    }
    bool write(plat::Handle device, const std::uint8_t*, std::uint32_t length,
               std::uint32_t& bytesWritten) override {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = handles_.find(device);
        if (it == handles_.end() || it->second->usagePage != kVendorUsagePage || length != 138)
            return false;
        ++writes_;
        bytesWritten = length;
        return true;
    }
    bool close(plat::Handle device) override {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = handles_.find(device);
        if (it == handles_.end())
            return false;
        it->second->closed = true;
        handles_.erase(it);
        cv_.notify_all();
        return true;
    }

private:
    struct OpenHandle {
        std::uint16_t usagePage = 0;
        std::deque<std::vector<std::uint8_t>> queue;
        bool reading = false;
        bool cancel = false;
        bool closed = false;
    };
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::map<plat::Handle, std::shared_ptr<OpenHandle>> handles_;
    std::deque<std::vector<std::uint8_t>> pendingConsumer_; // for the next consumer handle
    plat::Handle next_ = 0x7000;
    int consumerReads_ = 0;
    int vendorReads_ = 0;
    int writes_ = 0;
};

} // namespace qa_test
