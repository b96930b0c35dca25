#pragma once

#include <cstdint>
#include <optional>

namespace draftwell::bench {

// CPU time used so far by every thread of this process, in seconds.
double processCpuSeconds();

// Time the process's threads have spent runnable but waiting for a CPU
// (scheduler statistics), summed over the threads alive now, in seconds.
double runQueueWaitSeconds();

// Peak resident memory of this process (VmHWM), in KiB; empty if unreadable.
std::optional<std::int64_t> peakResidentKiB();

} // namespace draftwell::bench
