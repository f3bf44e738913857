// libFuzzer target: the media-key reports the key forwarder reads from the transmitter's
// consumer-control collection. The input chooses the collection's declared report length and
// a series of raw reports of any length and content; the forwarder reads them on the
// simulated PC and forwards keys to iTunes running in the background. Checks that nothing
// reads or writes out of bounds (AddressSanitizer) and, decoding each report with the
// target's own key table, that exactly the media keys among them reach iTunes, in order, as
// WM_APPCOMMAND with the right command.
#include "ConsumerPageRead.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

using fuzzing::check;

// Byte 1 of a report: the low byte of a consumer usage.
std::optional<std::uint16_t> appCommandFor(std::uint8_t usage) {
    switch (usage) {
    case 0xB5: return 11; // next track
    case 0xB6: return 12; // previous track
    case 0xB7: return 13; // stop
    case 0xCD: return 14; // play/pause
    default: return std::nullopt;
    }
}

struct World : fuzzing::SimWorld {
    World() {
        sim::PlayerConfig itunes;
        itunes.name = u"iTunes";
        itunes.running = true;
        pc.installPlayer(itunes);
        // Something else in front: iTunes in the background is sent every media key.
        pc.setForeground(pc.createForeignWindow(u"Notepad", u"notes"));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    sim::SimPc& pc = fuzzing::renewed<World>(2000).pc;

    sim::TransmitterConfig config;
    config.consumerInputLength = static_cast<std::uint16_t>(data[0] % 70);
    config.noticeGapMs = 0;
    const sim::TransmitterId tx = pc.plugTransmitter(config, sim::InterfaceNotices::None);
    globals().transmitterPresent = 1;
    const std::size_t before = pc.playerAppCommands(u"iTunes").size();
    {
        const plat::Handle consumer =
            plat::hid().open(pc.transmitterPath(tx, sim::HidCollectionRole::Consumer));
        check(consumer != 0);
        ConsumerPageRead forwarder(consumer);
        // A collection that declares no input report gives reads of nothing: the key thread
        // retries once a second and never has a read pending.
        const bool reads = config.consumerInputLength > 0;
        const auto settle = [&] {
            if (reads)
                check(pc.waitForTransmitterRead(tx, sim::HidCollectionRole::Consumer));
            else
                pc.advance(1100);
        };
        settle();

        // Reports: a length byte, then that many bytes (cut to what is left), at most 40.
        std::vector<std::uint16_t> expected;
        std::size_t at = 1;
        for (int n = 0; at < size && n < 40; ++n) {
            const std::size_t wanted = data[at++] % 80;
            const std::size_t length = std::min<std::size_t>(wanted, size - at);
            std::vector<std::uint8_t> report(data + at, data + at + length);
            at += length;
            // The device cannot send more than it declares.
            if (report.size() > config.consumerInputLength)
                report.resize(config.consumerInputLength);
            if (report.size() >= 2)
                if (const auto command = appCommandFor(report[1]))
                    expected.push_back(*command);
            pc.transmitterSendRaw(tx, report, sim::HidCollectionRole::Consumer);
            // An empty read is taken for a failed one: the thread pauses a second first.
            if (report.empty() && reads)
                pc.advance(1100);
            settle();
        }

        const auto received = pc.playerAppCommands(u"iTunes");
        check(received.size() == before + expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const sim::PlayerAppCommand& c = received[before + i];
            check(c.command == expected[i] && c.wParam == 0 &&
                  c.lParam == static_cast<plat::LParam>(expected[i]) << 16);
        }
        globals().transmitterPresent = 0;
    }
    pc.unplugTransmitter(tx, sim::InterfaceNotices::None);
    check(pc.waitIdle());
    return 0;
}
