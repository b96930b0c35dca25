#include "bridge/scanner_program_options.h"

#include <QCommandLineParser>

#include <utility>

namespace draftwell {

namespace {

const QString kSimulate = QStringLiteral("simulate");
const QString kDevice = QStringLiteral("device");
const QString kNetworkKey = QStringLiteral("network-key");
const QString kRecord = QStringLiteral("record");
const QString kReplay = QStringLiteral("replay");
const QString kReplayFast = QStringLiteral("replay-fast");

void addRecordingOptions(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(
        kRecord,
        QStringLiteral(
            "Also write every byte exchanged with the stick, with its time, to <file> (to attach to "
            "a report)."),
        QStringLiteral("file")));
    parser.addOption(QCommandLineOption(
        kReplay,
        QStringLiteral("Play the recording <file> back as the stick; fails where the program differs."),
        QStringLiteral("file")));
    parser.addOption(QCommandLineOption(
        kReplayFast, QStringLiteral("With --replay, do not wait for the recorded times.")));
}

// Empty when the recording options make sense together with the others.
QString readRecordingOptions(const QCommandLineParser& parser, ScannerProgramOptions& options) {
    for (const auto& [name, path] :
         {std::pair{kRecord, &options.recordPath}, std::pair{kReplay, &options.replayPath}}) {
        if (parser.isSet(name)) {
            *path = parser.value(name);
            if (path->isEmpty()) {
                return QStringLiteral("--%1 needs a file.").arg(name);
            }
        }
    }
    options.replayFast = parser.isSet(kReplayFast);
    if (options.replayFast && options.replayPath.isEmpty()) {
        return QStringLiteral("--replay-fast needs --replay.");
    }
    if (!options.replayPath.isEmpty() && (options.simulate || !options.devicePath.isEmpty())) {
        return QStringLiteral("--replay cannot be used together with --simulate or --device.");
    }
    return {};
}

} // namespace

void ScannerProgramOptions::addTo(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(
        kSimulate,
        QStringLiteral("Use the built-in virtual ANT stick with one simulated Garmin riding laps.")));
    parser.addOption(QCommandLineOption(
        kDevice,
        QStringLiteral(
            "Open the serial port at <path> as the ANT stick (a stick's tty or a pseudo-terminal)."),
        QStringLiteral("path")));
    parser.addOption(QCommandLineOption(
        kNetworkKey, QStringLiteral("ANT network key as 16 hex digits (default: the ANT+ network key)."),
        QStringLiteral("hex")));
    addRecordingOptions(parser);
}

std::optional<ScannerProgramOptions> ScannerProgramOptions::readFrom(const QCommandLineParser& parser,
                                                                     QString& error) {
    ScannerProgramOptions options;
    options.simulate = parser.isSet(kSimulate);
    if (parser.isSet(kDevice)) {
        options.devicePath = parser.value(kDevice);
        if (options.devicePath.isEmpty()) {
            error = QStringLiteral("--device needs a path.");
            return std::nullopt;
        }
    }
    if (options.simulate && !options.devicePath.isEmpty()) {
        error = QStringLiteral("--simulate and --device cannot be used together.");
        return std::nullopt;
    }
    if (parser.isSet(kNetworkKey)) {
        const QString text = parser.value(kNetworkKey);
        const std::optional<ANTNetworkKey> key = parseANTNetworkKey(text.toStdString());
        if (!key) {
            error = QStringLiteral("--network-key needs exactly 16 hex digits, not \"%1\".").arg(text);
            return std::nullopt;
        }
        options.networkKey = *key;
    }
    error = readRecordingOptions(parser, options);
    if (!error.isEmpty()) {
        return std::nullopt;
    }
    return options;
}

} // namespace draftwell
