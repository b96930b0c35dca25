// bench-desktop-load: the desktop program's windows and service with a full
// run of laps and full logs, connected to a stick (e.g. ant-stick-sim on a
// pseudo-terminal, or the built-in virtual stick) and receiving; reports its
// CPU load and peak memory.
#include <QApplication>
#include <QByteArray>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "app/ant_scanner_service.h"
#include "bench/event_loop_wait.h"
#include "bench/lap_broadcasts.h"
#include "bench/paint_counter.h"
#include "bench/process_usage.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/scanner_device_setup.h"
#include "bridge/scanner_program_options.h"
#include "sim/scenario.h"
#include "ui/lap_logger_app.h"

namespace {

// The simulated Garmin's own number: each transmitter has a lane of its own,
// and the live laps must land in the lane that the prefill filled.
const std::uint16_t kPrefillDeviceNumber = antsim::Scenario{}.firstDeviceNumber;
constexpr std::chrono::milliseconds kOpenLimit{20000};

struct Options {
    QString device;
    bool simulate = false;
    int laps = 200;
    int windowSeconds = 20;
    int settleSeconds = 5;
};

bool parseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--simulate") == 0) {
            o.simulate = true;
        } else if (std::strcmp(argv[i], "--device") == 0 && hasValue) {
            o.device = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--laps") == 0 && hasValue) {
            o.laps = std::stoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--window") == 0 && hasValue) {
            o.windowSeconds = std::stoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--settle") == 0 && hasValue) {
            o.settleSeconds = std::stoi(argv[++i]);
        } else {
            return false;
        }
    }
    return !o.device.isEmpty() != o.simulate && o.laps >= 0 && o.windowSeconds > 0 && o.settleSeconds >= 0;
}

bool parse(int argc, char** argv, Options& o) {
    try {
        return parseArguments(argc, argv, o);
    } catch (const std::exception&) {
        return false; // a number that does not parse
    }
}

// Laps and log lines as a long session leaves them: the lap table and both
// log panes full before the first live broadcast.
void fillSession(draftwell::ANTScannerService& service, int laps) {
    for (int lap = 0; lap < laps; ++lap) {
        for (int page = 0; page < 3; ++page) {
            const auto bytes = draftwell::bench::runLapPage(lap, page);
            service.handlePacket(
                QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
                kPrefillDeviceNumber);
        }
    }
    for (qsizetype i = 0; i < draftwell::ANTScannerService::maxLogLines; ++i) {
        service.appendLog(QStringLiteral("12:00:00.000 RX [54321] 05 10 0C 10 27 40 E2 01 (%1)").arg(i));
        service.appendLog(QStringLiteral("12:00:00.000 Earlier message %1").arg(i));
    }
}

} // namespace

int main(int argc, char** argv) {
    // The service's settings must not touch the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(
            stderr, "usage: %s --device PATH | --simulate [--laps N] [--window SECONDS] [--settle SECONDS]\n",
            argv[0]);
        return 2;
    }

    draftwell::ScannerProgramOptions scanner;
    scanner.devicePath = options.device;
    scanner.simulate = options.simulate;
    const draftwell::ScannerDeviceSetup devices(scanner);
    draftwell::LapLoggerApp shell(std::make_unique<draftwell::ANTScannerBridge>(scanner.networkKey));
    shell.start();
    shell.openWindow(QStringLiteral("lap-data-popout"));
    draftwell::ANTScannerService& service = shell.service();
    fillSession(service, options.laps);

    std::int64_t published = 0;
    QObject::connect(&service, &draftwell::ANTScannerService::packetProgressChanged, &service,
                     [&published] { ++published; });
    service.connect();
    if (!draftwell::bench::waitUntil(
            &service, &draftwell::ANTScannerService::isOpenChanged, [&] { return service.isOpen(); },
            kOpenLimit)) {
        std::fprintf(stderr, "the scanner did not open within 20 s\n");
        shell.terminate();
        return 1;
    }
    const std::int64_t publishedAtOpen = published;
    if (!draftwell::bench::waitUntil(
            &service, &draftwell::ANTScannerService::packetProgressChanged,
            [&] { return published > publishedAtOpen; }, kOpenLimit)) {
        std::fprintf(stderr, "no broadcast arrived within 20 s of opening\n");
        shell.terminate();
        return 1;
    }
    draftwell::bench::runEventLoopFor(std::chrono::seconds(options.settleSeconds));

    draftwell::bench::PaintCounter paints;
    const std::int64_t publishedBefore = published;
    const double cpuStart = draftwell::bench::processCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    paints.setCounting(true);
    draftwell::bench::runEventLoopFor(std::chrono::seconds(options.windowSeconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = draftwell::bench::processCpuSeconds() - cpuStart;
    const std::int64_t pages = published - publishedBefore;
    paints.setCounting(false);

    std::printf("laps in list          %zu\n", service.allLapData().size());
    std::printf("log lines             %lld all, %lld data, %lld message\n",
                static_cast<long long>(service.logs().size()),
                static_cast<long long>(service.dataLogs().size()),
                static_cast<long long>(service.messageLogs().size()));
    std::printf("broadcasts received   %lld in %.1f s (%.1f a second)\n", static_cast<long long>(pages), wall,
                static_cast<double>(pages) / wall);
    std::printf("CPU                   %.3f %% of one core\n", cpu / wall * 100.0);
    if (const auto peak = draftwell::bench::peakResidentKiB()) {
        std::printf("peak resident memory  %.1f MiB\n", static_cast<double>(*peak) / 1024.0);
    }
    std::printf("repaints per broadcast, by widget class: paint events, area in pixels\n");
    const double perPage = pages > 0 ? 1.0 / static_cast<double>(pages) : 0.0;
    for (const auto& [name, tally] : paints.byClass()) {
        std::printf("  %-28s %6.2f %9.0f\n", qPrintable(name), static_cast<double>(tally.events) * perPage,
                    tally.pixels * perPage);
    }
    std::fflush(stdout);
    shell.terminate();
    return 0;
}
