#include "bridge/scanner_program_options.h"

#include <QCommandLineParser>

namespace draftwell {

namespace {

const QString kSimulate = QStringLiteral("simulate");
const QString kDevice = QStringLiteral("device");
const QString kNetworkKey = QStringLiteral("network-key");

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
    return options;
}

} // namespace draftwell
