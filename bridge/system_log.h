#pragma once

#include <string>

namespace draftwell {

// Writes one line, unchanged, to the system log (syslog, informational).
void writeSystemLog(const std::string& line);

} // namespace draftwell
