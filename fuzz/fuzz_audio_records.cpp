// libFuzzer target: the records DirectSound's private device enumeration hands the audio
// device table (type, data flow, wave device id, GUID, description, interface path, all from
// the input) and the mixer count, through one enumeration pass. Checks that nothing reads or
// writes out of bounds (AddressSanitizer), that the count stays within the table, and, by the
// target's own reading of the rules, that each entry holds what the records say: render
// records of WDM type make an entry at their wave id + 1, named by their description (or as
// the transmitter when their path carries its USB ids), numbered when the name repeats;
// emulated records fill in the wave name; everything else, and every id beyond the table, is
// left alone.
#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "ProcessObjects.h"
#include "fuzz_support.h"
#include "no_threads.h"
#include "text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <map>
#include <vector>

namespace {

using fuzzing::check;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | byte();
        return v;
    }
    plat::String text(std::size_t max) {
        const std::size_t n = byte() % (max + 1);
        plat::String out;
        for (std::size_t i = 0; i < n && !empty(); ++i)
            out += static_cast<char16_t>(byte() | byte() << 8);
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// "dsound.dll" whose enumeration reports the records given, and a mixer count.
class RecordAudio final : public plat::Audio {
public:
    std::vector<plat::DsDeviceDescription> records;
    std::uint32_t mixers = 0;

    plat::Module loadDsound() override { return 1; }
    bool hasDllGetClassObject(plat::Module) override { return true; }
    plat::Handle getClassFactory(plat::Module) override { return 2; }
    plat::Handle createPropertySet(plat::Handle) override { return 3; }
    bool enumerateDevices(plat::Handle,
                          const std::function<bool(const plat::DsDeviceDescription&)>& callback) override {
        for (const auto& r : records)
            if (!callback(r))
                break;
        return true;
    }
    void release(plat::Handle) override {}
    void freeDsound(plat::Module) override {}
    std::uint32_t mixerGetNumDevs() override { return mixers; }
    bool mixerGetProductName(std::uint32_t, plat::String&) override { return false; }
};

// Paths are drawn from these, or taken from the input with the transmitter's ids taken out
// (so that the one rule checked is the exact one every spelling of the rule agrees on).
const char16_t* const kPaths[] = {
    u"\\\\?\\usb#Vid_0b7a&Pid_0100&MI_01#6&1a2b3c4d&0&0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}",
    u"\\\\?\\usb#vid_0b7a&pid_0100&mi_01#6&1a2b3c4d&0&0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}",
    u"\\\\?\\pci#ven_8086&dev_293e&subsys_01101028#3&11583659&0&d8#{65e8773d}",
    u"",
};

plat::String cleanPath(plat::String path) {
    for (char16_t& c : path)
        if (c == u'b' || c == u'B')
            c = u'x'; // no "0b7a" in any case
    return path;
}

struct World {
    World() {
        plat::Platform bundle = pc.bundle();
        threads = std::make_unique<qa_test::NoThreads>(*bundle.threads);
        bundle.threads = threads.get();
        bundle.audio = &audio;
        plat::install(bundle);
        startProcessObjects();
    }
    ~World() {
        plat::install({});
        endProcessObjects();
    }
    sim::SimPc pc;
    RecordAudio audio;
    std::unique_ptr<qa_test::NoThreads> threads;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& world = fuzzing::renewed<World>(20000);
    Input in(data, size);

    // A fresh table each time: the default entry and nothing else.
    AudioDeviceTable& table = *globals().audioDevices;
    for (auto& e : table.entries)
        e = AudioDeviceEntry{};
    table.count = 0;
    storeDefaultDeviceEntry();

    RecordAudio& audio = world.audio;
    audio.records.clear();
    audio.mixers = in.u32();
    for (int n = 0; !in.empty() && n < 64; ++n) {
        plat::DsDeviceDescription r;
        const std::uint8_t kind = in.byte();
        r.type = kind % 4;          // 0 emulated, 1 VXD, 2 WDM, 3 unknown
        r.dataFlow = (kind >> 2) % 3; // 0 render, 1 capture, 2 unknown
        r.waveDeviceId = (kind & 0x80) ? in.u32() : in.byte() % 110;
        r.deviceId.data1 = in.u32();
        r.deviceId.data2 = static_cast<std::uint16_t>(in.byte() << 8 | in.byte());
        r.description = in.text(80);
        if (in.byte() & 1)
            r.description += u" (emulated)";
        const std::uint8_t path = in.byte();
        r.interfacePath = path < std::size(kPaths) ? plat::String(kPaths[path]) : cleanPath(in.text(120));
        audio.records.push_back(std::move(r));
    }

    // The target's own reading of the rules, record by record.
    std::map<int, AudioDeviceEntry> expected;
    std::vector<plat::String> names;
    for (const auto& r : audio.records) {
        if (r.type == 1 || r.dataFlow == 1 || r.waveDeviceId >= 99)
            continue;
        const int index = static_cast<int>(r.waveDeviceId) + 1;
        if (r.type == 0) {
            AudioDeviceEntry e = expected.count(index) ? expected[index] : AudioDeviceEntry{};
            const std::size_t mark = r.description.find(u"(emulated)");
            e.waveName = mark == plat::String::npos || mark == 0 ? plat::String()
                                                                 : r.description.substr(0, mark - 1);
            expected[index] = e;
            continue;
        }
        // The USB ids in any letter case.
        plat::String lower = r.interfacePath;
        for (char16_t& c : lower)
            if (c >= u'A' && c <= u'Z')
                c = static_cast<char16_t>(c + 32);
        const bool transmitter = lower.find(u"vid_0b7a&pid_0100") != plat::String::npos;
        const plat::String name = transmitter ? plat::String(u"Quorvane Auravo") : r.description;
        names.push_back(name);
        long long same = 0;
        for (const auto& n : names)
            same += n == name;
        AudioDeviceEntry e;
        e.name = same > 1 ? name + u" (" + plat::fromAscii(std::to_string(same)) + u")" : name;
        e.guid = guidText(r.deviceId);
        e.waveId = r.waveDeviceId;
        expected[index] = e;
    }

    bool changed = false;
    TransmitterEndpoints endpoints;
    check(audioEnumerationPass(changed, endpoints));
    const std::int32_t count = audioDeviceCount();
    check(count >= 0 && count <= 99 && count == static_cast<std::int32_t>(std::min<std::uint32_t>(audio.mixers, 99)));
    check(changed == (count != 0));

    AudioDeviceEntry got;
    readDeviceEntry(0, got);
    check(got.name == u"Default Audio Device" && got.waveId == 0);
    for (int i = 1; i < kAudioDeviceTableSize; ++i) {
        readDeviceEntry(i, got);
        const auto it = expected.find(i);
        const AudioDeviceEntry want = it == expected.end() ? AudioDeviceEntry{} : it->second;
        check(got.name == want.name && got.guid == want.guid && got.waveId == want.waveId &&
              got.waveName == want.waveName);
        check(got.guid.empty() || got.guid.size() == 38);
    }
    return 0;
}
