#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "app/csv_delimiter_option.h"
#include "bridge/scanner_program_options.h"

namespace draftwell {

// What the headless logger was asked to do.
struct CliOptions {
    ScannerProgramOptions scanner;
    std::optional<QString> outputFolder;
    std::optional<QString> description;
    std::optional<CSVDelimiterOption> delimiter;
    std::optional<qint64> calLaps;
    std::optional<bool> autoCal;
    std::optional<qint64> laps;            // stop after this many completed laps
    std::optional<double> durationSeconds; // stop after this long
    std::optional<std::uint16_t> rider;    // the transmitter followed; default the first heard
    bool noLog = false;
    bool verbose = false;
    // --compare: print the comparison board of this folder and exit.
    std::optional<QString> compareFolder;
    std::optional<QString> baseline;
    bool json = false;
};

struct CliParseResult {
    enum class Action { run, help, version, listDevices, compare, usageError };
    Action action = Action::run;
    CliOptions options;
    QString text; // the help or version text, or the usage error
    // listDevices: options.scanner holds --device / --simulate, which change what is listed
};

// `arguments` starts with the program name.
CliParseResult parseCliOptions(const QStringList& arguments);

} // namespace draftwell
