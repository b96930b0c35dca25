#pragma once

#include <string>
#include <vector>

#include "sim/scenario.h"

namespace antsim {

struct ScenarioArguments {
    Scenario scenario;
    bool helpRequested = false;
    std::string error; // empty when the arguments were understood
};

// Reads the scenario options of the command line (program name excluded).
ScenarioArguments parseScenarioArguments(const std::vector<std::string>& args);

// The --help text, explaining every scenario option.
std::string scenarioHelpText(const std::string& programName);

} // namespace antsim
