#pragma once

#include "bench/end_to_end_phase.h"

namespace draftwell::bench {

// As runEndToEnd, but without the bridge and the service: the ANT library is
// configured here and each latency ends in its channel callback on the
// message thread. Tells the library's share of the whole road from the rest.
EndToEndResult runLibraryLatency(const EndToEndPlan& plan);

} // namespace draftwell::bench
