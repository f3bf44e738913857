// libFuzzer target: arbitrary input reports and listing sequences, fed to the report decoder
// and the paired-device list the way the reader thread and the user interface use them,
// without any platform I/O. Checks that nothing reads out of bounds (AddressSanitizer) and
// that the list keeps its promises: at most 128 devices, names of at most 32 code units, a
// listing countdown within its bounds, the "no device" address outside the list, and names
// that survive the trip back to the transmitter unchanged.
//
// The two modules are compiled into this target rather than taken from qa_program, so that
// the fuzzer's coverage instrumentation (applied to this target only) sees their branches.
#include "PairedDevices.cpp"
#include "VendorProtocol.cpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::span<const std::uint8_t> bytes(std::size_t n) {
        n = std::min(n, size_ - at_);
        std::span<const std::uint8_t> out(data_ + at_, n);
        at_ += n;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

// What the transmitter makes of a name the program sends.
void checkRoundTrip(const plat::String& name) {
    std::array<std::uint8_t, vendor::kReportSize> out{};
    vendor::encodeCommand(out, vendor::Command::SetDeviceName, name, nullptr);
    const auto* field = reinterpret_cast<const char*>(out.data() + vendor::kOutName);
    const std::size_t length = std::find(field, field + vendor::kNameFieldSize, '\0') - field;
    check(length < vendor::kNameFieldSize); // always NUL-terminated
    check(plat::fromUtf8(std::string_view(field, length)) == name);
}

void checkList(const PairedDevices& list) {
    const auto devices = list.devices();
    check(devices.size() <= 128);
    for (const auto& d : devices)
        check(d.name.size() <= vendor::kMaxNameLength);
    const std::int32_t remaining = list.listingRemaining();
    check(remaining >= -1 && remaining <= 128 && remaining != 0);
    check(list.addressAt(-1) == kNoDeviceAddress);
    check(list.addressAt(static_cast<std::int32_t>(devices.size())) == kNoDeviceAddress);
}

// The reader's handling of one report, as far as the list and the decoder go.
void handle(PairedDevices& list, std::span<const std::uint8_t> received) {
    std::array<std::uint8_t, vendor::kReportSize> buffer;
    buffer.fill(0xFF);
    std::copy_n(received.begin(), std::min(received.size(), buffer.size()), buffer.begin());
    const vendor::DecodedReport r = vendor::decodeReport(buffer);
    check(r.name.size() <= vendor::kMaxNameLength);
    check(r.count >= -127 && r.count <= 128);
    checkRoundTrip(r.name);
    switch (vendor::replyKind(r.flags)) {
    case vendor::ReplyKind::ListCleared:
        list.clear();
        break;
    case vendor::ReplyKind::CurrentDevice:
        list.setCurrentName(r.name);
        break;
    case vendor::ReplyKind::FirmwareVersion:
        check(!vendor::firmwareText(r).empty());
        break;
    case vendor::ReplyKind::ListingEntry:
        list.receiveListingEntry(r.count, r.name, r.address, r.flags);
        break;
    default:
        break;
    }
}

plat::String nameFrom(Input& in) {
    const auto bytes = in.bytes(in.byte() % 48);
    return plat::fromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    PairedDevices list;
    while (!in.empty()) {
        switch (in.byte() % 8) {
        case 0:
        case 1:
        case 2: // one report as received, of any length
            handle(list, in.bytes(in.byte()));
            break;
        case 3: { // a well-formed listing, newest first, possibly from pairing
            const std::uint8_t n = in.byte() % 24;
            const std::uint8_t flags = in.byte() & vendor::Flag::FromPairing;
            for (std::uint8_t i = 0; i < n; ++i) {
                const DeviceAddress address{0, 0, 0, 0, i, n};
                list.receiveListingEntry(n - i, u"D" + plat::String(1, u'a' + i % 26), address,
                                         flags);
            }
            break;
        }
        case 4: // the controller's processNewDevices
            list.orderListingIfNotPairing();
            list.setPairingIdle();
            break;
        case 5: { // the user renames a device by the rules
            const auto names = list.names();
            if (names.empty())
                break;
            const plat::String present = names[in.byte() % names.size()];
            const NameCheck c = checkDeviceName(nameFrom(in), present, names);
            if (c.verdict == NameVerdict::Rename) {
                check(!c.name.empty() && c.name.size() <= vendor::kMaxNameLength);
                list.rename(present, c.name);
            }
            break;
        }
        case 6: { // the user deletes a device (the write succeeds or not)
            const auto names = list.names();
            const plat::String name = names.empty() ? nameFrom(in) : names[in.byte() % names.size()];
            const std::size_t before = names.size();
            const bool written = in.byte() & 1;
            list.afterDelete(name, written);
            check(list.size() == before - (written && !names.empty() ? 1 : 0));
            if (list.size() == 0)
                check(list.currentName().empty());
            break;
        }
        default: // the user selects a device
            list.setCurrentName(nameFrom(in));
            break;
        }
        checkList(list);
    }
    return 0;
}
