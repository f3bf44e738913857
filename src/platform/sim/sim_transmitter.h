// The inside of the simulated PC's HID devices: the HID port with the interfaces behind it
// (sim_hid.cpp) and the transmitter's firmware (sim_transmitter.cpp). Tests use sim_pc.h.
//
// Everything here is guarded by the world lock (SimPc::Impl::m), so a report that wakes a
// reader marks it running under the same lock that idle detection reads.
#pragma once

#include "sim_world.h"

#include <deque>
#include <map>
#include <memory>

namespace sim {

// Win32 error codes the port reports beyond those of constants.h.
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;

inline constexpr std::uint16_t kTransmitterVendorId = 0x0B7A;
inline constexpr std::uint16_t kTransmitterProductId = 0x0100;
inline constexpr std::uint16_t kVendorUsagePage = 0xFF00;
inline constexpr std::uint16_t kConsumerUsagePage = 0x000C;
inline constexpr std::size_t kVendorReportLength = 138;
// HidD_GetNumInputBuffers' default: reports a handle keeps for a reader that is not reading.
inline constexpr std::size_t kInputBuffersPerHandle = 32;

// One top-level collection, i.e. one HID device interface. A new object per plug-in: handles
// opened before a removal stay dead after the device returns.
struct HidCollection {
    String path;
    plat::HidAttributes attributes;
    plat::HidCaps caps;
    bool openable = true;
    bool present = true;
    TransmitterId transmitter = 0; // 0: another device
    HidCollectionRole role = HidCollectionRole::Vendor;
};

// One CreateFileW on an interface: its own buffer of input reports and at most one read.
struct HidOpenHandle {
    std::shared_ptr<HidCollection> collection;
    std::deque<std::vector<std::uint8_t>> queue;
    ThreadRec* reader = nullptr;  // the thread inside read(), if any
    std::uint64_t readSerial = 0; // tells one read from the next of the same thread
    bool cancel = false;          // cancelRead asked the current read to end
    bool closed = false;
    std::uint32_t owner = 0; // the process holding the handle
};

// A report the firmware sends: on which collection, the bytes, and a readable line.
struct Outgoing {
    HidCollectionRole role = HidCollectionRole::Vendor;
    std::vector<std::uint8_t> bytes;
    std::string what;
    bool exact = false; // sent as given (a raw report) instead of at the declared length
};

// The transmitter's own working: its database, link state and pairing mode, and its answers
// to the commands of the vendor protocol. It knows nothing of handles; it says what to send.
class TransmitterFirmware {
public:
    TransmitterFirmware(TransmitterId id, const TransmitterConfig& config);

    // One output report of the vendor collection (any length). Records the command.
    void onOutputReport(const std::uint8_t* bytes, std::size_t length, std::uint64_t now,
                        std::vector<Outgoing>& out, std::vector<std::string>& notes);
    std::vector<PairedDevice> pair(std::vector<NewRemote> remotes, std::vector<Outgoing>& out);
    void event(TransmitterEvent event, std::vector<Outgoing>& out);
    void mediaKey(std::uint8_t usageLowByte, bool release, std::vector<Outgoing>& out);
    void setDatabase(std::vector<PairedDevice> database);
    void setAnswersStartup(bool answers) { answersStartup_ = answers; }
    void hostGone(); // unplugged: whatever was going on with the host is over

    const std::vector<TransmitterCommand>& commands() const { return commands_; }
    const std::vector<PairedDevice>& database() const { return database_; }
    std::optional<PairedDevice> currentDevice() const;
    bool linked() const { return linked_ && currentDevice().has_value(); }
    bool pairingMode() const { return pairingMode_; }

private:
    void sendListing(std::uint8_t flags, std::vector<Outgoing>& out) const;
    std::string answer(const TransmitterCommand& c, std::optional<std::uint8_t> previous,
                       std::vector<Outgoing>& out);
    std::string answerStartup(std::optional<std::uint8_t> previous, std::vector<Outgoing>& out);
    std::string deleteDevice(const DeviceAddress& address, int index, std::vector<Outgoing>& out);
    void sendCurrent(std::vector<Outgoing>& out) const;
    int findAddress(const DeviceAddress& address) const;
    String defaultName(RemoteKind kind);
    DeviceAddress freshAddress();

    TransmitterId id_;
    std::size_t capacity_;
    std::array<std::uint8_t, 3> version_;
    String date_;
    bool answersStartup_;
    std::optional<std::int8_t> laterCountByte_;
    std::vector<PairedDevice> database_; // newest first
    std::optional<DeviceAddress> current_;
    bool linked_;
    bool pairingMode_ = false;
    std::optional<std::uint8_t> lastCode_; // of the previous report-id-2 command
    std::uint32_t addressSerial_ = 0;
    std::uint32_t nextReceiver_ = 1; // default names: a new remote never reuses a number
    std::uint32_t nextHeadphones_ = 1;
    std::vector<TransmitterCommand> commands_;
};

struct TransmitterRec {
    TransmitterId id = 0;
    TransmitterConfig config;
    std::unique_ptr<TransmitterFirmware> firmware;
    std::map<HidCollectionRole, String> paths; // the same at every plug-in
    std::map<HidCollectionRole, std::shared_ptr<HidCollection>> collections; // while plugged
    bool plugged = false;
    bool writesFail = false; // the vendor collection stalls every output report
    bool asleep = false;     // the PC sleeps: its collections answer nothing (setTransmitterAsleep)
};

struct ForeignHidRec {
    HidDeviceConfig config;
    std::shared_ptr<HidCollection> collection;
};

// {4D1E55B2-F16F-11CF-88CB-001111000030}, what HidD_GetHidGuid returns.
inline constexpr plat::Guid kHidGuid{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The HID port of the simulated PC and the devices plugged into it.
class HidWorld final : public plat::Hid {
public:
    explicit HidWorld(SimPc::Impl& w) : w_(w) {}

    plat::Guid getHidGuid() override;
    plat::StringArray enumerateInterfaces(const plat::Guid& classGuid) override;
    Handle open(const String& path) override;
    bool getAttributes(Handle device, plat::HidAttributes& attributes) override;
    bool getCaps(Handle device, plat::HidCaps& caps) override;
    bool read(Handle device, std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead,
              std::uint32_t& error) override;
    void cancelRead(Handle device) override;
    bool write(Handle device, const std::uint8_t* buffer, std::uint32_t length,
               std::uint32_t& bytesWritten) override;
    bool close(Handle device) override;

    // ------------------------------------------------------------ devices (lock held)
    // Each returns the interface paths whose arrival or removal must be announced.
    std::vector<String> plugTransmitter(TransmitterConfig config, TransmitterId& id);
    std::vector<String> unplugTransmitter(TransmitterId id);
    std::vector<String> replugTransmitter(TransmitterId id);
    std::vector<String> plugForeign(HidDeviceConfig config, HidDeviceId& id);
    std::vector<String> unplugForeign(HidDeviceId id);

    TransmitterRec* transmitter(TransmitterId id);
    const TransmitterRec* transmitter(TransmitterId id) const;
    // Sends what the firmware produced on the transmitter's collections.
    void send(TransmitterRec& t, std::vector<Outgoing> reports);
    // Open handles on a collection of a transmitter.
    std::vector<const HidOpenHandle*> handlesOf(TransmitterId id, HidCollectionRole role) const;
    // Every open handle, for the accounting.
    const std::map<Handle, std::shared_ptr<HidOpenHandle>>& openHandles() const { return handles_; }
    // The PC sleeps (or wakes) with the transmitter plugged in (SimPc::setTransmitterAsleep).
    void setAsleep(TransmitterId id, bool asleep);

private:
    bool asleep(const HidCollection& c) const;
    void present(std::shared_ptr<HidCollection> collection);
    void removed(const std::shared_ptr<HidCollection>& collection);
    std::vector<String> plugCollections(TransmitterRec& t);
    // Waits (bounded) until the read `serial` of `h` has returned.
    void awaitReadEnd(Lock& lk, const std::shared_ptr<HidOpenHandle>& h, std::uint64_t serial,
                      const char* what);

    SimPc::Impl& w_;
    std::vector<std::shared_ptr<HidCollection>> present_; // in plug-in order
    std::map<Handle, std::shared_ptr<HidOpenHandle>> handles_;
    std::map<TransmitterId, TransmitterRec> transmitters_;
    std::map<HidDeviceId, ForeignHidRec> foreign_;
    TransmitterId nextTransmitter_ = 1;
    HidDeviceId nextForeign_ = 1;
    std::uint64_t nextReadSerial_ = 1;
};

HidWorld& hidWorld(SimPc::Impl& w);
const HidWorld& hidWorld(const SimPc::Impl& w);

// Readable renderings for the journal.
std::string addressText(const DeviceAddress& address);
// A command code by the transmitter's own table; "Unknown(0xNN)" for one it does not know.
std::string commandName(std::uint8_t code);

} // namespace sim
