#pragma once

#include <QByteArray>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/csv_delimiter_option.h"
#include "app/lap_csv_logger.h"
#include "app/run_journal.h"
#include "app/scanner_bridge.h"
#include "laps/lap_assembly_engine.h"
#include "laps/lap_data.h"

namespace draftwell {

// The application's one observable service: connection state, lap progress,
// logs, completed laps, session summary and calibration, settings. Lives on
// the main thread and is used only there; it owns the bridge, the assembly
// engine and the CSV logger.
//
// Every published property has a getter of the property's name and a
// `<name>Changed()` signal that is emitted on every assignment, also when the
// value is unchanged, so views can simply redraw on it.
//
// Lap lists are shared lap objects (LapDataRef), newest first. `sessionData`
// always holds exactly one record, the session summary; `sessionSummary()` is
// a shortcut to it. Views may set a lap's `use` flag through the shared
// pointer and then call updateSessionData().
//
// Settings live in the default QSettings under kApplicationIdentifier followed
// by ".lastLogFolder", ".autoCal", ".calLapCount" and ".csvDelimiter"; a value
// of the wrong kind falls back to its default with a log line.
//
// While logging, every change that reaches the run file (a completed lap, a
// `use` flag or calibration through updateSessionData, the description, the
// separator) is also flushed to the run's recovery journal (RunJournal). At
// construction, and whenever logging starts, journals that runs which never
// stopped left in the output folder are turned into their files.
class ANTScannerService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isOpen READ isOpen NOTIFY isOpenChanged)
    Q_PROPERTY(bool isReceiving READ isReceiving NOTIFY isReceivingChanged)
    Q_PROPERTY(bool multipleDevices READ multipleDevices NOTIFY multipleDevicesChanged)
    Q_PROPERTY(bool openConButtonEnabled READ openConButtonEnabled WRITE setOpenConButtonEnabled NOTIFY
                   openConButtonEnabledChanged)
    Q_PROPERTY(QString currentLapNumber READ currentLapNumber NOTIFY currentLapNumberChanged)
    Q_PROPERTY(QString packetProgress READ packetProgress NOTIFY packetProgressChanged)
    Q_PROPERTY(QString lapStatus READ lapStatus NOTIFY lapStatusChanged)
    Q_PROPERTY(bool lapComplete READ lapComplete NOTIFY lapCompleteChanged)
    Q_PROPERTY(qint64 completedLapCount READ completedLapCount NOTIFY completedLapCountChanged)
    Q_PROPERTY(QString lastCompletedLap READ lastCompletedLap NOTIFY lastCompletedLapChanged)
    Q_PROPERTY(QStringList logs READ logs NOTIFY logsChanged)
    Q_PROPERTY(QStringList messageLogs READ messageLogs NOTIFY messageLogsChanged)
    Q_PROPERTY(QStringList dataLogs READ dataLogs NOTIFY dataLogsChanged)
    Q_PROPERTY(QString logFolderPath READ logFolderPath WRITE setLogFolderPath NOTIFY logFolderPathChanged)
    Q_PROPERTY(QString logFileName READ logFileName NOTIFY logFileNameChanged)
    Q_PROPERTY(
        QString logDescription READ logDescription WRITE setLogDescription NOTIFY logDescriptionChanged)
    Q_PROPERTY(bool isLogging READ isLogging NOTIFY isLoggingChanged)
    Q_PROPERTY(bool autoCal READ autoCal WRITE setAutoCal NOTIFY autoCalChanged)
    Q_PROPERTY(qint64 calLapCount READ calLapCount WRITE setCalLapCount NOTIFY calLapCountChanged)
    Q_PROPERTY(QString csvDelimiter READ csvDelimiter NOTIFY csvDelimiterChanged)
    Q_PROPERTY(draftwell::CSVDelimiterOption csvDelimiterOption READ csvDelimiterOption WRITE setCSVDelimiter
                   NOTIFY csvDelimiterChanged)

  public:
    using FolderChooser = std::function<std::optional<QString>(const QString& startFolder)>;

    static constexpr qsizetype maxLogLines = 500;

    explicit ANTScannerService(std::unique_ptr<ScannerBridge> bridge, QObject* parent = nullptr);
    ~ANTScannerService() override;

    ANTScannerService(const ANTScannerService&) = delete;
    ANTScannerService& operator=(const ANTScannerService&) = delete;

    // Published properties.
    bool isOpen() const { return isOpen_; }
    bool isReceiving() const { return isReceiving_; }
    bool multipleDevices() const { return multipleDevices_; }
    bool openConButtonEnabled() const { return openConButtonEnabled_; }
    QString currentLapNumber() const { return currentLapNumber_; }
    QString packetProgress() const { return packetProgress_; }
    QString lapStatus() const { return lapStatus_; }
    bool lapComplete() const { return lapComplete_; }
    qint64 completedLapCount() const { return completedLapCount_; }
    QString lastCompletedLap() const { return lastCompletedLap_; }
    const QStringList& logs() const { return logs_; }
    const QStringList& messageLogs() const { return messageLogs_; }
    const QStringList& dataLogs() const { return dataLogs_; }
    const std::vector<LapDataRef>& allLapData() const { return allLapData_; }
    const std::vector<LapDataRef>& sessionData() const { return sessionData_; }
    const LapData& sessionSummary() const { return *sessionData_.front(); }
    QString logFolderPath() const { return logFolderPath_; }
    QString logFileName() const { return logFileName_; }
    QString logDescription() const { return logDescription_; }
    bool isLogging() const { return isLogging_; }
    bool autoCal() const { return autoCal_; }
    qint64 calLapCount() const { return calLapCount_; }
    QString csvDelimiter() const { return csvDelimiter_; }
    // "," gives comma, ";" semicolon, anything else the first case.
    CSVDelimiterOption csvDelimiterOption() const;

    // Assigned directly by the views. Every assignment of the folder also
    // stores it (trimmed; an empty folder removes the setting).
    void setLogFolderPath(const QString& path);
    void setLogDescription(const QString& description);
    // The termination steps re-enable the connect control directly.
    void setOpenConButtonEnabled(bool enabled);

    // User commands; failures end up as log lines, nothing is returned.
    // connect() and disconnect() hide QObject's functions of the same name:
    // wire signals of this class with QObject::connect explicitly.
    Q_INVOKABLE void connect();
    Q_INVOKABLE void disconnect();
    Q_INVOKABLE void startLogging(bool resetFirst);
    Q_INVOKABLE void stopLogging();
    Q_INVOKABLE void resetLaps();
    Q_INVOKABLE void chooseLogFolder();
    Q_INVOKABLE void setAutoCal(bool value);
    Q_INVOKABLE void setCalLapCount(qint64 value);
    Q_INVOKABLE void setCSVDelimiter(draftwell::CSVDelimiterOption option);
    // Recomputes sessionData and every lap's cdACal.
    Q_INVOKABLE void updateSessionData();

    // The UI's folder dialog; without one chooseLogFolder does nothing.
    void setFolderChooser(FolderChooser chooser);

    // Entry points of the bridge's handlers, public so tests and benchmarks
    // can drive the service without a stick.
    void handleStatus(bool open, bool receiving, bool multipleDevices);
    Q_INVOKABLE void appendLog(const QString& line);
    void handlePacket(const QByteArray& payload, std::optional<std::uint16_t> deviceNumber);

    // Termination steps: stop logging (writes the file), close the stick
    // synchronously, re-enable the connect control.
    void applicationWillTerminate();

    // A line starting with "hh:mm:ss.mmm " loses that prefix; others stay whole.
    static QString stripTimestamp(const QString& line);
    // Documents folder (or ~/Documents) followed by "Draftwell Lap Logger".
    static QString defaultLogFolderPath();

    ScannerBridge& bridge() { return *bridge_; }
    const LapAssemblyEngine& lapAssembly() const { return lapAssembly_; }
    const LapCSVLogger& csvLogger() const { return csvLogger_; }
    const RunJournal& runJournal() const { return runJournal_; }
    // How the last stopLogging left its run file; empty when it was completed.
    const LapCSVLogger::Result& lastStopResult() const { return lastStopResult_; }

  Q_SIGNALS:
    void isOpenChanged();
    void isReceivingChanged();
    void multipleDevicesChanged();
    void openConButtonEnabledChanged();
    void currentLapNumberChanged();
    void packetProgressChanged();
    void lapStatusChanged();
    void lapCompleteChanged();
    void completedLapCountChanged();
    void lastCompletedLapChanged();
    void logsChanged();
    void messageLogsChanged();
    void dataLogsChanged();
    void allLapDataChanged();
    void sessionDataChanged();
    void logFolderPathChanged();
    void logFileNameChanged();
    void logDescriptionChanged();
    void isLoggingChanged();
    void autoCalChanged();
    void calLapCountChanged();
    void csvDelimiterChanged();

  private:
    void loadSettings();
    void installHandlers();
    void storeLogFolderSetting();
    void applyUpdate(const LapAssemblyUpdate& update);
    void setAllLapData(std::vector<LapDataRef> laps);
    void setSessionData(std::vector<LapDataRef> data);
    void setLogFileName(const QString& name);
    void setIsLogging(bool logging);
    void setLastCompletedLap(const QString& text);
    void appendTrimmed(QStringList& list, const QString& line, void (ANTScannerService::*changed)());
    void recoverRuns(const QString& folder);
    void recordJournal();
    void endJournal(const LapCSVLogger::Result& finished);

    std::unique_ptr<ScannerBridge> bridge_;
    LapAssemblyEngine lapAssembly_;
    LapCSVLogger csvLogger_;
    RunJournal runJournal_;
    QSettings userDefaults_;
    FolderChooser folderChooser_;

    bool isOpen_ = false;
    bool isReceiving_ = false;
    bool multipleDevices_ = false;
    bool openConButtonEnabled_ = true;
    QString currentLapNumber_ = QStringLiteral("-");
    QString packetProgress_ = QStringLiteral("0/3");
    QString lapStatus_ = QStringLiteral("Invalid");
    bool lapComplete_ = false;
    qint64 completedLapCount_ = 0;
    QString lastCompletedLap_ = QStringLiteral("-");
    QStringList logs_;
    QStringList messageLogs_;
    QStringList dataLogs_;
    std::vector<LapDataRef> allLapData_;
    std::vector<LapDataRef> sessionData_{makeLapData()};
    QString logFolderPath_;
    QString logFileName_ = QStringLiteral("Not Started");
    QString logDescription_;
    bool isLogging_ = false;
    bool autoCal_ = true;
    qint64 calLapCount_ = 5;
    QString csvDelimiter_ = QStringLiteral(",");
    LapCSVLogger::Result lastStopResult_;
};

} // namespace draftwell
