#pragma once

#include <QByteArray>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/csv_delimiter_option.h"
#include "app/lap_csv_logger.h"
#include "app/lap_quality_monitor.h"
#include "app/rider_lanes.h"
#include "app/rider_run_file.h"
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
// Settings live in the default QSettings (or the one given at construction)
// under kApplicationIdentifier followed by ".lastLogFolder", ".autoCal",
// ".calLapCount" and ".csvDelimiter"; a value of the wrong kind falls back to
// its default with a log line.
//
// While logging, every change that reaches the run file (a completed lap, a
// `use` flag or calibration through updateSessionData, the description, the
// separator) is also flushed to the run's recovery journal (RunJournal). At
// construction, and whenever logging starts, journals that runs which never
// stopped left in the output folder are turned into their files.
//
// Every transmitter heard has its own lap lane (RiderLanes), so pages of one
// Garmin never change another's laps. The lap properties above show one lane,
// the followed rider: the one chosen with setFollowedRider, else the first
// heard. A run logs every lane: Run_NNN.csv holds the laps of the rider
// followed when logging started (or, if none was heard yet, of the first one
// heard), and each other rider gets "Run_NNN_rider-<device number>.csv" when
// first heard during the run (or at its start, if they have laps already); a file keeps its rider until
// logging stops, whoever is followed meanwhile. Each file has its own journal.
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

    // Reads and writes the default settings file.
    explicit ANTScannerService(std::unique_ptr<ScannerBridge> bridge, QObject* parent = nullptr);
    // Reads and writes `settings`, which must outlive the service; when they
    // reach the disk is up to its owner.
    ANTScannerService(std::unique_ptr<ScannerBridge> bridge, QSettings& settings, QObject* parent = nullptr);
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
    // Forgets every transmitter heard, with its laps and the pages of the lap
    // under way, and the rider chosen: the lap properties are as at start-up.
    // Rider names stay. Not while logging, as each of the run's files belongs
    // to a rider heard in it; returns whether the riders were forgotten.
    Q_INVOKABLE bool forgetRiders();
    Q_INVOKABLE void chooseLogFolder();
    Q_INVOKABLE void setAutoCal(bool value);
    Q_INVOKABLE void setCalLapCount(qint64 value);
    Q_INVOKABLE void setCSVDelimiter(draftwell::CSVDelimiterOption option);
    // Recomputes sessionData and every lap's cdACal.
    Q_INVOKABLE void updateSessionData();

    // Every transmitter heard, in order of first hearing.
    std::vector<RiderKey> riders() const { return lanes_.riders(); }
    const RiderLanes& riderLanes() const { return lanes_; }
    // Empty while nobody was chosen and nobody heard yet.
    std::optional<RiderKey> followedRider() const;
    // Instant: the lap properties show the rider's lane as it stands. A rider
    // not heard yet may be chosen; nothing shows until it is heard.
    void setFollowedRider(RiderKey rider);
    // The name the user gave a numbered transmitter, remembered in the
    // settings under ".riderNames"; empty for none.
    QString riderName(RiderKey rider) const;
    void setRiderName(RiderKey rider, const QString& name);
    // "12345", "12345 Anna" or "No device number".
    QString riderLabel(RiderKey rider) const;

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
    // The followed rider's lane.
    const LapAssemblyEngine& lapAssembly() const;
    const LapCSVLogger& csvLogger() const { return csvLogger_; }
    const RunJournal& runJournal() const { return runJournal_; }
    // Doubtful laps and drift warnings, checked again by every updateSessionData.
    LapQualityMonitor& lapQuality() { return lapQuality_; }
    const LapQualityMonitor& lapQuality() const { return lapQuality_; }
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
    void ridersChanged();
    void followedRiderChanged();
    void riderNamesChanged();

  private:
    ANTScannerService(std::unique_ptr<ScannerBridge> bridge, std::unique_ptr<QSettings> ownedSettings,
                      QObject* parent);

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
    const RiderLane* followedLane() const;
    bool isFollowed(RiderKey rider) const;
    void showFollowedLane();
    void riderHeard();
    void logRider(RiderKey rider);
    void openRiderFile(RiderKey rider);
    void finishRiderFiles();
    const std::vector<LapDataRef>& lapsOf(std::optional<RiderKey> rider) const;
    void loadRiderNames();

    std::unique_ptr<ScannerBridge> bridge_;
    LapAssemblyEngine idleAssembly_; // shown while the followed rider is not heard yet
    RiderLanes lanes_;
    std::optional<RiderKey> chosenRider_;
    QVariantMap riderNames_;
    // While logging: whose laps Run_NNN.csv holds (empty until a rider is
    // heard), the run's number and folder, and the other riders' files.
    std::optional<RiderKey> runFileRider_;
    std::int64_t runNumber_ = 0;
    QString runFolder_;
    std::vector<std::unique_ptr<RiderRunFile>> riderFiles_;
    LapCSVLogger csvLogger_;
    RunJournal runJournal_;
    std::unique_ptr<QSettings> ownedDefaults_;
    QSettings& userDefaults_;
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
    // Last: it may log while it reads its settings.
    LapQualityMonitor lapQuality_{userDefaults_, [this](const QString& line) { appendLog(line); }};
    LapCSVLogger::Result lastStopResult_;
};

} // namespace draftwell
