#pragma once

#include <QString>

#include <functional>

#include "cli/cli_options.h"

namespace draftwell {

// Prints the comparison board of options.compareFolder as text or JSON.
// Returns the exit status: 0 printed, 1 the folder cannot be listed.
int printComparison(const CliOptions& options, const std::function<void(const QString&)>& print,
                    const std::function<void(const QString&)>& printError);

} // namespace draftwell
