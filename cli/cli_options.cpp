#include "cli/cli_options.h"

#include <QCommandLineParser>

#include <cmath>

namespace draftwell {

namespace {

const QString kOutput = QStringLiteral("output");
const QString kDescription = QStringLiteral("description");
const QString kDelimiter = QStringLiteral("delimiter");
const QString kCalLaps = QStringLiteral("cal-laps");
const QString kAutoCal = QStringLiteral("auto-cal");
const QString kLaps = QStringLiteral("laps");
const QString kDuration = QStringLiteral("duration");
const QString kRider = QStringLiteral("rider");
const QString kNoLog = QStringLiteral("no-log");
const QString kVerbose = QStringLiteral("verbose");
const QString kHelp = QStringLiteral("help");
const QString kVersion = QStringLiteral("version");
const QString kListDevices = QStringLiteral("list-devices");
const QString kCompare = QStringLiteral("compare");
const QString kBaseline = QStringLiteral("baseline");
const QString kJson = QStringLiteral("json");

const char* const kSummary =
    "Headless Draftwell Lap Logger: listens to a Garmin running the DFX app through an ANT stick,\n"
    "prints the message log and every completed lap, and writes the run to a CSV file.\n"
    "Stops at --laps, --duration, Ctrl-C or SIGTERM: writes the file, prints the session summary\n"
    "and closes the stick. Exit status: 0 done, 1 the stick could not be opened or was lost,\n"
    "2 usage error.";

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QString::fromLatin1(kSummary));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    ScannerProgramOptions::addTo(parser);
    parser.addOption(QCommandLineOption(
        kOutput, QStringLiteral("Output folder of the CSV files (stored as the log folder)."),
        QStringLiteral("dir")));
    parser.addOption(QCommandLineOption(
        kDescription, QStringLiteral("Description written into the CSV file."), QStringLiteral("text")));
    parser.addOption(QCommandLineOption(kDelimiter, QStringLiteral("CSV separator: comma or semicolon."),
                                        QStringLiteral("comma|semicolon")));
    parser.addOption(QCommandLineOption(
        kCalLaps, QStringLiteral("Number of oldest laps whose calibration factor is averaged."),
        QStringLiteral("n")));
    parser.addOption(QCommandLineOption(kAutoCal, QStringLiteral("Automatic calibration: on or off."),
                                        QStringLiteral("on|off")));
    parser.addOption(
        QCommandLineOption(kLaps, QStringLiteral("Stop after <n> completed laps."), QStringLiteral("n")));
    parser.addOption(
        QCommandLineOption(kDuration, QStringLiteral("Stop after <seconds>."), QStringLiteral("seconds")));
    parser.addOption(QCommandLineOption(
        kRider,
        QStringLiteral("Follow the Garmin of this device number (default: the first heard); --laps "
                       "counts its laps. Every other rider is logged to a file of their own."),
        QStringLiteral("device")));
    parser.addOption(QCommandLineOption(kNoLog, QStringLiteral("Do not write a CSV file.")));
    parser.addOption(QCommandLineOption(kVerbose, QStringLiteral("Also print the received-data lines.")));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), kHelp},
                                        QStringLiteral("Show this help and exit.")));
    parser.addOption(QCommandLineOption(kVersion, QStringLiteral("Show the version and exit.")));
    parser.addOption(QCommandLineOption(
        kListDevices, QStringLiteral("List the ANT sticks found, with their device numbers, and exit.")));
    parser.addOption(QCommandLineOption(
        kCompare, QStringLiteral("Print the comparison board of the run files in <dir> and exit."),
        QStringLiteral("dir")));
    parser.addOption(QCommandLineOption(
        kBaseline, QStringLiteral("With --compare: the baseline configuration (default: the first run's)."),
        QStringLiteral("text")));
    parser.addOption(QCommandLineOption(kJson, QStringLiteral("With --compare: print the board as JSON.")));
}

std::optional<qint64> readCount(const QString& text, qint64 minimum) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < minimum) {
        return std::nullopt;
    }
    return value;
}

CliParseResult usageError(const QString& message) {
    CliParseResult result;
    result.action = CliParseResult::Action::usageError;
    result.text = message;
    return result;
}

} // namespace

CliParseResult parseCliOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }

    CliParseResult result;
    if (parser.isSet(kHelp)) {
        result.action = CliParseResult::Action::help;
        result.text =
            parser.helpText() + QStringLiteral("\nExit status:\n"
                                               "  0  the run ended normally\n"
                                               "  1  the ANT stick could not be opened, or went away\n"
                                               "  2  usage error\n"
                                               "  3  the run file could not be created\n"
                                               "  4  the run file could not be completed\n"
                                               "When several apply, the highest is returned.");
        return result;
    }
    if (parser.isSet(kVersion)) {
        result.action = CliParseResult::Action::version;
        result.text = QStringLiteral("lap-logger-cli %1").arg(QStringLiteral(DRAFTWELL_VERSION));
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(
            QStringLiteral("Unexpected argument \"%1\".").arg(parser.positionalArguments().first()));
    }

    QString error;
    const std::optional<ScannerProgramOptions> scanner = ScannerProgramOptions::readFrom(parser, error);
    if (!scanner) {
        return usageError(error);
    }
    CliOptions& options = result.options;
    options.scanner = *scanner;
    if (parser.isSet(kListDevices)) {
        result.action = CliParseResult::Action::listDevices;
        return result;
    }
    if (parser.isSet(kCompare)) {
        options.compareFolder = parser.value(kCompare);
        if (options.compareFolder->trimmed().isEmpty()) {
            return usageError(QStringLiteral("--compare needs a folder."));
        }
        if (parser.isSet(kBaseline)) {
            options.baseline = parser.value(kBaseline).trimmed();
        }
        options.json = parser.isSet(kJson);
        result.action = CliParseResult::Action::compare;
        return result;
    }
    if (parser.isSet(kBaseline) || parser.isSet(kJson)) {
        return usageError(QStringLiteral("--baseline and --json go with --compare."));
    }

    if (parser.isSet(kOutput)) {
        options.outputFolder = parser.value(kOutput);
        if (options.outputFolder->trimmed().isEmpty()) {
            return usageError(QStringLiteral("--output needs a folder."));
        }
    }
    if (parser.isSet(kDescription)) {
        options.description = parser.value(kDescription);
    }
    if (parser.isSet(kDelimiter)) {
        const QString value = parser.value(kDelimiter);
        if (value == QLatin1StringView("comma")) {
            options.delimiter = CSVDelimiterOption::comma;
        } else if (value == QLatin1StringView("semicolon")) {
            options.delimiter = CSVDelimiterOption::semicolon;
        } else {
            return usageError(
                QStringLiteral("--delimiter must be comma or semicolon, not \"%1\".").arg(value));
        }
    }
    if (parser.isSet(kCalLaps)) {
        options.calLaps = readCount(parser.value(kCalLaps), 0);
        if (!options.calLaps) {
            return usageError(QStringLiteral("--cal-laps needs a whole number of 0 or more, not \"%1\".")
                                  .arg(parser.value(kCalLaps)));
        }
    }
    if (parser.isSet(kAutoCal)) {
        const QString value = parser.value(kAutoCal);
        if (value == QLatin1StringView("on")) {
            options.autoCal = true;
        } else if (value == QLatin1StringView("off")) {
            options.autoCal = false;
        } else {
            return usageError(QStringLiteral("--auto-cal must be on or off, not \"%1\".").arg(value));
        }
    }
    if (parser.isSet(kLaps)) {
        options.laps = readCount(parser.value(kLaps), 1);
        if (!options.laps) {
            return usageError(QStringLiteral("--laps needs a whole number of 1 or more, not \"%1\".")
                                  .arg(parser.value(kLaps)));
        }
    }
    if (parser.isSet(kDuration)) {
        bool ok = false;
        const double seconds = parser.value(kDuration).toDouble(&ok);
        // Bounded so that the milliseconds fit a timer.
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 2'000'000) {
            return usageError(QStringLiteral("--duration needs a number of seconds above 0, not \"%1\".")
                                  .arg(parser.value(kDuration)));
        }
        options.durationSeconds = seconds;
    }
    if (parser.isSet(kRider)) {
        const auto device = readCount(parser.value(kRider), 0);
        if (!device || *device > 0xFFFF) {
            return usageError(QStringLiteral("--rider needs a device number from 0 to 65535, not \"%1\".")
                                  .arg(parser.value(kRider)));
        }
        options.rider = static_cast<std::uint16_t>(*device);
    }
    options.noLog = parser.isSet(kNoLog);
    options.verbose = parser.isSet(kVerbose);
    return result;
}

} // namespace draftwell
