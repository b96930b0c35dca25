// bench-end-to-end: the virtual stick on a pseudo-terminal, read through the
// serial-port kind, the ANT library, the bridge and the service; measures
// latency from broadcast to published lap progress and the CPU it costs.
#include <QCoreApplication>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/end_to_end_phase.h"
#include "bench/latency_summary.h"
#include "bench/library_latency_phase.h"
#include "bench/process_usage.h"

namespace {

using draftwell::bench::EndToEndPlan;
using draftwell::bench::EndToEndResult;
using draftwell::bench::LatencySummary;

constexpr double kLatencyMedianTargetMs = 1.0;
constexpr double kLatencyP99TargetMs = 3.0;
constexpr double kIdleCpuTargetPercent = 0.1;
constexpr std::size_t kLatencySamplesWanted = 2000;

EndToEndPlan plan(const std::string& name, int broadcastsPerSecond, std::chrono::milliseconds window) {
    EndToEndPlan p;
    p.name = name;
    p.scenario.seed = 1;
    // A new lap every 10 s: each window also sees laps complete and recalculate.
    p.scenario.lapInterval = std::chrono::milliseconds(10000);
    if (broadcastsPerSecond == 0) {
        // Scanning, but nothing on the air.
        p.scenario.silence = true;
        p.scenario.silenceAfter = std::chrono::milliseconds(0);
        p.broadcasts = false;
    } else {
        p.scenario.broadcastPeriod = std::chrono::milliseconds(1000 / broadcastsPerSecond);
    }
    p.window = window;
    return p;
}

void printResult(const EndToEndResult& r) {
    if (!r.error.empty()) {
        std::printf("%-8s FAILED: %s\n", r.name.c_str(), r.error.c_str());
        return;
    }
    const LatencySummary l = LatencySummary::of(r.latenciesMs);
    const double waitMsPerSecond = r.wallSeconds > 0 ? r.runQueueWaitSeconds / r.wallSeconds * 1000.0 : 0;
    std::printf("%-8s %6.1f %6lld %6lld %5lld %9.3f %9.3f %7.2f %7zu %7.3f %7.3f %7.3f %7.3f\n",
                r.name.c_str(), r.wallSeconds, static_cast<long long>(r.sent),
                static_cast<long long>(r.published), static_cast<long long>(r.lost), r.hostCpuPercent(),
                r.totalCpuPercent(), waitMsPerSecond, l.count, l.median, l.p90, l.p99, l.max);
}

void printVerdict(const char* what, double measured, double target, const char* unit) {
    std::printf("%-34s %9.3f %-3s target %7.3f %-3s ratio %6.2f  %s\n", what, measured, unit, target, unit,
                target > 0 ? measured / target : 0, measured <= target ? "met" : "MISSED");
}

bool writeSamples(const std::string& path, const std::vector<EndToEndResult>& results) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    for (const EndToEndResult& r : results) {
        for (std::size_t i = 0; i < r.latenciesMs.size(); ++i) {
            std::fprintf(file, "%s %.6f %.4f\n", r.name.c_str(), r.sentAtSeconds[i], r.latenciesMs[i]);
        }
    }
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // The service's settings must not touch the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);

    bool quick = false;
    std::string only;
    std::string samplesPath;
    int windowSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else if (std::strcmp(argv[i], "--window") == 0 && i + 1 < argc) {
            windowSeconds = std::atoi(argv[++i]);
            if (windowSeconds <= 0) {
                std::fprintf(stderr, "--window needs a number of seconds above 0\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--samples") == 0 && i + 1 < argc) {
            samplesPath = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--only idle|8/s|20/s|100/s|lib100/s] [--window SECONDS]\n"
                         "       [--samples FILE]\n"
                         "  --quick    1 s windows: proves the road works, measures nothing useful\n"
                         "  --window   measure every phase this long instead of 20 to 30 s\n"
                         "  --samples  write every latency (phase, sent at s, latency ms) to FILE\n",
                         argv[0]);
            return 2;
        }
    }
    using std::chrono::milliseconds;
    const auto window = [quick, windowSeconds](int seconds) {
        return milliseconds(quick ? 1000 : (windowSeconds > 0 ? windowSeconds : seconds) * 1000);
    };
    std::vector<EndToEndPlan> plans{plan("idle", 0, window(20)), plan("8/s", 8, window(30)),
                                    plan("20/s", 20, window(15)), plan("100/s", 100, window(25)),
                                    plan("lib100/s", 100, window(25))};

    std::printf("%-8s %6s %6s %6s %5s %9s %9s %7s %7s %7s %7s %7s %7s\n", "phase", "wall s", "sent", "publ",
                "lost", "host CPU%", "all CPU%", "wait/s", "samples", "med ms", "p90 ms", "p99 ms", "max ms");
    double loadBefore[3] = {};
    const bool haveLoad = getloadavg(loadBefore, 3) == 3;
    std::vector<EndToEndResult> results;
    bool failed = false;
    for (const EndToEndPlan& p : plans) {
        if (!only.empty() && p.name != only) {
            continue;
        }
        // The last plan stops at the library's channel callback: the library's share of the latency.
        const bool libraryOnly = p.name.rfind("lib", 0) == 0;
        results.push_back(libraryOnly ? draftwell::bench::runLibraryLatency(p)
                                      : draftwell::bench::runEndToEnd(p));
        printResult(results.back());
        std::fflush(stdout);
        failed = failed || !results.back().error.empty();
    }
    std::printf("wait/s: ms per second that this process's threads were ready to run but had no CPU\n");
    double loadAfter[3] = {};
    if (haveLoad && getloadavg(loadAfter, 3) == 3) {
        std::printf("load average of the machine (1 min): %.2f before, %.2f after, on %ld cores\n",
                    loadBefore[0], loadAfter[0], sysconf(_SC_NPROCESSORS_ONLN));
    }
    if (const auto peak = draftwell::bench::peakResidentKiB()) {
        std::printf("peak resident memory of this process (stick included): %.1f MiB\n",
                    static_cast<double>(*peak) / 1024.0);
    }
    if (!samplesPath.empty() && !writeSamples(samplesPath, results)) {
        std::fprintf(stderr, "cannot write %s\n", samplesPath.c_str());
        failed = true;
    }
    if (failed) {
        return 1;
    }

    std::printf("\n");
    for (const EndToEndResult& r : results) {
        if (r.name == "idle") {
            printVerdict("idle CPU, % of one core", r.hostCpuPercent(), kIdleCpuTargetPercent, "%");
        }
        if (r.name == "100/s") {
            const LatencySummary l = LatencySummary::of(r.latenciesMs);
            if (l.count < kLatencySamplesWanted && !quick) {
                std::printf("only %zu latency samples, fewer than %zu\n", l.count, kLatencySamplesWanted);
            }
            printVerdict("latency median at 100/s", l.median, kLatencyMedianTargetMs, "ms");
            printVerdict("latency p99 at 100/s", l.p99, kLatencyP99TargetMs, "ms");
        }
        if (r.name == "lib100/s") {
            const LatencySummary l = LatencySummary::of(r.latenciesMs);
            std::printf("of which up to the library's channel callback: median %.3f ms, p99 %.3f ms\n",
                        l.median, l.p99);
        }
    }
    return 0;
}
