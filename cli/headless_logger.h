#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "app/scanner_bridge.h"
#include "cli/cli_options.h"

namespace draftwell {

class ANTScannerService;
class ObservedScannerBridge;

// One run of the headless logger on the main thread: connects, starts
// logging once the stick is open, prints the service's message lines (and
// with --verbose its received-data lines) and every completed lap, and at the
// end stops logging, prints the session summary and closes the stick.
class HeadlessLogger : public QObject {
    Q_OBJECT
  public:
    // The program's exit status; when several failures meet, the highest wins.
    enum ExitCode : int {
        exitOk = 0,
        exitStickFailed = 1, // could not be opened, or went away
        exitUsage = 2,
        exitRunFileNotCreated = 3,
        exitRunFileNotCompleted = 4,
    };

    using LinePrinter = std::function<void(const QString& line)>;

    // `bridge` is the service's bridge, watched for failed opens.
    HeadlessLogger(ANTScannerService& service, ObservedScannerBridge& bridge, CliOptions options,
                   LinePrinter print, QObject* parent = nullptr);
    // An open still in flight must not report to a logger that is gone.
    ~HeadlessLogger() override;

    // Applies the settings options and connects.
    void start();
    // --laps, --duration, SIGINT and SIGTERM end here; later requests are ignored.
    void requestStop();

    static QString sessionSummaryLine(const ANTScannerService& service);
    // "Rider 12345: 4 laps (followed)", one per rider heard; none when the
    // followed rider is the only one.
    static QStringList riderLapCountLines(const ANTScannerService& service);
    // The lap message, followed by the newest lap's doubts and the run's
    // warnings when there are any.
    static QString lapLine(const ANTScannerService& service, const QString& lapMessage);

  Q_SIGNALS:
    // Once; the stick is closed by then.
    void finished(int exitCode);

  private:
    void openFinished(const std::optional<ScannerError>& error);
    void openStateChanged();
    void lapCompleted();
    void printPendingLap();
    void stopNow();
    void fail(ExitCode code);
    void finish(int exitCode);

    ANTScannerService& service_;
    ObservedScannerBridge& bridge_;
    const CliOptions options_;
    const LinePrinter print_;
    bool wasOpen_ = false;
    bool loggingStarted_ = false;
    bool stopping_ = false;
    bool openPending_ = false;
    bool finished_ = false;
    int exitCode_ = 0;
    qint64 lapsSeen_ = 0;
    QString pendingLap_;
};

} // namespace draftwell
