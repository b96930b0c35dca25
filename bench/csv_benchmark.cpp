// Writing a logging run of many laps to its CSV file.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

#include "app/lap_csv_logger.h"
#include "laps/lap_assembly_engine.h"
#include "laps/lap_data.h"

namespace {

std::vector<draftwell::LapDataRef> makeLaps(int count) {
    std::vector<draftwell::LapDataRef> laps;
    laps.reserve(static_cast<std::size_t>(count));
    for (int i = count; i > 0; --i) { // newest first
        auto lap = draftwell::makeLapData();
        lap->use = i % 5 != 0;
        lap->lap = i % 64;
        lap->cdA = 0.25 + (i % 7) * 0.001;
        lap->cdACal = lap->cdA * 1.01;
        lap->cal = 1.0 + (i % 7) * 0.001;
        lap->lapTime = 60.0 + i % 11;
        lap->dist = 800.0 + i % 13;
        lap->head = 90.0;
        lap->chest = 100.0;
        lap->riderPwr = 250.0 + i % 17;
        lap->speed = draftwell::LapAssemblyEngine::lapSpeed(lap->dist, lap->lapTime);
        lap->valid = true;
        lap->added = true;
        laps.push_back(std::move(lap));
    }
    return laps;
}

// Open (start line), then description, header and every lap, then close.
void BM_CsvWriteRun(benchmark::State& state) {
    const auto laps = makeLaps(static_cast<int>(state.range(0)));
    QTemporaryDir folder;
    if (!folder.isValid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const QString path = QDir(folder.path()).filePath(draftwell::LapCSVLogger::fileNameForRun(1));
    qint64 fileSize = 0;
    for (auto _ : state) {
        draftwell::LapCSVLogger logger;
        if (logger.open(path) || logger.finish(QStringLiteral("Bench run"), laps, QStringLiteral(","))) {
            state.SkipWithError("writing the run failed");
            break;
        }
        state.PauseTiming();
        fileSize = QFile(path).size();
        QFile::remove(path);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * fileSize);
}
BENCHMARK(BM_CsvWriteRun)->Arg(10000)->Unit(benchmark::kMillisecond);

// One row's text, the part of the run that grows with the laps.
void BM_CsvRow(benchmark::State& state) {
    const auto laps = makeLaps(1);
    for (auto _ : state) {
        auto row = draftwell::LapCSVLogger::row(*laps.front(), QStringLiteral(";"));
        benchmark::DoNotOptimize(row);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_CsvRow);

} // namespace
