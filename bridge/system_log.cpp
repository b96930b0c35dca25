#include "bridge/system_log.h"

#include <syslog.h>

namespace draftwell {

void writeSystemLog(const std::string& line) {
    // Never used as a format: the line may hold '%'.
    syslog(LOG_USER | LOG_INFO, "%s", line.c_str());
}

} // namespace draftwell
