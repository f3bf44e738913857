// Costs of the vendor link: decoding one input report, handling one listing entry, and a
// command written while the reader waits until the fresh reader waits again, on the
// simulated PC (real time; the median over repetitions is the figure to read).
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "PairedDevices.h"
#include "ProcessObjects.h"
#include "VendorProtocol.h"
#include "sim_pc.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace {

std::array<std::uint8_t, vendor::kReportSize> listingReport() {
    std::array<std::uint8_t, vendor::kReportSize> r;
    r.fill(0);
    r[0] = vendor::kReportId;
    r[2] = 2; // first entry of a listing of three
    const char name[] = "Living room receiver";
    std::copy(name, name + sizeof name - 1, r.begin() + vendor::kInName);
    for (std::size_t i = 0; i < 6; ++i)
        r[vendor::kInAddress + i] = static_cast<std::uint8_t>(0x10 + i);
    return r;
}

void BM_DecodeReport(benchmark::State& state) {
    const auto report = listingReport();
    for (auto _ : state) {
        vendor::DecodedReport decoded = vendor::decodeReport(report);
        benchmark::DoNotOptimize(decoded);
    }
}
BENCHMARK(BM_DecodeReport);

// A listing of 20 entries received again while all 20 are known: each entry is counted
// down and skipped, the everyday case after start-up.
void BM_ListingEntryKnown(benchmark::State& state) {
    const auto decoded = vendor::decodeReport(listingReport());
    PairedDevices list;
    for (std::int32_t i = 0; i < 20; ++i)
        list.receiveListingEntry(20 - i, decoded.name, decoded.address, 0);
    std::int32_t next = 20;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.receiveListingEntry(next, decoded.name, decoded.address, 0));
        next = next == 1 ? 20 : next - 1;
    }
}
BENCHMARK(BM_ListingEntryKnown);

// Entries that are new: each one is appended (the list is emptied every 128 entries).
void BM_ListingEntryAppended(benchmark::State& state) {
    const auto decoded = vendor::decodeReport(listingReport());
    PairedDevices list;
    std::int32_t next = 128;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.receiveListingEntry(next, decoded.name, decoded.address, 0));
        if (--next == 0) {
            next = 128;
            list.clear();
        }
    }
}
BENCHMARK(BM_ListingEntryAppended);

// MenuOpening written while the reader is blocked in its read: the reader is ended, the
// report written, and the fresh reader is blocked in its read again.
void BM_CommandWhileReaderWaits(benchmark::State& state) {
    auto pc = std::make_unique<sim::SimPc>();
    pc->install();
    startProcessObjects();
    sim::TransmitterConfig config;
    config.database = {{u"Kitchen", {0, 0x0B, 0x7A, 1, 0, 2}}, {u"Office", {0, 0x0B, 0x7A, 1, 0, 1}}};
    const sim::TransmitterId tx = pc->plugTransmitter(config);
    globals().transmitterPresent = 1;
    auto link = std::make_unique<DongleVendorCommunication>(
        plat::hid().open(pc->transmitterPath(tx, sim::HidCollectionRole::Vendor)));
    if (!pc->waitForTransmitterRead(tx)) {
        state.SkipWithError("the reader never waited");
    } else {
        for (auto _ : state) {
            link->sendMenuOpening();
            if (!pc->waitForTransmitterRead(tx)) {
                state.SkipWithError("the fresh reader never waited");
                break;
            }
        }
    }
    pc->endProcess();
    link.reset();
    pc.reset();
    plat::install({});
    endProcessObjects();
}
BENCHMARK(BM_CommandWhileReaderWaits)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
