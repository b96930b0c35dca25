#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/configuration_comparison.h"
#include "analysis/sample_statistics.h"

namespace draftwell::analysis {

struct RunLap {
    bool use = true;
    double cdACal = 0.0;
    double lapTime = 0.0; // s; 0 when unknown
};

// One run as the board sees it: its name (the file, or the live run), its
// configuration (the trimmed description) and its laps, oldest first.
struct RunInput {
    std::string name;
    std::string configuration;
    std::optional<double> startSeconds; // since the epoch
    std::vector<RunLap> laps;
    bool excluded = false;
    bool live = false;
};

struct BoardSettings {
    std::optional<std::string> baseline; // default: the first included run's
    double speedKmh = 50.0;
    double airDensity = 1.20;
    // The difference worth resolving; default 1 % of the baseline mean.
    std::optional<double> targetCdA;
    std::optional<double> targetWatts; // used when no m² target is set
};

// A difference with its power and the basis it was worked on.
struct Comparison {
    enum class Basis { laps, runMeans, driftAdjusted };
    Basis basis = Basis::laps;
    Difference difference;
    double watts = 0.0; // at the board's speed and density; negative saves power
};

const char* basisText(Comparison::Basis basis); // "laps", "run means", "drift-adjusted"

// The change of the baseline between the runs around a test run.
struct BaselineDrift {
    std::string beforeRun;
    std::string afterRun;
    double weight = 0.0;
    Difference drift; // after − before
    bool warning = false;
};

struct RunRow {
    std::string name;
    std::string configuration;
    bool excluded = false;
    bool live = false;
    SampleStatistics stats; // ticked laps' CdACal
    std::optional<double> midSeconds;
    std::optional<Comparison> adjusted; // against the interpolated baseline
    std::optional<BaselineDrift> drift;
};

struct ConfigurationRow {
    std::string configuration;
    bool isBaseline = false;
    std::size_t runs = 0;
    SampleStatistics laps;
    SampleStatistics runMeans; // n = runs
    std::optional<Comparison> onLaps;
    std::optional<Comparison> onRunMeans; // both sides with two or more runs
    std::optional<LapsStillNeeded> needed;
};

struct ComparisonBoard {
    std::vector<RunRow> runs;
    std::vector<ConfigurationRow> configurations; // in order of first run
    std::optional<std::string> baseline;
    std::optional<double> targetCdA; // m², positive
    double speedKmh = 0.0;
    double airDensity = 0.0;
    bool driftWarning = false;

    const ConfigurationRow* configuration(const std::string& name) const;
};

ComparisonBoard buildComparisonBoard(const std::vector<RunInput>& runs, const BoardSettings& settings);

} // namespace draftwell::analysis
