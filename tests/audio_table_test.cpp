// The audio device table and its enumeration thread on the simulated PC's virtual audio
// devices: what one pass stores, numbering, wave names, what it ignores, count changes with
// their notification, and dsound.dll failing at each set-up step.
#include "AudioDevices.h"
#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ProcessObjects.h"
#include "shown_texts.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex linesLock;
std::vector<plat::String> lines;

void capture(const plat::String& text) {
    std::lock_guard<std::mutex> lock(linesLock);
    lines.push_back(text);
}

constexpr std::uint32_t kWmUser = 0x0400;
const plat::String kSettingsTitle = shown::settingsTitle;
const plat::String kEditPlayerTitle = shown::editPlayerTitle;

plat::Guid guidOf(std::uint32_t data1) {
    plat::Guid g;
    g.data1 = data1;
    g.data2 = 0xA1B2;
    g.data3 = 0x0C3D;
    const std::uint8_t tail[8] = {0x9F, 0x00, 0x0A, 0xB1, 0xC2, 0xD3, 0xE4, 0x05};
    std::copy(std::begin(tail), std::end(tail), g.data4);
    return g;
}

sim::AudioDeviceConfig device(const char16_t* description) {
    sim::AudioDeviceConfig c;
    c.description = description;
    return c;
}

class AudioTable : public testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();

    void SetUp() override {
        pc->install();
        setLogCapture(&capture);
        std::lock_guard<std::mutex> lock(linesLock);
        lines.clear();
    }

    void TearDown() override {
        EXPECT_TRUE(pc->failures().empty());
        pc.reset();
        plat::install({});
        setLogCapture(nullptr);
        endProcessObjects();
    }

    // Starts the run's objects (and with them the thread) and lets its first pass end.
    void start() {
        startProcessObjects();
        ASSERT_TRUE(pc->waitIdle());
    }

    static AudioDeviceEntry entry(int index) {
        AudioDeviceEntry e;
        readDeviceEntry(index, e);
        return e;
    }

    // The logged messages without their time field, in order.
    static std::vector<plat::String> messages() {
        std::lock_guard<std::mutex> lock(linesLock);
        std::vector<plat::String> out;
        for (const auto& line : lines) {
            const auto colon = line.find(u':');
            out.push_back(colon == plat::String::npos ? line : line.substr(colon + 1));
        }
        return out;
    }

    static std::size_t count(const plat::String& message) {
        const auto all = messages();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), message));
    }

    static std::size_t userMessages(const std::vector<sim::ReceivedMessage>& got) {
        return static_cast<std::size_t>(std::count_if(got.begin(), got.end(), [](const auto& m) {
            return m.msg == kWmUser && m.wParam == 2 && m.lParam == 0;
        }));
    }
};

TEST_F(AudioTable, ASoundCardAndTheTransmitterFillEntriesOneAndTwo) {
    sim::AudioDeviceConfig card = device(u"Realtek HD Audio output");
    card.guid = guidOf(0x1234ABCD);
    card.waveName = u"Realtek HD Audio";
    pc->addAudioDevice(card);
    const sim::TransmitterId t = pc->plugTransmitter();
    start();

    EXPECT_EQ(audioDeviceCount(), 2);
    const AudioDeviceEntry def = entry(0);
    EXPECT_EQ(def.name, shown::defaultAudioDevice);
    EXPECT_EQ(def.guid, u"{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(def.waveId, 0u);
    EXPECT_EQ(def.waveName, u"");

    const AudioDeviceEntry one = entry(1);
    EXPECT_EQ(one.name, u"Realtek HD Audio output");
    EXPECT_EQ(one.waveId, 0u);
    EXPECT_EQ(one.guid, u"{1234ABCD-A1B2-0C3D-9F00-0AB1C2D3E405}");
    EXPECT_EQ(one.waveName, u"Realtek HD Audio");

    // Recognised by the USB ids of its interface path: its driver calls it something else.
    const auto views = pc->audioDevices();
    const auto transmitter = pc->transmitterAudioDevice(t);
    ASSERT_TRUE(transmitter.has_value());
    const auto it = std::find_if(views.begin(), views.end(),
                                 [&](const auto& v) { return v.id == *transmitter; });
    ASSERT_NE(it, views.end());
    EXPECT_NE(it->description, u"Quorvane Auravo");
    const AudioDeviceEntry two = entry(2);
    EXPECT_EQ(two.name, u"Quorvane Auravo");
    EXPECT_EQ(two.waveId, 1u);
    EXPECT_EQ(two.guid, guidText(it->guid));
    EXPECT_EQ(two.guid.size(), 38u);
    EXPECT_EQ(two.waveName, u"Quorvane Auravo");

    // Each pass gives back the library and both objects.
    EXPECT_GE(pc->audioEnumerations(), 1);
    EXPECT_EQ(pc->audioObjectsOutstanding(), 0);
    EXPECT_EQ(count(u" ERROR :Load library failed"), 0u);
}

// Windows 10 and 11 report the USB ids in lower case, older Windows in mixed case, and a
// driver may write them in upper case: each is the transmitter.
TEST_F(AudioTable, TheTransmitterIsKnownByItsIdsInAnyLetterCase) {
    pc->setDevicePathSpelling(sim::DevicePathSpelling::Legacy); // paths as given below
    for (const char16_t* path : {u"\\\\?\\usb#vid_0b7a&pid_0100&mi_00#6&1&0&0000#{6994ad04}",
                                 u"\\\\?\\USB#VID_0B7A&PID_0100&MI_00#6&2&0&0000#{6994ad04}",
                                 u"\\\\?\\USB#Vid_0b7a&Pid_0100&MI_00#6&3&0&0000#{6994ad04}",
                                 u"\\\\?\\USB#VID_0B7A&PID_0101&MI_00#6&4&0&0000#{6994ad04}"}) {
        sim::AudioDeviceConfig c = device(u"USB Audio Device");
        c.interfacePath = path;
        pc->addAudioDevice(c);
    }
    start();
    EXPECT_EQ(entry(1).name, u"Quorvane Auravo");
    EXPECT_EQ(entry(2).name, u"Quorvane Auravo (2)");
    EXPECT_EQ(entry(3).name, u"Quorvane Auravo (3)");
    EXPECT_EQ(entry(4).name, u"USB Audio Device"); // another product
}

// Today's Windows may give the transmitter's DirectSound record a path without its USB ids;
// its endpoint still leads to the USB device, through the device topology to the adapter.
TEST_F(AudioTable, TodaysWindowsKnowsTheTransmitterByItsEndpointWhenTheRecordLacksItsUsbIds) {
    pc->setWindowsAudio(sim::WindowsAudio::CoreAudio);
    sim::AudioDeviceConfig headset = device(u"Headset (USB Audio)");
    headset.interfacePath = u"\\\\?\\SWD#MMDEVAPI#{0.0.0.00000000}.{4a1d}#{e6327cad}";
    headset.hardwarePath = u"\\\\?\\USB#VID_046D&PID_0A38&MI_00#7&1&0&0000#{6994ad04}\\global";
    pc->addAudioDevice(headset); // another maker's USB device: entry 1
    start();

    const struct {
        sim::HardwareRoute route;
        bool recognised;
    } cases[] = {{sim::HardwareRoute::Topology, true}, {sim::HardwareRoute::None, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.route));
        pc->setTransmitterAudioIdentity({.usbPathInDirectSound = false, .hardwareRoute = c.route});
        // A transmitter of its own each time: what the system told of an endpoint is kept.
        const sim::TransmitterId t = pc->plugTransmitter();
        const auto views = pc->audioDevices();
        ASSERT_EQ(views.size(), 2u);
        ASSERT_EQ(plat::findIgnoringCase(views[1].interfacePath, u"vid_0b7a"), plat::String::npos);
        pc->advance(1000);
        EXPECT_EQ(entry(2).name, c.recognised ? u"Quorvane Auravo" : u"USB Audio Device");
        EXPECT_EQ(entry(1).name, u"Headset (USB Audio)");
        pc->unplugTransmitter(t);
        pc->advance(1000);
    }
    EXPECT_EQ(pc->audioObjectsOutstanding(), 0);

    // An older Windows has no endpoints to ask.
    pc->setWindowsAudio(sim::WindowsAudio::SoundMapper);
    pc->setTransmitterAudioIdentity({.usbPathInDirectSound = false});
    pc->plugTransmitter();
    pc->advance(1000);
    EXPECT_EQ(entry(2).name, u"USB Audio Device");
}

// The endpoints' two answers: while the transmitter is still arriving the system cannot tell
// what its endpoint stands on, and that is no answer for good: the next pass asks again. What
// its adapter's instance id told is kept, whatever the system says later.
TEST_F(AudioTable, AnEndpointWhoseAdapterCannotBeReadIsAskedAgainAndAReadAnswerIsKept) {
    pc->setWindowsAudio(sim::WindowsAudio::CoreAudio);
    pc->addAudioDevice(device(u"Speakers"));
    start();
    pc->setTransmitterAudioIdentity(
        {.usbPathInDirectSound = false, .hardwareRoute = sim::HardwareRoute::None});
    const auto audio = pc->transmitterAudioDevice(pc->plugTransmitter());
    ASSERT_TRUE(audio);
    pc->advance(1000);
    EXPECT_EQ(entry(2).name, u"USB Audio Device");

    ASSERT_TRUE(pc->setAudioHardwareRoute(*audio, sim::HardwareRoute::Topology));
    pc->advance(1000);
    EXPECT_EQ(entry(2).name, u"Quorvane Auravo");

    ASSERT_TRUE(pc->setAudioHardwareRoute(*audio, sim::HardwareRoute::None));
    pc->advance(1000);
    EXPECT_EQ(entry(2).name, u"Quorvane Auravo");
    EXPECT_EQ(pc->audioObjectsOutstanding(), 0);
}

TEST_F(AudioTable, OnePassLogsItsStepsInOrder) {
    pc->addAudioDevice(device(u"Speakers"));
    start();
    const std::vector<plat::String> expected = {
        u" TRACE :Thread Started\n",
        u" TRACE :\nWaveID =  0\nName = Default Audio Device\nGUID = "
        u"{00000000-0000-0000-0000-000000000000}\n",
        u" TRACE :Thread Running\n",
        u" TRACE :In callback",
        u" TRACE :\nWaveID =  0\nName = Speakers\nGUID = " + entry(1).guid + u"\n",
        u" TRACE :In callback",
        u" TRACE :Wave device name  ",
        u" TRACE :Speakers",
        u" TRACE :\nWaveID =  0\nName = Speakers\nGUID = " + entry(1).guid + u"\n",
        u" TRACE :Audio Thread Going to sleep\n",
    };
    auto logged = messages();
    const auto first = std::find(logged.begin(), logged.end(), expected.front());
    ASSERT_NE(first, logged.end());
    ASSERT_GE(logged.end() - first, static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_EQ(
        std::vector<plat::String>(first, first + static_cast<std::ptrdiff_t>(expected.size())),
        expected);

    // After the sleep the next pass begins; no notification for windows that do not exist.
    pc->advance(1000);
    EXPECT_EQ(count(u" TRACE :Audio Thread coming out of sleep\n"), 1u);
    EXPECT_EQ(count(u" TRACE :Thread Running\n"), 2u);
    EXPECT_EQ(count(u" TRACE :Thread Started\n"), 1u);
}

TEST_F(AudioTable, RepeatedNamesAreNumberedInEnumerationOrderWithinEachPass) {
    const sim::AudioDeviceId a = pc->addAudioDevice(device(u"Speakers"));
    const sim::AudioDeviceId b = pc->addAudioDevice(device(u"Speakers"));
    const sim::AudioDeviceId c = pc->addAudioDevice(device(u"Speakers"));
    // Wave ids follow plug-in order (0, 1, 2); the enumeration reports them 2, 0, 1.
    pc->setAudioEnumerationOrder({c, a, b});
    const sim::TransmitterId t1 = pc->plugTransmitter();
    pc->plugTransmitter();
    start();

    EXPECT_EQ(audioDeviceCount(), 5);
    EXPECT_EQ(entry(3).name, u"Speakers");
    EXPECT_EQ(entry(1).name, u"Speakers (2)");
    EXPECT_EQ(entry(2).name, u"Speakers (3)");
    EXPECT_EQ(entry(4).name, u"Quorvane Auravo");
    EXPECT_EQ(entry(5).name, u"Quorvane Auravo (2)");

    // The names seen are forgotten between passes: the next one numbers the same way.
    pc->advance(1000);
    EXPECT_EQ(entry(3).name, u"Speakers");
    EXPECT_EQ(entry(2).name, u"Speakers (3)");
    EXPECT_EQ(entry(5).name, u"Quorvane Auravo (2)");

    // Without the first transmitter, the second takes wave id 3 and the plain name.
    pc->unplugTransmitter(t1);
    pc->advance(1000);
    EXPECT_EQ(audioDeviceCount(), 4);
    EXPECT_EQ(entry(4).name, u"Quorvane Auravo");
    EXPECT_EQ(entry(5).name, u"Quorvane Auravo (2)"); // above the count: kept as it was
}

TEST_F(AudioTable, TheWaveNameComesOnlyFromAnEmulatedRecordAfterTheWdmOne) {
    sim::AudioDeviceConfig after = device(u"Card A");
    after.waveName = u"Card A Wave";
    sim::AudioDeviceConfig before = device(u"Card B");
    before.emulated = sim::EmulatedRecord::BeforeWdm;
    sim::AudioDeviceConfig none = device(u"Card C");
    none.emulated = sim::EmulatedRecord::None;
    pc->addAudioDevice(after);
    pc->addAudioDevice(before);
    pc->addAudioDevice(none);
    start();

    EXPECT_EQ(entry(1).waveName, u"Card A Wave");
    EXPECT_EQ(entry(1).name, u"Card A"); // the emulated record keeps the other fields
    EXPECT_EQ(entry(2).waveName, u"");   // the WDM record after it emptied it again
    EXPECT_EQ(entry(2).name, u"Card B");
    EXPECT_EQ(entry(3).waveName, u"");
    EXPECT_EQ(count(u" TRACE :Card A Wave"), 1u);
    EXPECT_EQ(count(u" TRACE :Card B"), 1u); // the emulated record's wave name line

    // The cut: the character before "(emulated)" goes, whatever it is.
    EXPECT_EQ(emulatedWaveName(u"SB Live! Wave Device (emulated)"), u"SB Live! Wave Device");
    EXPECT_EQ(emulatedWaveName(u"Tight(emulated)"), u"Tigh");
    EXPECT_EQ(emulatedWaveName(u"(emulated)"), u"");
    EXPECT_EQ(emulatedWaveName(u"Speakers"), u"");
    EXPECT_EQ(emulatedWaveName(u"A (Emulated)"), u""); // the mark is matched exactly
}

// Reads entry 1 after each of its WDM records, from inside the pass, as another thread could.
class WatchingAudio final : public plat::Audio {
public:
    explicit WatchingAudio(plat::Audio& inner) : inner_(inner) {}
    plat::Module loadDsound() override { return inner_.loadDsound(); }
    bool hasDllGetClassObject(plat::Module dsound) override {
        return inner_.hasDllGetClassObject(dsound);
    }
    plat::Handle getClassFactory(plat::Module dsound) override {
        return inner_.getClassFactory(dsound);
    }
    plat::Handle createPropertySet(plat::Handle factory) override {
        return inner_.createPropertySet(factory);
    }
    bool enumerateDevices(plat::Handle propertySet,
                          const std::function<bool(const plat::DsDeviceDescription&)>& callback) override {
        return inner_.enumerateDevices(propertySet, [&](const plat::DsDeviceDescription& record) {
            const bool more = callback(record);
            if (record.type != 0 && record.waveDeviceId == 0) {
                AudioDeviceEntry e;
                readDeviceEntry(1, e);
                std::lock_guard<std::mutex> lock(m_);
                seen_.push_back(e.waveName);
            }
            return more;
        });
    }
    void release(plat::Handle object) override { inner_.release(object); }
    void freeDsound(plat::Module dsound) override { inner_.freeDsound(dsound); }
    std::uint32_t mixerGetNumDevs() override { return inner_.mixerGetNumDevs(); }
    bool mixerGetProductName(std::uint32_t id, plat::String& name) override {
        return inner_.mixerGetProductName(id, name);
    }
    std::vector<plat::String> seen() {
        std::lock_guard<std::mutex> lock(m_);
        return seen_;
    }

private:
    plat::Audio& inner_;
    std::mutex m_;
    std::vector<plat::String> seen_;
};

// While a pass runs, a reader sees the table as the last pass left it, never a device half
// written (its fresh entry before the emulated record adds the wave name): the system default,
// found by that name, would name no device for that moment.
TEST_F(AudioTable, AReaderDuringAPassSeesTheLastCompleteEntries) {
    sim::AudioDeviceConfig card = device(u"Card A");
    card.waveName = u"Card A Wave";
    pc->addAudioDevice(card);
    WatchingAudio audio(*pc->bundle().audio);
    plat::Platform bundle = pc->bundle();
    bundle.audio = &audio;
    plat::install(bundle);
    start();
    pc->advance(2000);
    ASSERT_TRUE(pc->waitIdle());
    const auto seen = audio.seen();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), u""); // the first pass: nothing was there before
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], u"Card A Wave") << "pass " << i + 1;
    EXPECT_EQ(entry(1).waveName, u"Card A Wave");
}

TEST_F(AudioTable, CaptureAndVxdRecordsCreateNoEntries) {
    pc->addAudioDevice(device(u"Speakers"));
    sim::AudioDeviceConfig mic = device(u"Microphone");
    mic.capture = true;
    mic.mixer = false;
    pc->addAudioDevice(mic); // wave-in 0: would overwrite entry 1 if it counted
    sim::AudioDeviceConfig old = device(u"Legacy Card");
    old.vxd = true;
    old.waveId = 1;
    old.emulated = sim::EmulatedRecord::None;
    pc->addAudioDevice(old);
    start();

    EXPECT_EQ(entry(1).name, u"Speakers");
    // The VXD card has a mixer, so the count covers entry 2, which no record filled.
    EXPECT_EQ(audioDeviceCount(), 2);
    EXPECT_EQ(entry(2).name, u"");
    EXPECT_EQ(entry(2).guid, u"");
    for (const auto& m : messages())
        EXPECT_EQ(m.find(u"Microphone"), plat::String::npos);
}

TEST_F(AudioTable, UnpluggingLowersTheCountAndNotifiesOpenSettingsWindowsAfterTheSleep) {
    pc->addAudioDevice(device(u"Speakers"));
    const sim::TransmitterId t = pc->plugTransmitter();
    start();
    ASSERT_EQ(audioDeviceCount(), 2);
    const plat::String oldGuid = entry(2).guid;
    pc->advance(1000); // the first pass's change has been announced (to nobody)

    const plat::Hwnd settings = pc->createForeignWindow(u"#32770", kSettingsTitle);
    const plat::Hwnd editor = pc->createForeignWindow(u"#32770", kEditPlayerTitle);
    const plat::Hwnd other = pc->createForeignWindow(u"#32770", u"Quorvane Auravo");
    pc->unplugTransmitter(t);
    pc->advance(1000); // the pass that sees the change
    EXPECT_EQ(audioDeviceCount(), 1);
    EXPECT_EQ(userMessages(pc->received(settings)), 0u); // not before its sleep
    pc->advance(1000);
    EXPECT_EQ(userMessages(pc->received(settings)), 1u);
    EXPECT_EQ(userMessages(pc->received(editor)), 1u);
    EXPECT_TRUE(pc->received(other).empty());

    // Entries above the count keep their last contents.
    EXPECT_EQ(entry(2).name, u"Quorvane Auravo");
    EXPECT_EQ(entry(2).guid, oldGuid);

    // Nothing more while the count stays.
    pc->advance(3000);
    EXPECT_EQ(userMessages(pc->received(settings)), 1u);

    // Back again: the same GUID, and another notification.
    ASSERT_TRUE(pc->replugTransmitter(t));
    pc->advance(2000);
    EXPECT_EQ(audioDeviceCount(), 2);
    EXPECT_EQ(entry(2).guid, oldGuid);
    EXPECT_EQ(userMessages(pc->received(settings)), 2u);
}

TEST_F(AudioTable, WithoutDsoundEveryPassFailsOnceASecondAndOnlyTheDefaultEntryExists) {
    pc->addAudioDevice(device(u"Speakers"));
    pc->setDsoundFailure(sim::DsoundFailure::Missing);
    start();
    pc->advance(3000);

    // One failed pass at 0, 1000, 2000 and 3000 ms: it waits instead of spinning.
    EXPECT_EQ(count(u" ERROR :Load library failed"), 4u);
    EXPECT_EQ(count(u" TRACE :Thread Running\n"), 4u);
    EXPECT_EQ(count(u" TRACE :Audio Thread Going to sleep\n"), 0u);
    EXPECT_EQ(audioDeviceCount(), 0);
    EXPECT_EQ(entry(0).name, shown::defaultAudioDevice);
    EXPECT_EQ(entry(1).name, u"");
    EXPECT_EQ(pc->audioEnumerations(), 0);

    // Once it loads, the next pass fills the table.
    pc->setDsoundFailure(sim::DsoundFailure::None);
    pc->advance(1000);
    EXPECT_EQ(entry(1).name, u"Speakers");
    EXPECT_EQ(audioDeviceCount(), 1);
}

TEST_F(AudioTable, EachSetUpStepFailureIsLoggedAndReleasesWhatWasObtained) {
    struct Case {
        sim::DsoundFailure failure;
        const char16_t* text;
    };
    for (const Case& c :
         {Case{sim::DsoundFailure::NoClassObjectEntry, u" ERROR :GetProcAddress failed"},
          Case{sim::DsoundFailure::NoClassFactory, u" ERROR :Get class factory handle failed"},
          Case{sim::DsoundFailure::NoPropertySet, u" ERROR :CreateInstance failed"}}) {
        SCOPED_TRACE(plat::toUtf8(c.text));
        TearDown();
        pc = std::make_unique<sim::SimPc>();
        SetUp();
        pc->addAudioDevice(device(u"Speakers"));
        pc->setDsoundFailure(c.failure);
        start();
        pc->advance(1000);

        EXPECT_EQ(count(c.text), 2u);
        for (const char16_t* other :
             {u" ERROR :Load library failed", u" ERROR :GetProcAddress failed",
              u" ERROR :Get class factory handle failed", u" ERROR :CreateInstance failed"})
            if (plat::String(other) != c.text) {
                EXPECT_EQ(count(other), 0u) << plat::toUtf8(other);
            }
        EXPECT_EQ(audioDeviceCount(), 0); // the mixer count is not even read
        EXPECT_EQ(entry(1).name, u"");
        EXPECT_EQ(pc->audioObjectsOutstanding(), 0);
    }
}

TEST_F(AudioTable, WaveIdsOfNinetyNineAndMoreHaveNoEntry) {
    sim::AudioDeviceConfig last = device(u"Last Fit");
    last.waveId = 98;
    sim::AudioDeviceConfig beyond = device(u"Too Far");
    beyond.waveId = 99;
    sim::AudioDeviceConfig far = device(u"Far Too Far");
    far.waveId = 0xFFFFFFFF; // would wrap to index 0 if added to unchecked
    pc->addAudioDevice(last);
    pc->addAudioDevice(beyond);
    pc->addAudioDevice(far);
    start();

    EXPECT_EQ(entry(99).name, u"Last Fit");
    EXPECT_EQ(entry(99).waveId, 98u);
    EXPECT_EQ(entry(99).waveName, u"Last Fit");
    // "%2x": the wave id in hexadecimal, padded with a blank to two places.
    EXPECT_EQ(count(u" TRACE :\nWaveID = 62\nName = Last Fit\nGUID = " + entry(99).guid + u"\n"),
              2u);
    EXPECT_EQ(entry(0).name, shown::defaultAudioDevice);
    EXPECT_EQ(count(u" TRACE :Too Far"), 0u);
    // The count is bounded by the table as well.
    EXPECT_EQ(audioDeviceCount(), 3);

    // Reads and stores outside the table touch nothing.
    AudioDeviceEntry junk;
    junk.name = u"junk";
    storeDeviceEntry(100, junk);
    storeDeviceEntry(-1, junk);
    AudioDeviceEntry out;
    out.name = u"stale";
    readDeviceEntry(100, out);
    EXPECT_EQ(out.name, u"");
}

TEST_F(AudioTable, GuidTextIsTheRegistryFormInUpperCase) {
    EXPECT_EQ(guidText(plat::Guid{}), u"{00000000-0000-0000-0000-000000000000}");
    plat::Guid g = guidOf(0xA);
    g.data2 = 0xFF;
    EXPECT_EQ(guidText(g), u"{0000000A-00FF-0C3D-9F00-0AB1C2D3E405}");
    EXPECT_EQ(guidText(guidOf(0xDEADBEEF)), u"{DEADBEEF-A1B2-0C3D-9F00-0AB1C2D3E405}");
}

// ------------------------------------------------------------------ the virtual devices

TEST_F(AudioTable, VirtualDevicesNumberWaveIdsAndMixersAsWindowsDoes) {
    const sim::AudioDeviceId a = pc->addAudioDevice(device(u"First Card"));
    sim::AudioDeviceConfig fixed = device(u"Fixed");
    fixed.waveId = 1;
    pc->addAudioDevice(fixed);
    sim::AudioDeviceConfig named = device(u"A description longer than thirty-one characters");
    named.mixerName = u"Mixer Of Its Own";
    pc->addAudioDevice(named);
    sim::AudioDeviceConfig mic = device(u"Microphone");
    mic.capture = true;
    pc->addAudioDevice(mic);

    auto views = pc->audioDevices();
    ASSERT_EQ(views.size(), 4u);
    EXPECT_EQ(views[0].waveId, 0u);
    EXPECT_EQ(views[1].waveId, 1u);
    EXPECT_EQ(views[2].waveId, 2u); // skips the fixed id
    EXPECT_EQ(views[2].waveName, u"A description longer than thirt");
    EXPECT_EQ(views[3].waveId, 0u); // wave-in ids count apart
    EXPECT_NE(views[0].guid, views[2].guid);

    plat::Audio& audio = plat::audio();
    ASSERT_EQ(audio.mixerGetNumDevs(), 4u);
    plat::String name;
    ASSERT_TRUE(audio.mixerGetProductName(2, name));
    EXPECT_EQ(name, u"Mixer Of Its Own");
    ASSERT_TRUE(audio.mixerGetProductName(3, name));
    EXPECT_EQ(name, u"Microphone"); // recording mixers after the playback ones
    EXPECT_FALSE(audio.mixerGetProductName(4, name));

    // Removing the first renumbers those without a fixed id.
    ASSERT_TRUE(pc->removeAudioDevice(a));
    EXPECT_FALSE(pc->removeAudioDevice(a));
    views = pc->audioDevices();
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(views[0].waveId, 1u);
    EXPECT_EQ(views[1].waveId, 0u);

    // The transmitter's audio function follows it.
    const sim::TransmitterId t = pc->plugTransmitter();
    ASSERT_TRUE(pc->transmitterAudioDevice(t).has_value());
    EXPECT_EQ(audio.mixerGetNumDevs(), 4u);
    const auto tv = pc->audioDevices().back();
    EXPECT_NE(tv.interfacePath.find(u"vid_0b7a&pid_0100"), plat::String::npos);
    pc->unplugTransmitter(t);
    EXPECT_FALSE(pc->transmitterAudioDevice(t).has_value());
    EXPECT_EQ(audio.mixerGetNumDevs(), 3u);
}

TEST_F(AudioTable, AFreshMachineHasTheSoundMapperSetUpCountButNoPlayback) {
    const auto count = pc->value(
        plat::HKLM,
        u"SYSTEM\\CurrentControlSet\\Control\\MediaResources\\SetupPreferredAudioDevices\\",
        u"SetupPreferredAudioDevicesCount");
    ASSERT_TRUE(count.has_value());
    EXPECT_EQ(count->first, 4u); // REG_DWORD
    EXPECT_EQ(count->second, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_FALSE(
        pc->value(plat::HKCU, u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\", u"Playback")
            .has_value());
    EXPECT_TRUE(pc->audioDevices().empty());
    EXPECT_EQ(plat::audio().mixerGetNumDevs(), 0u);
}

} // namespace
