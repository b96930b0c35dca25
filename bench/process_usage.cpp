#include "bench/process_usage.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace draftwell::bench {

double processCpuSeconds() {
    timespec ts{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0) {
        return 0;
    }
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double runQueueWaitSeconds() {
    std::error_code error;
    std::int64_t waitedNs = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        // Fields: time on a CPU, time waiting to run (both ns), time slices.
        std::ifstream schedstat(task.path() / "schedstat");
        std::int64_t onCpu = 0;
        std::int64_t waiting = 0;
        if (schedstat >> onCpu >> waiting) {
            waitedNs += waiting;
        }
    }
    return static_cast<double>(waitedNs) * 1e-9;
}

std::optional<std::int64_t> peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            std::int64_t kib = 0;
            if (fields >> kib) {
                return kib;
            }
        }
    }
    return std::nullopt;
}

} // namespace draftwell::bench
