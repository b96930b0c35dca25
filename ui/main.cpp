// lap-logger: the desktop program.
#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>
#include <optional>

#include "app/ant_scanner_service.h"
#include "bridge/ant_scanner_bridge.h"
#include "bridge/program_identity.h"
#include "bridge/scanner_device_setup.h"
#include "bridge/scanner_program_options.h"
#include "bridge/termination_signals.h"
#include "ui/app_version.h"
#include "ui/lap_logger_app.h"
#include "ui/screenshot_tour.h"

namespace {

void printError(const QString& text) {
    const QByteArray bytes = QStringLiteral("lap-logger: %1\n").arg(text).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

// --help and --version need no display, and without one QApplication
// cannot even be created.
bool onlyAsksForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "--help-all" || arg == "--version" ||
            arg == "-v") {
            return true;
        }
    }
    return false;
}

bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void describeOptions(QCommandLineParser& parser, const QList<QCommandLineOption>& screenshot) {
    parser.setApplicationDescription(
        QStringLiteral("Shows and logs the laps a Garmin running the DFX app broadcasts over ANT."));
    parser.addHelpOption();
    parser.addVersionOption();
    draftwell::ScannerProgramOptions::addTo(parser);
    parser.addOptions(screenshot);
}

} // namespace

int main(int argc, char** argv) {
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Connect, wait for a few laps, save pictures of both lap windows into <dir>, quit."),
        QStringLiteral("dir"));
    const QCommandLineOption screenshotLaps(
        QStringLiteral("screenshot-laps"),
        QStringLiteral("How many laps --screenshot waits for (default %1).")
            .arg(draftwell::ScreenshotTour::kLapsWanted),
        QStringLiteral("n"));
    if (onlyAsksForText(argc, argv)) {
        QCoreApplication textOnly(argc, argv);
        draftwell::applyProgramIdentity();
        QCoreApplication::setApplicationVersion(draftwell::AppVersion::current());
        QCommandLineParser parser;
        describeOptions(parser, {screenshot, screenshotLaps});
        parser.process(textOnly); // prints and exits
        return 0;
    }
    if (!displayAvailable()) {
        printError(QStringLiteral("no display found (DISPLAY and WAYLAND_DISPLAY are not set)."));
        return 1;
    }

    QApplication app(argc, argv);
    draftwell::applyProgramIdentity();
    QCoreApplication::setApplicationVersion(draftwell::AppVersion::current());

    QCommandLineParser parser;
    describeOptions(parser, {screenshot, screenshotLaps});
    parser.process(app);

    QString error;
    const auto options = draftwell::ScannerProgramOptions::readFrom(parser, error);
    if (!options) {
        printError(error);
        return 2;
    }

    // Declared first: outlives the bridge.
    const draftwell::ScannerDeviceSetup devices(*options);
    if (!devices.recording().error().isEmpty()) {
        printError(devices.recording().error());
        return 1;
    }
    // A run being logged is written before the process ends; without the watch the program still runs.
    draftwell::TerminationSignals quitSignals({SIGINT, SIGTERM, SIGHUP});
    quitSignals.install();
    draftwell::LapLoggerApp shell(
        std::make_unique<draftwell::ANTScannerBridge>(options->networkKey, options->baudRate));
    draftwell::ANTScannerService& service = shell.service();
    QObject::connect(&service, &draftwell::ANTScannerService::messageLogsChanged, &service, [&service] {
        const QString hint = draftwell::stickReportHintAfter(service.messageLogs().constLast());
        if (!hint.isEmpty()) {
            // Not from inside the notification of the line it follows.
            QMetaObject::invokeMethod(
                &service, [&service, hint] { service.appendLog(hint); }, Qt::QueuedConnection);
        }
    });
    QObject::connect(&quitSignals, &draftwell::TerminationSignals::received, &app, &QApplication::quit);
    shell.start();

    std::unique_ptr<draftwell::ScreenshotTour> tour;
    int tourResult = 0;
    if (parser.isSet(screenshot)) {
        bool ok = true;
        const int laps = parser.isSet(screenshotLaps) ? parser.value(screenshotLaps).toInt(&ok)
                                                      : draftwell::ScreenshotTour::kLapsWanted;
        if (!ok || laps < 1 || laps > 60) {
            printError(QStringLiteral("--screenshot-laps takes a number of laps from 1 to 60."));
            return 2;
        }
        tour = std::make_unique<draftwell::ScreenshotTour>(shell, parser.value(screenshot), laps);
        QObject::connect(tour.get(), &draftwell::ScreenshotTour::finished, &app, [&tourResult](bool saved) {
            if (!saved) {
                printError(QStringLiteral("the screenshots could not be taken."));
                tourResult = 1;
            }
            QApplication::quit();
        });
        tour->start();
    }
    const int result = QApplication::exec();
    if (const std::optional<QString> failure = devices.recording().replayFailure()) {
        printError(*failure);
        return 1;
    }
    return result != 0 ? result : tourResult;
}
