// The service's packet handler with a full run of laps in its list,
// recalculation of the session summary and calibration included.
#include <benchmark/benchmark.h>

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ant_scanner_service.h"
#include "bench/lap_broadcasts.h"

namespace {

constexpr std::uint16_t kDeviceNumber = 12345;
// The list may grow this far past the requested size before it is rebuilt.
constexpr int kGrowthAllowance = 16;

QByteArray payload(int lapIndex, int page) {
    const auto bytes = draftwell::bench::runLapPage(lapIndex, page);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::unique_ptr<draftwell::ANTScannerService> serviceWithLaps(int laps) {
    auto service = std::make_unique<draftwell::ANTScannerService>(nullptr);
    for (int lap = 0; lap < laps; ++lap) {
        for (int page = 0; page < 3; ++page) {
            service->handlePacket(payload(lap, page), kDeviceNumber);
        }
    }
    return service;
}

// Every broadcast after a lap completes until the next lap: a page already merged.
void BM_ServiceRepeatedPage(benchmark::State& state) {
    const int laps = static_cast<int>(state.range(0));
    auto service = serviceWithLaps(laps);
    const QByteArray repeated = payload(laps - 1, 1);
    for (auto _ : state) {
        service->handlePacket(repeated, kDeviceNumber);
    }
    if (service->allLapData().size() != static_cast<std::size_t>(laps)) {
        state.SkipWithError(
            ("lap list changed size: " + std::to_string(service->allLapData().size())).c_str());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ServiceRepeatedPage)->Arg(200);

// The three pages of a new lap; the third completes it and recalculates.
void BM_ServiceNewLap(benchmark::State& state) {
    const int laps = static_cast<int>(state.range(0));
    auto service = serviceWithLaps(laps);
    int next = laps;
    for (auto _ : state) {
        if (next == laps + kGrowthAllowance) {
            state.PauseTiming();
            service = serviceWithLaps(laps);
            next = laps;
            state.ResumeTiming();
        }
        for (int page = 0; page < 3; ++page) {
            service->handlePacket(payload(next, page), kDeviceNumber);
        }
        ++next;
    }
    if (service->allLapData().size() != static_cast<std::size_t>(next)) {
        state.SkipWithError("a lap did not complete");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 3);
    state.SetLabel("items are pages; one lap in three pages");
}
BENCHMARK(BM_ServiceNewLap)->Arg(200)->Unit(benchmark::kMicrosecond);

// The recalculation alone, as after the user toggles a lap's use flag.
void BM_ServiceUpdateSessionData(benchmark::State& state) {
    auto service = serviceWithLaps(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        service->updateSessionData();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ServiceUpdateSessionData)->Arg(200)->Unit(benchmark::kMicrosecond);

} // namespace
