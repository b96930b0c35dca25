// lap-logger-cli: the scanner service and bridge without windows.
#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <memory>
#include <optional>

#include "app/ant_scanner_service.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/program_identity.h"
#include "bridge/scanner_device_setup.h"
#include "bridge/termination_signals.h"
#include "cli/cli_options.h"
#include "cli/comparison_printout.h"
#include "cli/device_listing.h"
#include "cli/headless_logger.h"
#include "cli/observed_scanner_bridge.h"

namespace {

void printTo(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    draftwell::applyProgramIdentity();

    const draftwell::CliParseResult parsed = draftwell::parseCliOptions(QCoreApplication::arguments());
    switch (parsed.action) {
    case draftwell::CliParseResult::Action::help:
    case draftwell::CliParseResult::Action::version:
        printTo(stdout, parsed.text);
        return 0;
    case draftwell::CliParseResult::Action::usageError:
        printTo(stderr, QStringLiteral("lap-logger-cli: %1\nTry 'lap-logger-cli --help'.").arg(parsed.text));
        return draftwell::HeadlessLogger::exitUsage;
    case draftwell::CliParseResult::Action::listDevices: {
        const draftwell::ScannerDeviceSetup devices(parsed.options.scanner);
        if (!devices.recording().error().isEmpty()) {
            printTo(stderr, QStringLiteral("lap-logger-cli: %1").arg(devices.recording().error()));
            return 1;
        }
        for (const QString& line : draftwell::listDevices()) {
            printTo(stdout, line);
        }
        return 0;
    }
    case draftwell::CliParseResult::Action::compare:
        return draftwell::printComparison(
            parsed.options, [](const QString& line) { printTo(stdout, line); },
            [](const QString& line) { printTo(stderr, line); });
    case draftwell::CliParseResult::Action::run:
        break;
    }

    // Declared first: outlives the bridge.
    const draftwell::ScannerDeviceSetup devices(parsed.options.scanner);
    if (!devices.recording().error().isEmpty()) {
        printTo(stderr, QStringLiteral("lap-logger-cli: %1").arg(devices.recording().error()));
        return 1;
    }
    draftwell::TerminationSignals signals;
    if (!signals.install()) {
        printTo(stderr, QStringLiteral("lap-logger-cli: cannot watch for SIGINT and SIGTERM."));
        return 1;
    }

    auto bridge =
        std::make_unique<draftwell::ObservedScannerBridge>(std::make_unique<draftwell::ANTScannerBridge>(
            parsed.options.scanner.networkKey, parsed.options.scanner.baudRate));
    draftwell::ObservedScannerBridge& observed = *bridge;
    draftwell::ANTScannerService service(std::move(bridge));
    draftwell::HeadlessLogger logger(service, observed, parsed.options,
                                     [](const QString& line) { printTo(stdout, line); });
    QObject::connect(&signals, &draftwell::TerminationSignals::received, &logger,
                     &draftwell::HeadlessLogger::requestStop);
    QObject::connect(&logger, &draftwell::HeadlessLogger::finished, &app,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
    logger.start();
    // After the logger's own connection: it prints the failed open's line before this adds the hint.
    QObject::connect(&service, &draftwell::ANTScannerService::messageLogsChanged, &service, [&service] {
        const QString hint = draftwell::stickReportHintAfter(service.messageLogs().constLast());
        if (!hint.isEmpty()) {
            service.appendLog(hint);
        }
    });
    const int exitCode = QCoreApplication::exec();
    if (const std::optional<QString> failure = devices.recording().replayFailure()) {
        printTo(stderr, QStringLiteral("lap-logger-cli: %1").arg(*failure));
        return 1;
    }
    return exitCode;
}
