// Benchmark entry for code that needs a QCoreApplication on the main thread.
#include <QCoreApplication>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    // Keeps the service's settings away from the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
