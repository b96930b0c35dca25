#include "bridge/scanner_program_options.h"

#include <QCommandLineParser>
#include <QSettings>
#include <QVariant>

#include "app/app_identity.h"

#include <utility>

namespace draftwell {

namespace {

const QLatin1StringView kBaudRateSettingSuffix(".baudRate");
const QString kSimulate = QStringLiteral("simulate");
const QString kDevice = QStringLiteral("device");
const QString kNetworkKey = QStringLiteral("network-key");
const QString kBaud = QStringLiteral("baud");
constexpr std::uint32_t kLowestBaudRate = 300;
constexpr std::uint32_t kHighestBaudRate = 4000000;

std::optional<std::uint32_t> parseBaudRate(const QString& text) {
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value < kLowestBaudRate || value > kHighestBaudRate) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

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
    parser.addOption(QCommandLineOption(
        kBaud,
        QStringLiteral("Talk to the ANT stick at <rate> baud only (default: the rate its product uses, "
                       "then the other usual rates)."),
        QStringLiteral("rate")));
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
    if (parser.isSet(kBaud)) {
        options.baudRate = parseBaudRate(parser.value(kBaud));
        if (!options.baudRate) {
            error = QStringLiteral("--baud needs a rate in baud from %1 to %2, not \"%3\".")
                        .arg(kLowestBaudRate)
                        .arg(kHighestBaudRate)
                        .arg(parser.value(kBaud));
            return std::nullopt;
        }
    } else {
        // A rate stored in the settings counts as if given; a bad one is ignored.
        const QVariant stored =
            QSettings().value(QString::fromLatin1(kApplicationIdentifier) + kBaudRateSettingSuffix);
        if (stored.isValid()) {
            options.baudRate = parseBaudRate(stored.toString());
        }
    }
    error = readRecordingOptions(parser, options);
    if (!error.isEmpty()) {
        return std::nullopt;
    }
    return options;
}

} // namespace draftwell
