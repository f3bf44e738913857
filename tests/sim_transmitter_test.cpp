// The simulated PC's HID devices and the virtual transmitter: discovery, plug and unplug
// notifications, blocking reads with cancellation and removal, per-handle report buffers,
// and the firmware's answers to the vendor commands.
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using sim::DeviceAddress;
using sim::HidCollectionRole;
using sim::PairedDevice;
using sim::TransmitterEvent;
using Report = std::vector<std::uint8_t>;

const DeviceAddress kA{0x10, 0x20, 0x30, 0x40, 0x50, 0x01};
const DeviceAddress kB{0x10, 0x20, 0x30, 0x40, 0x50, 0x02};
const DeviceAddress kC{0x10, 0x20, 0x30, 0x40, 0x50, 0x03};
const std::string kKitchenUtf8 = "K\xC3\xBC"
                                 "che";

struct ReadResult {
    bool ok = false;
    std::uint32_t bytes = 0;
    std::uint32_t error = 0;
    std::array<std::uint8_t, 140> data{};
};

// One read on a thread of the simulated program, so idle detection sees it blocked.
class PendingRead {
public:
    explicit PendingRead(plat::Handle device, std::uint32_t length = 138) {
        result_.data.fill(0xFF);
        thread_ = plat::threads().startThread([this, device, length] {
            result_.ok =
                plat::hid().read(device, result_.data.data(), length, result_.bytes, result_.error);
        });
    }
    ~PendingRead() { plat::threads().closeHandle(thread_); }
    bool ended() { return plat::threads().waitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }
    const ReadResult& result() { return result_; }

private:
    plat::Handle thread_ = 0;
    ReadResult result_;
};

// The 138-byte command layout the program writes.
Report command(std::uint8_t code, const std::string& utf8Name = {}, DeviceAddress address = {}) {
    Report r(138, 0);
    r[0] = 2;
    r[1] = code;
    std::copy(utf8Name.begin(), utf8Name.end(), r.begin() + 2);
    std::copy(address.begin(), address.end(), r.begin() + 130);
    return r;
}

std::string nameOf(const Report& r) {
    std::string s;
    for (std::size_t i = 3; i < 131 && i < r.size() && r[i]; ++i)
        s += static_cast<char>(r[i]);
    return s;
}

DeviceAddress addressOf(const Report& r) {
    DeviceAddress a{};
    std::copy(r.begin() + 131, r.begin() + 137, a.begin());
    return a;
}

class SimTransmitter : public testing::Test {
protected:
    sim::SimPc pc;
    plat::Hid& hid = *pc.bundle().hid;

    void SetUp() override { pc.install(); }
    void TearDown() override {
        pc.endProcess();
        EXPECT_TRUE(pc.failures().empty()) << pc.failures().front();
    }

    plat::Handle open(sim::TransmitterId id, HidCollectionRole role = HidCollectionRole::Vendor) {
        return hid.open(pc.transmitterPath(id, role));
    }

    bool write(plat::Handle h, Report r) {
        std::uint32_t written = 0;
        const bool ok = hid.write(h, r.data(), static_cast<std::uint32_t>(r.size()), written);
        EXPECT_EQ(written, ok ? r.size() : 0u);
        return ok;
    }

    // Every report waiting in `h` (the only open handle of the collection); never blocks.
    std::vector<Report> drain(sim::TransmitterId id, plat::Handle h,
                              HidCollectionRole role = HidCollectionRole::Vendor) {
        std::vector<Report> out;
        while (pc.transmitterQueuedReports(id, role) > 0) {
            Report r(138);
            std::uint32_t bytes = 0, error = 0;
            if (!hid.read(h, r.data(), 138, bytes, error))
                break;
            r.resize(bytes);
            out.push_back(std::move(r));
        }
        return out;
    }

    bool journalHas(const std::string& line) {
        const auto j = pc.journal();
        return std::find(j.begin(), j.end(), line) != j.end();
    }
};

// ==================================================================== discovery

TEST_F(SimTransmitter, ATransmitterIsOneDeviceWithAVendorAndAConsumerCollection) {
    EXPECT_TRUE(hid.enumerateInterfaces(hid.getHidGuid()).empty());
    const auto id = pc.plugTransmitter();
    // Enumeration spells paths in lower case, as Windows 10 and 11 do.
    const plat::String vendor = u"\\\\?\\hid#vid_0b7a&pid_0100&mi_03&col01#7&1a2b3c4d&0&0000#"
                                u"{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const plat::String consumer = pc.transmitterPath(id, HidCollectionRole::Consumer);
    EXPECT_EQ(pc.transmitterPath(id, HidCollectionRole::Vendor), vendor);
    EXPECT_EQ(hid.enumerateInterfaces(hid.getHidGuid()), (plat::StringArray{vendor, consumer}));
    EXPECT_TRUE(consumer.starts_with(u"\\\\?\\hid#vid_0b7a&pid_0100&mi_03&col02#7&1a2b3c4d&"));
    EXPECT_TRUE(hid.enumerateInterfaces(plat::Guid{1, 2, 3, {4}}).empty());

    const plat::Handle v = hid.open(vendor);
    const plat::Handle c = hid.open(consumer);
    const plat::Handle again = hid.open(vendor);
    ASSERT_NE(v, 0u);
    ASSERT_NE(c, 0u);
    EXPECT_NE(again, v) << "every open is a handle of its own";
    plat::HidAttributes attributes;
    ASSERT_TRUE(hid.getAttributes(c, attributes));
    EXPECT_EQ(attributes.vendorId, 0x0B7A);
    EXPECT_EQ(attributes.productId, 0x0100);
    plat::HidCaps caps;
    ASSERT_TRUE(hid.getCaps(v, caps));
    EXPECT_EQ(caps.usagePage, 0xFF00);
    EXPECT_EQ(caps.inputReportByteLength, 138);
    EXPECT_EQ(caps.outputReportByteLength, 138);
    ASSERT_TRUE(hid.getCaps(c, caps));
    EXPECT_EQ(caps.usagePage, 0x000C);
    EXPECT_EQ(caps.inputReportByteLength, 3);
    EXPECT_EQ(caps.outputReportByteLength, 0);
    EXPECT_EQ(pc.transmitterOpenHandles(id), 2u);
    EXPECT_TRUE(hid.close(again));
    EXPECT_FALSE(hid.close(again));
    EXPECT_EQ(pc.transmitterOpenHandles(id), 1u);
}

TEST_F(SimTransmitter, EnumerationFollowsPlugInOrderAmongOtherDevices) {
    const auto mouse = pc.plugHidDevice({});
    const auto first = pc.plugTransmitter();
    sim::TransmitterConfig withExtra;
    withExtra.extraUsagePage = 0x0001;
    withExtra.consumerInputLength = 2;
    const auto second = pc.plugTransmitter(withExtra);
    sim::HidDeviceConfig keyboard;
    keyboard.usage = 0x0006;
    keyboard.openable = false;
    pc.plugHidDevice(keyboard);

    auto paths = hid.enumerateInterfaces(hid.getHidGuid());
    ASSERT_EQ(paths.size(), 7u);
    EXPECT_EQ(paths[1], pc.transmitterPath(first, HidCollectionRole::Vendor));
    EXPECT_EQ(paths[3], pc.transmitterPath(second, HidCollectionRole::Vendor));
    EXPECT_EQ(paths[5], pc.transmitterPath(second, HidCollectionRole::Extra));
    EXPECT_NE(paths[1].substr(0, 60), paths[3].substr(0, 60)) << "distinct instance ids";

    const plat::Handle extra = hid.open(paths[5]);
    plat::HidCaps caps;
    ASSERT_TRUE(hid.getCaps(extra, caps));
    EXPECT_EQ(caps.usagePage, 0x0001);
    plat::HidAttributes attributes;
    ASSERT_TRUE(hid.getAttributes(hid.open(paths[0]), attributes));
    EXPECT_EQ(attributes.vendorId, 0x046D);
    EXPECT_EQ(hid.open(paths[6]), 0u) << "a keyboard cannot be opened for reading and writing";
    EXPECT_EQ(hid.open(u"\\\\?\\HID#nothing"), 0u);
    plat::String upper = paths[1];
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char16_t ch) { return ch >= u'a' && ch <= u'z' ? ch - 32 : ch; });
    EXPECT_NE(hid.open(upper), 0u) << "device paths ignore case";

    pc.unplugTransmitter(first);
    pc.unplugHidDevice(mouse);
    paths = hid.enumerateInterfaces(hid.getHidGuid());
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(paths[0], pc.transmitterPath(second, HidCollectionRole::Vendor));
    ASSERT_TRUE(pc.replugTransmitter(first));
    EXPECT_FALSE(pc.replugTransmitter(first));
    paths = hid.enumerateInterfaces(hid.getHidGuid());
    ASSERT_EQ(paths.size(), 6u);
    EXPECT_EQ(paths[4], pc.transmitterPath(first, HidCollectionRole::Vendor));
}

// Each plug-in or removal reaches a window registered for device notifications once per
// collection, with the interface path, one collection after the other in virtual time.
class NotifiedWindow : public plat::DialogTarget {
public:
    struct Seen {
        plat::WParam event;
        plat::String path;
        std::uint64_t atMs;
        bool operator==(const Seen&) const = default;
    };
    explicit NotifiedWindow(sim::SimPc& pc) : pc_(pc) {}
    std::vector<Seen> seen;
    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult&) override {
        if (msg == WM_INITDIALOG)
            plat::desktop().registerDeviceNotification(window, plat::hid().getHidGuid());
        if (msg == WM_DEVICECHANGE) {
            const auto* info = reinterpret_cast<const plat::DeviceChangeInfo*>(lParam);
            if (info && info->deviceType == DBT_DEVTYP_DEVICEINTERFACE)
                seen.push_back({wParam, info->name, pc_.nowMs()});
        }
        return false;
    }

private:
    sim::SimPc& pc_;
};

// Runs `window` as the program's dialog, registered for device notifications.
void runNotified(sim::SimPc& pc, NotifiedWindow& window) {
    pc.startProgram([&] {
        return static_cast<int>(
            plat::ui().dialogBox(plat::resources().programModule(), 101, 0, &window));
    });
    ASSERT_TRUE(pc.waitIdle());
}

TEST_F(SimTransmitter, PlugAndUnplugNotifyOncePerCollectionOneAfterTheOther) {
    NotifiedWindow window(pc);
    runNotified(pc, window);
    const std::uint64_t t0 = pc.nowMs();
    const auto id = pc.plugTransmitter();
    pc.plugHidDevice({});
    pc.unplugTransmitter(id);
    pc.unplugTransmitter(id); // already gone: nothing more
    ASSERT_TRUE(pc.waitIdle());
    const auto vendor = pc.transmitterPath(id, HidCollectionRole::Vendor);
    const auto consumer = pc.transmitterPath(id, HidCollectionRole::Consumer);
    ASSERT_EQ(window.seen.size(), 5u);
    // Notifications spell the device part in upper case, enumeration all in lower case.
    const plat::String announcedVendor =
        u"\\\\?\\HID#VID_0B7A&PID_0100&MI_03&COL01#7&1a2b3c4d&0&0000#"
        u"{4d1e55b2-f16f-11cf-88cb-001111000030}";
    EXPECT_EQ(vendor, u"\\\\?\\hid#vid_0b7a&pid_0100&mi_03&col01#7&1a2b3c4d&0&0000#"
                      u"{4d1e55b2-f16f-11cf-88cb-001111000030}");
    using Seen = NotifiedWindow::Seen;
    EXPECT_EQ(window.seen[0], (Seen{DBT_DEVICEARRIVAL, announcedVendor, t0}));
    EXPECT_EQ(window.seen[1].event, plat::WParam(DBT_DEVICEARRIVAL));
    EXPECT_EQ(window.seen[1].atMs, t0 + 20);
    EXPECT_TRUE(window.seen[1].path.starts_with(u"\\\\?\\HID#VID_0B7A&PID_0100&MI_03&COL02#"));
    EXPECT_TRUE(plat::equalsIgnoringCase(window.seen[1].path, consumer));
    EXPECT_EQ(window.seen[2].event, plat::WParam(DBT_DEVICEARRIVAL));
    EXPECT_TRUE(window.seen[2].path.starts_with(u"\\\\?\\HID#VID_046D&PID_C52B"));
    EXPECT_EQ(window.seen[3], (Seen{DBT_DEVICEREMOVECOMPLETE, announcedVendor, t0 + 20}));
    EXPECT_EQ(window.seen[4], (Seen{DBT_DEVICEREMOVECOMPLETE, window.seen[1].path, t0 + 40}));

    // One notification alone, the other when the test says.
    window.seen.clear();
    ASSERT_TRUE(pc.replugTransmitter(id, sim::InterfaceNotices::ConsumerOnly));
    ASSERT_TRUE(pc.waitIdle());
    ASSERT_EQ(window.seen.size(), 1u);
    EXPECT_TRUE(plat::equalsIgnoringCase(window.seen[0].path, consumer));
    pc.transmitterNotify(id, HidCollectionRole::Vendor);
    pc.unplugTransmitter(id, sim::InterfaceNotices::None);
    pc.transmitterNotify(id, HidCollectionRole::Vendor);
    ASSERT_TRUE(pc.waitIdle());
    ASSERT_EQ(window.seen.size(), 3u);
    EXPECT_EQ(window.seen[1].event, plat::WParam(DBT_DEVICEARRIVAL));
    EXPECT_EQ(window.seen[2].event, plat::WParam(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(window.seen[2].path, announcedVendor);
    pc.endProcess(); // the dialog's target dies with this test body
}

TEST_F(SimTransmitter, OlderWindowsSpellsAPathTheSameMixedCaseWayEverywhere) {
    pc.setDevicePathSpelling(sim::DevicePathSpelling::Legacy);
    NotifiedWindow window(pc);
    runNotified(pc, window);
    const auto id = pc.plugTransmitter();
    ASSERT_TRUE(pc.waitIdle());
    const plat::String vendor = u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03&col01#7&1a2b3c4d&0&0000#"
                                u"{4d1e55b2-f16f-11cf-88cb-001111000030}";
    EXPECT_EQ(pc.transmitterPath(id, HidCollectionRole::Vendor), vendor);
    EXPECT_EQ(hid.enumerateInterfaces(hid.getHidGuid()).at(0), vendor);
    ASSERT_EQ(window.seen.size(), 2u);
    EXPECT_EQ(window.seen[0].path, vendor);
    EXPECT_EQ(window.seen[1].path, pc.transmitterPath(id, HidCollectionRole::Consumer));
    // The transmitter's audio function as well.
    const auto audio = pc.audioDevices();
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_TRUE(audio[0].interfacePath.starts_with(u"\\\\?\\USB#Vid_0b7a&Pid_0100&MI_00#"));
    pc.endProcess();
}

// ==================================================================== reads

TEST_F(SimTransmitter, ABlockedReadWakesForAReportACancellationAClosingOrTheRemoval) {
    const auto id = pc.plugTransmitter();
    const plat::Handle h = open(id);

    PendingRead report(h);
    ASSERT_TRUE(pc.waitForTransmitterRead(id));
    EXPECT_FALSE(report.ended());
    pc.transmitterEvent(id, TransmitterEvent::PairingButton);
    ASSERT_TRUE(pc.waitIdle());
    ASSERT_TRUE(report.ended());
    EXPECT_TRUE(report.result().ok);
    EXPECT_EQ(report.result().bytes, 138u);
    EXPECT_EQ(report.result().data[1], 0x80);
    EXPECT_FALSE(pc.transmitterReadPending(id));

    PendingRead cancelled(h);
    ASSERT_TRUE(pc.waitForTransmitterRead(id));
    hid.cancelRead(h); // returns once the read has ended: the handle takes a new read at once
    pc.transmitterSendRaw(id, {2, 0x11});
    ReadResult next;
    EXPECT_TRUE(hid.read(h, next.data.data(), 138, next.bytes, next.error)) << next.error;
    EXPECT_EQ(next.data[1], 0x11);
    ASSERT_TRUE(pc.waitIdle());
    ASSERT_TRUE(cancelled.ended());
    EXPECT_FALSE(cancelled.result().ok);
    EXPECT_EQ(cancelled.result().error, ERROR_OPERATION_ABORTED);

    // A cancellation with no read pending is not kept for the next read.
    hid.cancelRead(h);
    PendingRead later(h);
    ASSERT_TRUE(pc.waitForTransmitterRead(id));
    pc.transmitterEvent(id, TransmitterEvent::PairingFailed);
    ASSERT_TRUE(pc.waitIdle());
    ASSERT_TRUE(later.ended());
    EXPECT_TRUE(later.result().ok);
    EXPECT_EQ(later.result().data[1], 0x40);

    const plat::Handle second = open(id);
    PendingRead closed(second);
    ASSERT_TRUE(pc.waitForTransmitterRead(id));
    EXPECT_TRUE(hid.close(second));
    ASSERT_TRUE(pc.waitIdle());
    ASSERT_TRUE(closed.ended());
    EXPECT_EQ(closed.result().error, ERROR_OPERATION_ABORTED);

    PendingRead removed(h);
    ASSERT_TRUE(pc.waitForTransmitterRead(id));
    pc.unplugTransmitter(id);
    ASSERT_TRUE(pc.waitIdle());
    ASSERT_TRUE(removed.ended());
    EXPECT_FALSE(removed.result().ok);
    EXPECT_EQ(removed.result().error, ERROR_DEVICE_NOT_CONNECTED);

    // The old handle stays dead, even once the transmitter is back.
    ASSERT_TRUE(pc.replugTransmitter(id));
    ReadResult r;
    EXPECT_FALSE(hid.read(h, r.data.data(), 138, r.bytes, r.error));
    EXPECT_EQ(r.error, ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(write(h, command(0x40)));
    EXPECT_TRUE(journalHas("transmitter 1: write failed: ERROR_DEVICE_NOT_CONNECTED"));
    plat::HidCaps caps;
    EXPECT_FALSE(hid.getCaps(h, caps));
    EXPECT_TRUE(write(open(id), command(0x40)));
}

TEST_F(SimTransmitter, ACancellationRacingWithReportsNeverLosesOne) {
    const auto id = pc.plugTransmitter();
    const plat::Handle h = open(id);
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> received;
    int aborted = 0;
    std::atomic<bool> stop{false};
    const plat::Handle reader = plat::threads().startThread([&] {
        while (!stop) {
            std::array<std::uint8_t, 138> buffer{};
            std::uint32_t bytes = 0, error = 0;
            const bool ok = plat::hid().read(h, buffer.data(), 138, bytes, error);
            std::lock_guard<std::mutex> guard(lock);
            if (ok)
                received.push_back(buffer[1]);
            else if (error == ERROR_OPERATION_ABORTED)
                ++aborted;
            else
                break;
            changed.notify_all();
        }
    });
    constexpr int kReports = 200;
    for (int i = 0; i < kReports; ++i) {
        pc.transmitterSendRaw(id, {2, static_cast<std::uint8_t>(i)});
        hid.cancelRead(h); // hits the read delivering it, or the next one
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(10),
                                     [&] { return received.size() == std::size_t(i) + 1; }))
            << "report " << i << " lost";
    }
    stop = true;
    ASSERT_TRUE(pc.waitIdle());
    hid.cancelRead(h);
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_EQ(plat::threads().waitForSingleObject(reader, 0), WAIT_OBJECT_0);
    plat::threads().closeHandle(reader);
    std::vector<int> expected(kReports);
    for (int i = 0; i < kReports; ++i)
        expected[i] = i;
    EXPECT_EQ(received, expected);
}

TEST_F(SimTransmitter, ShortReportsAndShortBuffersTouchOnlyTheBytesTheyHave) {
    sim::TransmitterConfig config;
    config.vendorInputLength = 137;
    config.database = {{u"Kitchen", kA}};
    const auto id = pc.plugTransmitter(config);
    const plat::Handle h = open(id);

    pc.transmitterEvent(id, TransmitterEvent::LinkRegained);
    pc.transmitterSendRaw(id, {2, 0x02, 0, 'X'});
    pc.transmitterSendRaw(id, Report(300, 0x5A)); // more than declared: cut to it
    pc.transmitterEvent(id, TransmitterEvent::LinkRegained);

    ReadResult r;
    r.data.fill(0xFF);
    ASSERT_TRUE(hid.read(h, r.data.data(), 138, r.bytes, r.error));
    EXPECT_EQ(r.bytes, 137u);
    EXPECT_EQ(r.data[1], 0x02);
    EXPECT_EQ(r.data[136], 0x01);
    EXPECT_EQ(r.data[137], 0xFF) << "the link-state byte is beyond a 137-byte report";

    r.data.fill(0xFF);
    ASSERT_TRUE(hid.read(h, r.data.data(), 138, r.bytes, r.error));
    EXPECT_EQ(r.bytes, 4u);
    EXPECT_EQ(r.data[3], 'X');
    EXPECT_TRUE(std::all_of(r.data.begin() + 4, r.data.end(), [](auto b) { return b == 0xFF; }));

    ASSERT_TRUE(hid.read(h, r.data.data(), 138, r.bytes, r.error));
    EXPECT_EQ(r.bytes, 137u);

    r.data.fill(0xEE);
    ASSERT_TRUE(hid.read(h, r.data.data(), 5, r.bytes, r.error)) << "a short buffer";
    EXPECT_EQ(r.bytes, 5u);
    EXPECT_EQ(r.data[0], 2);
    EXPECT_EQ(r.data[5], 0xEE) << "nothing written past the buffer";

    EXPECT_FALSE(hid.read(h, nullptr, 138, r.bytes, r.error));
    EXPECT_EQ(r.error, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(hid.read(h, r.data.data(), 0, r.bytes, r.error));
    EXPECT_FALSE(hid.read(0xBAD, r.data.data(), 138, r.bytes, r.error));
    EXPECT_EQ(r.error, ERROR_INVALID_HANDLE);
}

TEST_F(SimTransmitter, EveryHandleBuffersItsOwnReportsFromItsOpeningOn) {
    const auto id = pc.plugTransmitter();
    const plat::Handle early = open(id);
    pc.transmitterEvent(id, TransmitterEvent::PairingButton);
    const plat::Handle late = open(id);
    EXPECT_EQ(pc.transmitterQueuedReports(id), 1u) << "the late handle missed it";
    for (int i = 0; i < 40; ++i)
        pc.transmitterSendRaw(id, {2, 0, static_cast<std::uint8_t>(i)});
    EXPECT_EQ(pc.transmitterQueuedReports(id), 64u) << "32 input buffers per handle";

    ReadResult r;
    ASSERT_TRUE(hid.read(late, r.data.data(), 138, r.bytes, r.error));
    EXPECT_EQ(r.data[2], 8) << "the oldest reports were dropped";
    ASSERT_TRUE(hid.read(early, r.data.data(), 138, r.bytes, r.error));
    EXPECT_EQ(r.data[2], 8);
    hid.close(early);
    EXPECT_EQ(pc.transmitterQueuedReports(id), 31u);
}

// ==================================================================== writes and firmware

TEST_F(SimTransmitter, WritesNeedTheDeclaredLengthAndAreRecordedDecoded) {
    sim::TransmitterConfig config;
    config.vendorOutputLength = 136;
    config.database = {{u"Kitchen", kA}};
    const auto id = pc.plugTransmitter(config);
    const plat::Handle h = open(id);
    EXPECT_FALSE(write(h, command(0x08, kKitchenUtf8, kA))) << "138 bytes, 136 declared";
    Report rename = command(0x08, kKitchenUtf8, kA);
    rename.resize(136);
    EXPECT_TRUE(write(h, rename));
    EXPECT_FALSE(write(h, {}));
    EXPECT_FALSE(write(open(id, HidCollectionRole::Consumer), {1, 2, 3}));
    Report foreignId = rename;
    foreignId[0] = 3;
    EXPECT_TRUE(write(h, foreignId));

    const auto commands = pc.transmitterCommands(id);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].code, 0x08);
    EXPECT_EQ(commands[0].name, u"K\u00FCche");
    EXPECT_EQ(commands[0].address, kA);
    EXPECT_EQ(commands[0].raw, rename);
    EXPECT_EQ(commands[1].reportId, 3);
    EXPECT_EQ(pc.transmitterCommandCodes(id), std::vector<std::uint8_t>{0x08});
    EXPECT_EQ(pc.transmitterDatabase(id)[0].name, u"K\u00FCche");
    EXPECT_TRUE(journalHas("transmitter 1 received SetDeviceName (0x08) \"" + kKitchenUtf8 +
                           "\" 10-20-30-40-50-01"));
    EXPECT_EQ(pc.transmitterQueuedReports(id), 0u) << "renaming needs no answer";
}

TEST_F(SimTransmitter, StartUpIsAnsweredWithVersionListingAndCurrentDevice) {
    sim::TransmitterConfig config;
    config.database = {{u"Newest", kC}, {u"Middle", kB}, {u"Oldest", kA}};
    config.currentIndex = 1;
    config.linked = false;
    config.firmwareVersion = {2, 0, 11};
    const auto id = pc.plugTransmitter(config);
    const plat::Handle h = open(id);

    ASSERT_TRUE(write(h, command(0x01)));
    EXPECT_EQ(pc.transmitterQueuedReports(id), 0u) << "StartupSecond alone is not the handshake";
    ASSERT_TRUE(write(h, command(0x30)));
    ASSERT_TRUE(write(h, command(0x01)));
    const auto reports = drain(id, h);
    ASSERT_EQ(reports.size(), 5u);

    EXPECT_EQ(reports[0][0], 2);
    EXPECT_EQ(reports[0][1], 0x20);
    EXPECT_EQ(nameOf(reports[0]), "Jun 20 2005");
    EXPECT_EQ(reports[0][131], 2);
    EXPECT_EQ(reports[0][132], 0);
    EXPECT_EQ(reports[0][133], 11);
    const char* names[] = {"Newest", "Middle", "Oldest"};
    const DeviceAddress addresses[] = {kC, kB, kA};
    for (int i = 0; i < 3; ++i) {
        const Report& entry = reports[1 + i];
        EXPECT_EQ(entry[1], 0x00);
        EXPECT_EQ(nameOf(entry), names[i]);
        EXPECT_EQ(addressOf(entry), addresses[i]);
    }
    EXPECT_EQ(reports[1][2], 2) << "the first entry counts the entries minus one";
    EXPECT_EQ(reports[2][2], 1) << "later ones what is still to come";
    EXPECT_EQ(reports[3][2], 0);
    EXPECT_EQ(reports[4][1], 0x02);
    EXPECT_EQ(nameOf(reports[4]), "Middle");
    EXPECT_NE(reports[4][137], 0) << "not linked";
}

TEST_F(SimTransmitter, LaterListingEntriesCanCarryAnotherCountByte) {
    sim::TransmitterConfig config;
    config.database = {{u"Newest", kC}, {u"Middle", kB}, {u"Oldest", kA}};
    config.laterCountByte = 0x7F;
    const auto id = pc.plugTransmitter(config);
    const plat::Handle h = open(id);
    write(h, command(0x30));
    write(h, command(0x01));
    auto reports = drain(id, h);
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_EQ(reports[1][2], 2);
    EXPECT_EQ(reports[2][2], 0x7F);
    EXPECT_EQ(reports[3][2], 0x7F);

    pc.transmitterPair(id, {sim::NewRemote{sim::RemoteKind::Receiver, u"New", kA}});
    reports = drain(id, h);
    ASSERT_EQ(reports.size(), 3u) << "a listing caused by pairing too";
    EXPECT_EQ(reports[0][2], 2);
    EXPECT_EQ(reports[1][2], 0x7F);
}

TEST_F(SimTransmitter, CommandsAreNamedByTheTransmittersOwnTable) {
    const auto id = pc.plugTransmitter();
    const plat::Handle h = open(id);
    Report other = command(0x40);
    other[0] = 3;
    for (const Report& r : {command(0x30), command(0x01), command(0x02, "Desk", kB), command(0x04),
                            command(0x08, "Den", kA), command(0x10), command(0x20, "Desk", kB),
                            command(0x40), command(0x80), command(0x0C), command(0x41), other})
        write(h, r);
    std::vector<std::string> names;
    std::vector<bool> addressed;
    for (const auto& c : pc.transmitterCommands(id)) {
        names.push_back(c.command);
        addressed.push_back(c.addressed);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"StartupFirst", "StartupSecond", "SelectDevice",
                                               "StartPairing", "SetDeviceName", "CancelPairing",
                                               "DeleteDevice", "MenuOpening", "ListingDone",
                                               "HostExit", "Unknown(0x41)", "ReportId(3)"}));
    EXPECT_EQ(addressed, (std::vector<bool>{false, false, true, false, true, false, true, false,
                                            false, false, false, false}));
}

TEST_F(SimTransmitter, AnEmptyOrSilentTransmitterAnswersStartUpAccordingly) {
    const auto empty = pc.plugTransmitter();
    const plat::Handle h = open(empty);
    write(h, command(0x30));
    write(h, command(0x01));
    const auto reports = drain(empty, h);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[1][1], 0x00);
    EXPECT_EQ(static_cast<std::int8_t>(reports[1][2]), -1) << "a listing of no entries";
    EXPECT_EQ(reports[2][1], 0x10) << "no current device: no link";

    sim::TransmitterConfig silent;
    silent.answersStartup = false;
    const auto quiet = pc.plugTransmitter(silent);
    const plat::Handle q = open(quiet);
    write(q, command(0x30));
    write(q, command(0x01));
    EXPECT_EQ(pc.transmitterQueuedReports(quiet), 0u);
    EXPECT_EQ(pc.transmitterCommandCodes(quiet), (std::vector<std::uint8_t>{0x30, 0x01}));
}

TEST_F(SimTransmitter, SelectingAndDeletingDevicesReportTheCurrentOne) {
    sim::TransmitterConfig config;
    config.database = {{u"Newest", kC}, {u"Middle", kB}, {u"Oldest", kA}};
    const auto id = pc.plugTransmitter(config);
    const plat::Handle h = open(id);

    write(h, command(0x02, "Oldest", kA));
    auto reports = drain(id, h);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][1], 0x02);
    EXPECT_EQ(nameOf(reports[0]), "Oldest");
    EXPECT_EQ(reports[0][137], 0);
    EXPECT_EQ(pc.transmitterCurrentDevice(id), (PairedDevice{u"Oldest", kA}));

    write(h, command(0x02, "Nobody", {9, 9, 9, 9, 9, 9}));
    reports = drain(id, h);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(nameOf(reports[0]), "Oldest") << "an unknown address changes nothing";

    write(h, command(0x20, "Middle", kB));
    EXPECT_TRUE(drain(id, h).empty()) << "deleting another device needs no answer";
    write(h, command(0x20, "Oldest", kA));
    reports = drain(id, h);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(nameOf(reports[0]), "Newest");
    EXPECT_EQ(pc.transmitterDatabase(id), (std::vector<PairedDevice>{{u"Newest", kC}}));
    write(h, command(0x20, "Newest", kC));
    reports = drain(id, h);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][1], 0x10);
    EXPECT_FALSE(pc.transmitterCurrentDevice(id));

    write(h, command(0x04));
    EXPECT_TRUE(pc.transmitterPairingMode(id));
    write(h, command(0x10));
    EXPECT_FALSE(pc.transmitterPairingMode(id));
    for (std::uint8_t code : {0x40, 0x80, 0x0C, 0x77})
        write(h, command(code));
    EXPECT_TRUE(drain(id, h).empty());
    EXPECT_TRUE(journalHas("transmitter 1 received Unknown(0x77) (0x77): ignored"));
}

TEST_F(SimTransmitter, PairingSendsTheWholeDatabaseFlaggedAsCausedByPairing) {
    sim::TransmitterConfig config;
    config.database = {{u"Receiver #1", kA}};
    config.capacity = 3;
    const auto id = pc.plugTransmitter(config);
    const plat::Handle h = open(id);

    pc.transmitterEvent(id, TransmitterEvent::PairingButton);
    EXPECT_TRUE(pc.transmitterPairingMode(id));
    const auto added =
        pc.transmitterPair(id, {{}, {sim::RemoteKind::Headphones, std::nullopt, std::nullopt}});
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].name, u"Receiver #2") << "a default name no device has";
    EXPECT_EQ(added[1].name, u"Headphones #1");
    EXPECT_NE(added[0].address, added[1].address);
    EXPECT_FALSE(pc.transmitterPairingMode(id));

    auto reports = drain(id, h);
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0][1], 0x80);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(reports[i][1], 0x04);
    EXPECT_EQ(reports[1][2], 2);
    EXPECT_EQ(nameOf(reports[1]), "Headphones #1") << "newest first";
    EXPECT_EQ(nameOf(reports[2]), "Receiver #2");
    EXPECT_EQ(nameOf(reports[3]), "Receiver #1");

    EXPECT_TRUE(pc.transmitterPair(id).empty()) << "the database is full";
    reports = drain(id, h);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][1], 0x40);

    pc.transmitterEvent(id, TransmitterEvent::LinkLost);
    EXPECT_FALSE(pc.transmitterLinked(id));
    pc.transmitterEvent(id, TransmitterEvent::LinkRegained);
    EXPECT_TRUE(pc.transmitterLinked(id));
    pc.transmitterEvent(id, TransmitterEvent::ListCleared);
    reports = drain(id, h);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0][1], 0x10);
    EXPECT_EQ(reports[1][1], 0x02);
    EXPECT_EQ(reports[1][137], 0);
    EXPECT_EQ(reports[2][1], 0x08);
    EXPECT_TRUE(pc.transmitterDatabase(id).empty());

    pc.unplugTransmitter(id);
    EXPECT_TRUE(pc.transmitterPair(id).empty());
    EXPECT_TRUE(journalHas("transmitter 1 is unplugged: pairing ignored"));
}

TEST_F(SimTransmitter, RemoteKeysArriveOnTheConsumerCollection) {
    const auto id = pc.plugTransmitter();
    const plat::Handle vendor = open(id);
    const plat::Handle keys = open(id, HidCollectionRole::Consumer);
    pc.pressRemoteKey(id, 0xCD);
    pc.pressRemoteKey(id, 0xE9, false);
    EXPECT_EQ(pc.transmitterQueuedReports(id), 0u);
    const auto reports = drain(id, keys, HidCollectionRole::Consumer);
    EXPECT_EQ(reports, (std::vector<Report>{{1, 0xCD, 0}, {1, 0, 0}, {1, 0xE9, 0}}));
    EXPECT_TRUE(journalHas("transmitter 1 sent media key 0xCD (play/pause)"));
    hid.close(vendor);
}

} // namespace
