#include "analysis/comparison_board.h"

#include <cmath>

namespace draftwell::analysis {

namespace {

std::vector<double> countedLaps(const RunInput& run) {
    std::vector<double> values;
    for (const RunLap& lap : run.laps) {
        if (lap.use && std::isfinite(lap.cdACal)) {
            values.push_back(lap.cdACal);
        }
    }
    return values;
}

std::optional<double> midTime(const RunInput& run) {
    if (!run.startSeconds) {
        return std::nullopt;
    }
    double total = 0.0;
    for (const RunLap& lap : run.laps) {
        if (std::isfinite(lap.lapTime) && lap.lapTime > 0.0) {
            total += lap.lapTime;
        }
    }
    return *run.startSeconds + total / 2.0;
}

std::optional<Comparison> compared(const std::optional<Difference>& d, Comparison::Basis basis,
                                   const BoardSettings& settings) {
    if (!d) {
        return std::nullopt;
    }
    return Comparison{basis, *d, wattsForCdA(d->delta, settings.airDensity, settings.speedKmh)};
}

// The baseline runs just before and just after a test run, by mid-time.
void addDrift(RunRow& row, const std::vector<RunRow>& rows, const std::string& baseline,
              const BoardSettings& settings, double target) {
    const RunRow* before = nullptr;
    const RunRow* after = nullptr;
    for (const RunRow& other : rows) {
        if (other.excluded || other.configuration != baseline || !other.midSeconds || other.stats.n == 0) {
            continue;
        }
        if (*other.midSeconds < *row.midSeconds && (!before || *other.midSeconds > *before->midSeconds)) {
            before = &other;
        }
        if (*other.midSeconds > *row.midSeconds && (!after || *other.midSeconds < *after->midSeconds)) {
            after = &other;
        }
    }
    if (!before || !after) {
        return;
    }
    const double w = interpolationWeight(*before->midSeconds, *row.midSeconds, *after->midSeconds);
    row.adjusted = compared(driftAdjustedDifference(row.stats, before->stats, after->stats, w),
                            Comparison::Basis::driftAdjusted, settings);
    const auto drift = welchDifference(after->stats, before->stats);
    if (!drift) {
        return;
    }
    const bool warning = drift->confidence.low > 0.0 || drift->confidence.high < 0.0 ||
                         (target > 0.0 && std::fabs(drift->delta) >= target);
    row.drift = BaselineDrift{before->name, after->name, w, *drift, warning};
}

} // namespace

const char* basisText(Comparison::Basis basis) {
    switch (basis) {
    case Comparison::Basis::laps:
        return "laps";
    case Comparison::Basis::runMeans:
        return "run means";
    case Comparison::Basis::driftAdjusted:
        break;
    }
    return "drift-adjusted";
}

const ConfigurationRow* ComparisonBoard::configuration(const std::string& name) const {
    for (const ConfigurationRow& row : configurations) {
        if (row.configuration == name) {
            return &row;
        }
    }
    return nullptr;
}

ComparisonBoard buildComparisonBoard(const std::vector<RunInput>& runs, const BoardSettings& settings) {
    ComparisonBoard board;
    board.speedKmh = settings.speedKmh;
    board.airDensity = settings.airDensity;

    struct Pool {
        std::vector<double> laps;
        std::vector<double> runMeans;
    };
    std::vector<Pool> pools;
    for (const RunInput& run : runs) {
        const std::vector<double> values = countedLaps(run);
        RunRow row;
        row.name = run.name;
        row.configuration = run.configuration;
        row.excluded = run.excluded;
        row.live = run.live;
        row.stats = describe(values);
        row.midSeconds = midTime(run);
        board.runs.push_back(row);
        if (run.excluded) {
            continue;
        }
        std::size_t index = 0;
        while (index < board.configurations.size() &&
               board.configurations[index].configuration != run.configuration) {
            ++index;
        }
        if (index == board.configurations.size()) {
            ConfigurationRow added;
            added.configuration = run.configuration;
            board.configurations.push_back(added);
            pools.emplace_back();
        }
        if (!values.empty()) {
            pools[index].laps.insert(pools[index].laps.end(), values.begin(), values.end());
            pools[index].runMeans.push_back(row.stats.mean);
        }
    }
    for (std::size_t i = 0; i < board.configurations.size(); ++i) {
        ConfigurationRow& row = board.configurations[i];
        row.laps = describe(pools[i].laps);
        row.runMeans = describe(pools[i].runMeans);
        row.runs = pools[i].runMeans.size();
    }
    if (board.configurations.empty()) {
        return board;
    }

    const ConfigurationRow* baseline = settings.baseline ? board.configuration(*settings.baseline) : nullptr;
    if (!baseline) {
        baseline = &board.configurations.front();
    }
    board.baseline = baseline->configuration;
    if (settings.targetCdA && *settings.targetCdA != 0.0) {
        board.targetCdA = std::fabs(*settings.targetCdA);
    } else if (settings.targetWatts && *settings.targetWatts != 0.0) {
        board.targetCdA =
            std::fabs(cdAForWatts(*settings.targetWatts, settings.airDensity, settings.speedKmh));
    } else if (baseline->laps.n > 0) {
        board.targetCdA = std::fabs(0.01 * baseline->laps.mean);
    }
    const double target = board.targetCdA.value_or(0.0);

    const ConfigurationRow base = *baseline;
    for (ConfigurationRow& row : board.configurations) {
        row.isBaseline = row.configuration == base.configuration;
        if (row.isBaseline) {
            continue;
        }
        row.onLaps = compared(welchDifference(row.laps, base.laps), Comparison::Basis::laps, settings);
        if (row.runs >= 2 && base.runs >= 2) {
            row.onRunMeans =
                compared(welchDifference(row.runMeans, base.runMeans), Comparison::Basis::runMeans, settings);
        }
        if (const auto s = pooledSD(row.laps, base.laps)) {
            row.needed = lapsStillNeeded(*s, target, row.laps.n, base.laps.n);
        }
    }
    for (RunRow& row : board.runs) {
        if (!row.excluded && row.midSeconds && row.configuration != base.configuration && row.stats.n > 0) {
            addDrift(row, board.runs, base.configuration, settings, target);
            board.driftWarning = board.driftWarning || (row.drift && row.drift->warning);
        }
    }
    return board;
}

} // namespace draftwell::analysis
