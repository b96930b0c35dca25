// What recording costs the stick's I/O threads: one broadcast chunk appended to a recording file.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "ant/usb/stick_recorder.h"

namespace {

// A broadcast with extended data, as the stick sends it several times a second.
constexpr std::uint8_t kBroadcast[] = {0xA4, 0x0E, 0x4E, 0x00, 0x01, 0xE4, 0x09, 0xE4, 0x25,
                                       0x53, 0x73, 0x01, 0x80, 0x39, 0x30, 0x71, 0x05, 0x15};

void BM_RecordStickChunk(benchmark::State& state) {
    const std::string path = "/tmp/bench-stick-recording-" + std::to_string(::getpid()) + ".txt";
    std::string error;
    auto recorder = StickRecorder::Create(path, {}, error);
    if (!recorder) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        recorder->Stick(kBroadcast, sizeof kBroadcast);
    }
    recorder.reset();
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordStickChunk);

} // namespace

BENCHMARK_MAIN();
