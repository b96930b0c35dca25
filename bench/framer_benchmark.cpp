// Framer throughput: received bytes through ProcessByte into the message
// queue and out again through GetMessage.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "ant/dsi_framer_ant.h"
#include "bench/lap_broadcasts.h"

namespace {

constexpr std::uint16_t kDeviceNumber = 12345;

// The stream is far below the queue's capacity, so nothing overflows between drains.
void BM_FramerFillThenDrain(benchmark::State& state) {
    const std::vector<std::uint8_t> stream =
        draftwell::bench::broadcastStream(static_cast<int>(state.range(0)), kDeviceNumber);
    DSIFramerANT framer;
    ANT_MESSAGE message{};
    std::int64_t messages = 0;
    for (auto _ : state) {
        for (const std::uint8_t byte : stream) {
            framer.ProcessByte(byte);
        }
        while (framer.GetMessage(&message) != DSI_FRAMER_EMPTY) {
            ++messages;
        }
        benchmark::DoNotOptimize(message);
    }
    if (messages != static_cast<std::int64_t>(state.iterations()) * state.range(0) * 3) {
        state.SkipWithError("framer lost or invented messages");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
    state.SetItemsProcessed(messages);
}
BENCHMARK(BM_FramerFillThenDrain)->Arg(1000);

// As the library uses it: each message taken as soon as it is complete.
void BM_FramerMessageByMessage(benchmark::State& state) {
    const std::vector<std::uint8_t> frame =
        draftwell::bench::broadcastFrame(draftwell::bench::lapPage(5, 0), kDeviceNumber);
    DSIFramerANT framer;
    ANT_MESSAGE message{};
    std::int64_t messages = 0;
    for (auto _ : state) {
        for (const std::uint8_t byte : frame) {
            framer.ProcessByte(byte);
        }
        if (framer.GetMessage(&message) != DSI_FRAMER_EMPTY) {
            ++messages;
        }
        benchmark::DoNotOptimize(message);
    }
    if (messages != static_cast<std::int64_t>(state.iterations())) {
        state.SkipWithError("framer lost or invented messages");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(frame.size()));
    state.SetItemsProcessed(messages);
}
BENCHMARK(BM_FramerMessageByMessage);

// What ProcessByte pays for its receive lock on every byte, for comparison.
void BM_ReceiveLockPerByte(benchmark::State& state) {
    DSI_MUTEX mutex{};
    if (DSIThread_MutexInit(&mutex) != DSI_THREAD_ENONE) {
        state.SkipWithError("no mutex");
        return;
    }
    for (auto _ : state) {
        DSIThread_MutexLock(&mutex);
        benchmark::ClobberMemory();
        DSIThread_MutexUnlock(&mutex);
    }
    DSIThread_MutexDestroy(&mutex);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ReceiveLockPerByte);

} // namespace

BENCHMARK_MAIN();
