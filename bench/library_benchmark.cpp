// The library's routing of broadcasts to the channel callback, with decoding
// and lap assembly of every page, through the serial receive thread, the
// framer and the message thread.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "ant/ant.h"
#include "ant/usb/usb_device_kind.h"
#include "bench/feed_device_kind.h"
#include "bench/feed_stick.h"
#include "bench/lap_broadcasts.h"
#include "laps/lap_assembly_engine.h"
#include "laps/lap_packet.h"

namespace {

constexpr std::uint16_t kDeviceNumber = 12345;
constexpr std::size_t kBufferSize = 64;
// Bounds memory over millions of pages; a clear is rare next to the pages.
constexpr std::size_t kMaxKeptLaps = 1000;

// What the channel callback does with each broadcast: what the service does
// with a payload, minus publishing it.
struct PageSink {
    std::mutex mutex;
    std::condition_variable routed;
    std::int64_t pages = 0;
    draftwell::LapAssemblyEngine engine;
    std::uint8_t channelBuffer[kBufferSize] = {};
    std::uint8_t responseBuffer[kBufferSize] = {};
};

PageSink* gSink = nullptr;

bool onResponse(std::uint8_t, std::uint8_t) {
    return true;
}

bool onChannelEvent(std::uint8_t, std::uint8_t event) {
    if (event != ANT_EVENT_RX_FLAG_BROADCAST) {
        return true;
    }
    PageSink& sink = *gSink;
    // Byte 0 is the channel; the 8 payload bytes follow.
    const auto page = draftwell::decodeLapPage(std::span<const std::uint8_t>(sink.channelBuffer + 1, 8));
    if (page) {
        sink.engine.process(*page);
        if (sink.engine.completedLaps().size() >= kMaxKeptLaps) {
            sink.engine.clearCompletedLaps();
        }
    }
    {
        const std::lock_guard lock(sink.mutex);
        ++sink.pages;
    }
    sink.routed.notify_one();
    return true;
}

void BM_LibraryRouteDecodeAssemble(benchmark::State& state) {
    const int lapsPerBatch = static_cast<int>(state.range(0));
    const std::vector<std::uint8_t> batch = draftwell::bench::broadcastStream(lapsPerBatch, kDeviceNumber);
    const std::int64_t pagesPerBatch = lapsPerBatch * 3;

    auto stick = std::make_shared<draftwell::bench::FeedStick>();
    const std::vector<USBDeviceKind> previousKinds = GetUSBDeviceKinds();
    SetUSBDeviceKinds({draftwell::bench::feedDeviceKind(stick)});
    auto sink = std::make_unique<PageSink>();
    gSink = sink.get();
    if (!ANT_Init(0, 57600)) {
        SetUSBDeviceKinds(previousKinds);
        state.SkipWithError("ANT_Init failed on the feed stick");
        return;
    }
    ANT_SetResponseCallback(onResponse, sink->responseBuffer);
    ANT_SetChannelEventCallback(0, onChannelEvent, sink->channelBuffer);

    std::int64_t expected = 0;
    bool stalled = false;
    for (auto _ : state) {
        expected += pagesPerBatch;
        stick->feed(batch);
        std::unique_lock lock(sink->mutex);
        // Generous: a batch takes milliseconds; only a broken pipeline takes this long.
        if (!sink->routed.wait_for(lock, std::chrono::seconds(10), [&] { return sink->pages >= expected; })) {
            stalled = true;
            break;
        }
    }

    ANT_ClearCallbacks();
    ANT_Close();
    gSink = nullptr;
    SetUSBDeviceKinds(previousKinds);
    if (stalled) {
        state.SkipWithError("pages were not routed within 10 s");
        return;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * pagesPerBatch);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(batch.size()));
}
BENCHMARK(BM_LibraryRouteDecodeAssemble)->Arg(1)->Arg(100)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Decoding and assembly alone, on one thread.
void BM_DecodeAndAssemble(benchmark::State& state) {
    std::vector<draftwell::bench::LapPageBytes> pages;
    for (int lap = 1; lap <= 63; ++lap) {
        for (int page = 0; page < 3; ++page) {
            pages.push_back(draftwell::bench::lapPage(static_cast<std::uint8_t>(lap), page));
        }
    }
    draftwell::LapAssemblyEngine engine;
    std::size_t next = 0;
    for (auto _ : state) {
        const auto page = draftwell::decodeLapPage(pages[next]);
        auto update = engine.process(*page);
        benchmark::DoNotOptimize(update);
        if (++next == pages.size()) {
            next = 0;
        }
        if (engine.completedLaps().size() >= kMaxKeptLaps) {
            engine.clearCompletedLaps();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DecodeAndAssemble);

// The common case once a lap is complete: the Garmin repeats its pages.
void BM_DecodeAndAssembleRepeatedPage(benchmark::State& state) {
    draftwell::LapAssemblyEngine engine;
    for (int page = 0; page < 3; ++page) {
        engine.process(*draftwell::decodeLapPage(draftwell::bench::lapPage(7, page)));
    }
    const auto repeated = draftwell::bench::lapPage(7, 1);
    for (auto _ : state) {
        const auto page = draftwell::decodeLapPage(repeated);
        auto update = engine.process(*page);
        benchmark::DoNotOptimize(update);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DecodeAndAssembleRepeatedPage);

} // namespace

BENCHMARK_MAIN();
