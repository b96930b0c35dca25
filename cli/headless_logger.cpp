#include "cli/headless_logger.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/ant_scanner_service.h"
#include "app/format_number.h"
#include "cli/observed_scanner_bridge.h"

namespace draftwell {

HeadlessLogger::HeadlessLogger(ANTScannerService& service, ObservedScannerBridge& bridge, CliOptions options,
                               LinePrinter print, QObject* parent)
    : QObject(parent), service_(service), bridge_(bridge), options_(std::move(options)),
      print_(std::move(print)) {}

HeadlessLogger::~HeadlessLogger() {
    bridge_.setOpenObserver({});
}

void HeadlessLogger::start() {
    // Lines logged while the service was constructed, such as a recovered run.
    for (const QString& line : service_.messageLogs()) {
        print_(line);
    }
    if (options_.outputFolder) {
        service_.setLogFolderPath(*options_.outputFolder);
    }
    if (options_.description) {
        service_.setLogDescription(*options_.description);
    }
    if (options_.delimiter) {
        service_.setCSVDelimiter(*options_.delimiter);
    }
    if (options_.calLaps) {
        service_.setCalLapCount(*options_.calLaps);
    }
    if (options_.autoCal) {
        service_.setAutoCal(*options_.autoCal);
    }
    if (options_.rider) {
        service_.setFollowedRider(*options_.rider);
    }

    // Each of these signals follows exactly one appended line.
    connect(&service_, &ANTScannerService::messageLogsChanged, this,
            [this] { print_(service_.messageLogs().constLast()); });
    if (options_.verbose) {
        connect(&service_, &ANTScannerService::dataLogsChanged, this,
                [this] { print_(service_.dataLogs().constLast()); });
    }
    connect(&service_, &ANTScannerService::lastCompletedLapChanged, this, &HeadlessLogger::lapCompleted);
    connect(&service_.lapQuality(), &LapQualityMonitor::changed, this, &HeadlessLogger::printPendingLap);
    connect(&service_, &ANTScannerService::isOpenChanged, this, &HeadlessLogger::openStateChanged);
    bridge_.setOpenObserver([this](const std::optional<ScannerError>& error) { openFinished(error); });

    if (options_.durationSeconds) {
        const auto ms = static_cast<int>(std::lround(*options_.durationSeconds * 1000.0));
        QTimer::singleShot(ms, this, &HeadlessLogger::requestStop);
    }
    openPending_ = true;
    service_.connect();
}

void HeadlessLogger::requestStop() {
    if (stopping_ || finished_) {
        return;
    }
    stopping_ = true;
    // The open's outcome decides the status and its line comes first.
    if (!openPending_) {
        stopNow();
    }
}

void HeadlessLogger::stopNow() {
    printPendingLap();
    const bool logging = service_.isLogging();
    service_.stopLogging();
    if (logging && service_.lastStopResult()) {
        fail(exitRunFileNotCompleted);
    }
    print_(sessionSummaryLine(service_));
    for (const QString& line : riderLapCountLines(service_)) {
        print_(line);
    }
    // Queued behind an open still in flight; runs the whole close sequence.
    service_.bridge().closeScannerWithCompletion([this] { finish(exitCode_); });
}

void HeadlessLogger::openFinished(const std::optional<ScannerError>& error) {
    openPending_ = false;
    if (error) {
        fail(exitStickFailed);
    }
    if (stopping_) {
        stopNow();
    } else if (error) {
        // The service has printed its line; nothing is open.
        finish(exitCode_);
    }
}

void HeadlessLogger::fail(ExitCode code) {
    exitCode_ = std::max(exitCode_, static_cast<int>(code));
}

void HeadlessLogger::openStateChanged() {
    const bool open = service_.isOpen();
    const bool wasOpen = wasOpen_;
    wasOpen_ = open;
    if (open && !wasOpen && !stopping_ && !options_.noLog && !loggingStarted_) {
        loggingStarted_ = true;
        service_.startLogging(false);
        if (!service_.isLogging()) {
            // Its line is printed; the laps still reach standard output.
            fail(exitRunFileNotCreated);
        }
    }
    if (!open && wasOpen && !stopping_) {
        // The stick went away: keep what was recorded and end the run.
        fail(exitStickFailed);
        requestStop();
    }
}

void HeadlessLogger::lapCompleted() {
    const QString lap = service_.lastCompletedLap();
    if (lap == QLatin1StringView("-")) {
        return;
    }
    // Printed once the service has checked the run with this lap in it.
    printPendingLap();
    pendingLap_ = lap;
    ++lapsSeen_;
    if (options_.laps && lapsSeen_ >= *options_.laps) {
        // Queued: the service adds the lap to its list only after announcing it.
        QMetaObject::invokeMethod(this, &HeadlessLogger::requestStop, Qt::QueuedConnection);
    }
}

void HeadlessLogger::printPendingLap() {
    if (!pendingLap_.isEmpty()) {
        print_(lapLine(service_, std::exchange(pendingLap_, QString())));
    }
}

QString HeadlessLogger::lapLine(const ANTScannerService& service, const QString& lapMessage) {
    QString line = lapMessage;
    const auto& laps = service.allLapData();
    if (!laps.empty()) {
        const QString doubts = service.lapQuality().flagText(*laps.front());
        if (!doubts.isEmpty()) {
            line += QStringLiteral("  Doubtful lap: ") + doubts;
        }
    }
    for (const QString& warning : service.lapQuality().warnings()) {
        line += QStringLiteral("  Warning: ") + warning;
    }
    return line;
}

void HeadlessLogger::finish(int exitCode) {
    if (finished_) {
        return;
    }
    finished_ = true;
    Q_EMIT finished(exitCode);
}

QStringList HeadlessLogger::riderLapCountLines(const ANTScannerService& service) {
    const std::vector<RiderKey> riders = service.riders();
    const auto followed = service.followedRider();
    if (riders.empty() || (riders.size() == 1 && followed && riders.front() == *followed)) {
        return {};
    }
    QStringList lines;
    for (const RiderKey rider : riders) {
        const auto laps =
            static_cast<qint64>(service.riderLanes().find(rider)->assembly.completedLaps().size());
        lines.append(QStringLiteral("Rider %1: %2%3")
                         .arg(service.riderLabel(rider),
                              laps == 1 ? QStringLiteral("1 lap") : QStringLiteral("%1 laps").arg(laps),
                              followed && *followed == rider ? QStringLiteral(" (followed)") : QString()));
    }
    return lines;
}

QString HeadlessLogger::sessionSummaryLine(const ANTScannerService& service) {
    const LapData& s = service.sessionSummary();
    return QStringLiteral(
               "Session summary: Laps %1  CdACal %2  Cal %3  CdARaw %4  Time %5  Dist %6  Speed %7  "
               "Power %8  Head %9  Chest %10")
        .arg(QString::number(s.lap), formatNumber(s.cdACal, 3), formatNumber(s.cal, 3),
             formatNumber(s.cdA, 3), formatNumber(s.lapTime, 3), formatNumber(s.dist, 1),
             formatNumber(s.speed, 1), formatNumber(s.riderPwr, 1), formatNumber(s.head, 1))
        .arg(formatNumber(s.chest, 1));
}

} // namespace draftwell
