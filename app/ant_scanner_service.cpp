#include "app/ant_scanner_service.h"

#include <QDir>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <limits>
#include <span>

#include "app/app_identity.h"
#include "app/description_text.h"
#include "app/run_recovery.h"
#include "laps/lap_packet.h"

namespace draftwell {

namespace {

QString settingsKey(const char* suffix) {
    return QString::fromLatin1(kApplicationIdentifier) + QLatin1StringView(suffix);
}

const char* const kLastLogFolderKey = ".lastLogFolder";
const char* const kAutoCalKey = ".autoCal";
const char* const kCalLapCountKey = ".calLapCount";
const char* const kCSVDelimiterKey = ".csvDelimiter";
const char* const kRiderNamesKey = ".riderNames";

const std::vector<LapDataRef> kNoLaps;

// QSettings hands back what it wrote in this process as typed values, and
// what it read from disk as text; both count.
std::optional<bool> storedBool(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool) {
        return v.toBool();
    }
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        if (s == QLatin1StringView("true")) {
            return true;
        }
        if (s == QLatin1StringView("false")) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<qint64> storedInteger(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
        return v.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (v.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        return static_cast<qint64>(v.toULongLong());
    case QMetaType::QString: {
        bool ok = false;
        const qint64 n = v.toString().toLongLong(&ok);
        return ok ? std::optional<qint64>(n) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> storedString(const QVariant& v) {
    if (v.typeId() == QMetaType::QString) {
        return v.toString();
    }
    return std::nullopt;
}

// For a log line: text in quotes (cut short), anything else by its type.
QString describeStoredValue(const QVariant& v) {
    if (v.typeId() == QMetaType::QString) {
        QString text = v.toString();
        if (text.size() > 40) {
            text = text.left(40) + QStringLiteral("...");
        }
        return u'"' + text + u'"';
    }
    if (v.typeId() == QMetaType::QStringList) {
        return QStringLiteral("a list (%1)").arg(v.toStringList().join(QStringLiteral(", ")).left(40));
    }
    return QStringLiteral("a value of type %1").arg(QString::fromLatin1(v.typeName()));
}

template <typename T, typename Signal>
void assign(ANTScannerService* self, T& member, T value, Signal signal) {
    member = std::move(value);
    Q_EMIT(self->*signal)();
}

} // namespace

ANTScannerService::ANTScannerService(std::unique_ptr<ScannerBridge> bridge, QObject* parent)
    : ANTScannerService(std::move(bridge), std::make_unique<QSettings>(), parent) {}

ANTScannerService::ANTScannerService(std::unique_ptr<ScannerBridge> bridge,
                                     std::unique_ptr<QSettings> ownedSettings, QObject* parent)
    : ANTScannerService(std::move(bridge), *ownedSettings, parent) {
    ownedDefaults_ = std::move(ownedSettings);
}

ANTScannerService::ANTScannerService(std::unique_ptr<ScannerBridge> bridge, QSettings& settings,
                                     QObject* parent)
    : QObject(parent), bridge_(std::move(bridge)), userDefaults_(settings) {
    loadSettings();
    loadRiderNames();
    installHandlers();
    updateSessionData();
    recoverRuns(logFolderPath_.trimmed());
}

ANTScannerService::~ANTScannerService() {
    // A run still open when the service goes away keeps its laps.
    if (isLogging_) {
        recordJournal();
        endJournal(csvLogger_.finish(logDescription_, lapsOf(runFileRider_), csvDelimiter_));
        finishRiderFiles();
    }
    // Handlers already posted by the bridge find the service gone through
    // their QPointer; new ones are not delivered at all.
    if (bridge_) {
        bridge_->setStatusHandler({});
        bridge_->setLogHandler({});
        bridge_->setPacketHandler({});
    }
}

QString ANTScannerService::defaultLogFolderPath() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) {
        documents = QDir::homePath() + QStringLiteral("/Documents");
    }
    return QDir(documents).filePath(QString::fromLatin1(kApplicationName));
}

void ANTScannerService::loadSettings() {
    if (userDefaults_.status() != QSettings::NoError) {
        appendLog(QStringLiteral("The settings file %1 could not be read; the defaults are used.")
                      .arg(userDefaults_.fileName()));
    }
    // A hand-edited value of the wrong kind falls back to its default, and
    // says so: a silent fallback looks like a setting that was never made.
    const auto rejected = [this](const char* suffix, const QVariant& value, const QString& expected,
                                 const QString& used) {
        appendLog(QStringLiteral("Setting %1 holds %2, which is not %3; %4 is used.")
                      .arg(settingsKey(suffix), describeStoredValue(value), expected, used));
    };

    const QVariant storedFolder = userDefaults_.value(settingsKey(kLastLogFolderKey));
    const auto folder = storedString(storedFolder);
    const QString trimmed = folder.value_or(QString()).trimmed();
    logFolderPath_ = trimmed.isEmpty() ? defaultLogFolderPath() : trimmed;
    if (storedFolder.isValid() && !folder) {
        rejected(kLastLogFolderKey, storedFolder, QStringLiteral("a folder path"), logFolderPath_);
    }

    const QVariant storedAutoCal = userDefaults_.value(settingsKey(kAutoCalKey));
    const auto autoCal = storedBool(storedAutoCal);
    autoCal_ = autoCal.value_or(true);
    if (storedAutoCal.isValid() && !autoCal) {
        rejected(kAutoCalKey, storedAutoCal, QStringLiteral("true or false"), QStringLiteral("true"));
    }

    const QVariant storedCount = userDefaults_.value(settingsKey(kCalLapCountKey));
    const auto count = storedInteger(storedCount);
    calLapCount_ = count ? std::max<qint64>(*count, 0) : 5;
    if (storedCount.isValid() && !count) {
        rejected(kCalLapCountKey, storedCount, QStringLiteral("a whole number"), QStringLiteral("5"));
    }

    const QVariant storedDelimiter = userDefaults_.value(settingsKey(kCSVDelimiterKey));
    const auto delimiter = storedString(storedDelimiter);
    if (delimiter && csvDelimiterOptionFromRawValue(*delimiter)) {
        csvDelimiter_ = *delimiter;
    } else {
        csvDelimiter_ = rawValue(allCSVDelimiterOptions.front());
        userDefaults_.setValue(settingsKey(kCSVDelimiterKey), csvDelimiter_);
        if (storedDelimiter.isValid()) {
            rejected(kCSVDelimiterKey, storedDelimiter, QStringLiteral("\",\" or \";\""),
                     QStringLiteral("\",\""));
        }
    }

    storeLogFolderSetting();
}

void ANTScannerService::installHandlers() {
    if (!bridge_) {
        return;
    }
    QPointer<ANTScannerService> self(this);
    bridge_->setStatusHandler([self](bool open, bool receiving, bool multiple) {
        if (self) {
            self->handleStatus(open, receiving, multiple);
        }
    });
    bridge_->setLogHandler([self](const QString& line) {
        if (self) {
            self->appendLog(line);
        }
    });
    bridge_->setPacketHandler([self](const QByteArray& payload, std::optional<std::uint16_t> deviceNumber) {
        if (self) {
            self->handlePacket(payload, deviceNumber);
        }
    });
}

CSVDelimiterOption ANTScannerService::csvDelimiterOption() const {
    return csvDelimiterOptionFromRawValue(csvDelimiter_).value_or(allCSVDelimiterOptions.front());
}

void ANTScannerService::setLogFolderPath(const QString& path) {
    assign(this, logFolderPath_, path, &ANTScannerService::logFolderPathChanged);
    storeLogFolderSetting();
}

void ANTScannerService::storeLogFolderSetting() {
    const QString trimmed = logFolderPath_.trimmed();
    if (trimmed.isEmpty()) {
        userDefaults_.remove(settingsKey(kLastLogFolderKey));
    } else {
        userDefaults_.setValue(settingsKey(kLastLogFolderKey), trimmed);
    }
}

void ANTScannerService::setLogDescription(const QString& description) {
    assign(this, logDescription_, description, &ANTScannerService::logDescriptionChanged);
    recordJournal();
}

void ANTScannerService::setOpenConButtonEnabled(bool enabled) {
    assign(this, openConButtonEnabled_, enabled, &ANTScannerService::openConButtonEnabledChanged);
}

void ANTScannerService::setAllLapData(std::vector<LapDataRef> laps) {
    assign(this, allLapData_, std::move(laps), &ANTScannerService::allLapDataChanged);
}

void ANTScannerService::setSessionData(std::vector<LapDataRef> data) {
    assign(this, sessionData_, std::move(data), &ANTScannerService::sessionDataChanged);
}

void ANTScannerService::setLogFileName(const QString& name) {
    assign(this, logFileName_, name, &ANTScannerService::logFileNameChanged);
}

void ANTScannerService::setIsLogging(bool logging) {
    assign(this, isLogging_, logging, &ANTScannerService::isLoggingChanged);
}

void ANTScannerService::setLastCompletedLap(const QString& text) {
    assign(this, lastCompletedLap_, text, &ANTScannerService::lastCompletedLapChanged);
}

void ANTScannerService::setFolderChooser(FolderChooser chooser) {
    folderChooser_ = std::move(chooser);
}

// Bridge handlers ------------------------------------------------------------

void ANTScannerService::handleStatus(bool open, bool receiving, bool multiple) {
    if (multiple && !multipleDevices_) {
        appendLog(QStringLiteral("Each Garmin's laps are kept apart: the rider followed is shown, and every "
                                 "rider's laps are logged to their own file."));
    }
    assign(this, isOpen_, open, &ANTScannerService::isOpenChanged);
    assign(this, isReceiving_, receiving, &ANTScannerService::isReceivingChanged);
    assign(this, multipleDevices_, multiple, &ANTScannerService::multipleDevicesChanged);
    setOpenConButtonEnabled(true);
}

QString ANTScannerService::stripTimestamp(const QString& line) {
    // Digits of any script count, not only ASCII ones.
    static const QRegularExpression timestamp(QStringLiteral("^\\d{2}:\\d{2}:\\d{2}\\.\\d{3}$"),
                                              QRegularExpression::UseUnicodePropertiesOption);
    if (line.size() >= 14 && line.at(12) == QLatin1Char(' ') && timestamp.match(line.left(12)).hasMatch()) {
        return line.mid(13);
    }
    return line;
}

void ANTScannerService::appendTrimmed(QStringList& list, const QString& line,
                                      void (ANTScannerService::*changed)()) {
    list.append(line);
    if (list.size() > maxLogLines) {
        list.remove(0, list.size() - maxLogLines);
    }
    Q_EMIT(this->*changed)();
}

void ANTScannerService::appendLog(const QString& line) {
    appendTrimmed(logs_, line, &ANTScannerService::logsChanged);
    if (line.contains(QLatin1StringView("RX ["))) {
        appendTrimmed(dataLogs_, line, &ANTScannerService::dataLogsChanged);
    } else {
        appendTrimmed(messageLogs_, stripTimestamp(line), &ANTScannerService::messageLogsChanged);
    }
}

void ANTScannerService::applyUpdate(const LapAssemblyUpdate& update) {
    assign(this, currentLapNumber_, QString::fromStdString(update.lapNumberText),
           &ANTScannerService::currentLapNumberChanged);
    assign(this, packetProgress_, QString::fromStdString(update.progressText),
           &ANTScannerService::packetProgressChanged);
    assign(this, lapStatus_, QString::fromStdString(update.statusText), &ANTScannerService::lapStatusChanged);
    assign(this, lapComplete_, update.lapComplete, &ANTScannerService::lapCompleteChanged);
    assign(this, completedLapCount_, static_cast<qint64>(update.completedCount),
           &ANTScannerService::completedLapCountChanged);
}

void ANTScannerService::handlePacket(const QByteArray& payload, std::optional<std::uint16_t> deviceNumber) {
    const auto page = decodeLapPage(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(payload.constData()),
                                      static_cast<std::size_t>(payload.size())));
    if (!page) {
        return;
    }
    bool created = false;
    RiderLane& lane = lanes_.laneFor(deviceNumber, created);
    if (created) {
        riderHeard();
    }
    if (isLogging_) {
        logRider(deviceNumber);
    }
    const LapAssemblyUpdate update = lane.assembly.process(*page);
    const bool followed = isFollowed(deviceNumber);
    if (followed) {
        applyUpdate(update);
    }
    if (update.lapMessage) {
        if (followed) {
            setLastCompletedLap(QString::fromStdString(*update.lapMessage));
            setAllLapData(lane.assembly.completedLaps());
        }
        updateSessionData();
    }
}

// Riders ---------------------------------------------------------------------

std::optional<RiderKey> ANTScannerService::followedRider() const {
    if (chosenRider_) {
        return chosenRider_;
    }
    if (lanes_.empty()) {
        return std::nullopt;
    }
    return lanes_.at(0).rider;
}

bool ANTScannerService::isFollowed(RiderKey rider) const {
    const auto followed = followedRider();
    return followed && *followed == rider;
}

const RiderLane* ANTScannerService::followedLane() const {
    const auto followed = followedRider();
    return followed ? lanes_.find(*followed) : nullptr;
}

const LapAssemblyEngine& ANTScannerService::lapAssembly() const {
    const RiderLane* lane = followedLane();
    return lane ? lane->assembly : idleAssembly_;
}

const std::vector<LapDataRef>& ANTScannerService::lapsOf(std::optional<RiderKey> rider) const {
    const RiderLane* lane = rider ? lanes_.find(*rider) : nullptr;
    return lane ? lane->assembly.completedLaps() : kNoLaps;
}

void ANTScannerService::setFollowedRider(RiderKey rider) {
    chosenRider_ = rider;
    showFollowedLane();
    Q_EMIT followedRiderChanged();
}

void ANTScannerService::showFollowedLane() {
    const LapAssemblyEngine& assembly = lapAssembly();
    applyUpdate(assembly.makeUpdate());
    const auto& laps = assembly.completedLaps();
    setLastCompletedLap(laps.empty() ? QStringLiteral("-")
                                     : QString::fromStdString(LapAssemblyEngine::lapMessage(*laps.front())));
    setAllLapData(laps);
    updateSessionData();
}

void ANTScannerService::riderHeard() {
    Q_EMIT ridersChanged();
    if (!chosenRider_ && lanes_.size() == 1) {
        Q_EMIT followedRiderChanged();
    }
}

void ANTScannerService::logRider(RiderKey rider) {
    // Run_NNN.csv waits for the first rider when logging started before any.
    if (!runFileRider_) {
        runFileRider_ = followedRider();
    }
    if (*runFileRider_ == rider ||
        std::any_of(riderFiles_.begin(), riderFiles_.end(),
                    [rider](const auto& file) { return file->rider() == rider; })) {
        return;
    }
    openRiderFile(rider);
}

void ANTScannerService::openRiderFile(RiderKey rider) {
    auto file = std::make_unique<RiderRunFile>(rider, LapCSVLogger::fileNameForRider(runNumber_, rider));
    for (const QString& line : file->open(runFolder_, csvDelimiter_, logDescription_, lapsOf(rider))) {
        appendLog(line);
    }
    riderFiles_.push_back(std::move(file));
}

void ANTScannerService::finishRiderFiles() {
    for (const auto& file : riderFiles_) {
        for (const QString& line : file->finish(csvDelimiter_, logDescription_, lapsOf(file->rider()))) {
            appendLog(line);
        }
    }
    riderFiles_.clear();
    runFileRider_.reset();
}

void ANTScannerService::loadRiderNames() {
    const QVariant stored = userDefaults_.value(settingsKey(kRiderNamesKey));
    if (stored.typeId() == QMetaType::QVariantMap) {
        riderNames_ = stored.toMap();
    } else if (stored.isValid()) {
        appendLog(
            QStringLiteral("Setting %1 holds %2, which is not a list of rider names; no names are used.")
                .arg(settingsKey(kRiderNamesKey), describeStoredValue(stored)));
    }
}

QString ANTScannerService::riderName(RiderKey rider) const {
    return rider ? riderNames_.value(QString::number(*rider)).toString() : QString();
}

void ANTScannerService::setRiderName(RiderKey rider, const QString& name) {
    if (!rider) {
        return;
    }
    const QString trimmed = name.trimmed();
    const QString key = QString::number(*rider);
    if (trimmed.isEmpty()) {
        riderNames_.remove(key);
    } else {
        riderNames_.insert(key, trimmed);
    }
    if (riderNames_.isEmpty()) {
        userDefaults_.remove(settingsKey(kRiderNamesKey));
    } else {
        userDefaults_.setValue(settingsKey(kRiderNamesKey), riderNames_);
    }
    Q_EMIT riderNamesChanged();
}

QString ANTScannerService::riderLabel(RiderKey rider) const {
    if (!rider) {
        return QStringLiteral("No device number");
    }
    const QString name = riderName(rider);
    return name.isEmpty() ? QString::number(*rider) : QString::number(*rider) + u' ' + name;
}

// Commands -------------------------------------------------------------------

void ANTScannerService::connect() {
    if (!openConButtonEnabled_ || !bridge_) {
        return;
    }
    setOpenConButtonEnabled(false);
    QPointer<ANTScannerService> self(this);
    bridge_->openScannerWithCompletion([self](const std::optional<ScannerError>& error) {
        if (!self) {
            return;
        }
        if (error) {
            self->appendLog(error->code == 1
                                ? QStringLiteral("No ANT device found.\nTry replugging the ANT dongle.")
                                : QStringLiteral("Failed to open scanner.\nTry replugging the ANT dongle."));
        }
        self->setOpenConButtonEnabled(true);
    });
}

void ANTScannerService::disconnect() {
    if (!openConButtonEnabled_ || !bridge_) {
        return;
    }
    setOpenConButtonEnabled(false);
    QPointer<ANTScannerService> self(this);
    bridge_->closeScannerWithCompletion([self] {
        if (self) {
            self->setOpenConButtonEnabled(true);
        }
    });
}

void ANTScannerService::chooseLogFolder() {
    if (!folderChooser_) {
        return;
    }
    const QString trimmed = logFolderPath_.trimmed();
    const auto chosen = folderChooser_(trimmed.isEmpty() ? defaultLogFolderPath() : trimmed);
    if (!chosen || chosen->isEmpty()) {
        return;
    }
    setLogFolderPath(*chosen);
    appendLog(QStringLiteral("Selected folder ") + *chosen);
}

void ANTScannerService::startLogging(bool resetFirst) {
    if (isLogging_) {
        return;
    }
    const std::vector<RiderKey> riders = lanes_.riders();
    const bool anyLaps =
        std::any_of(riders.begin(), riders.end(), [this](RiderKey r) { return !lapsOf(r).empty(); });
    if (resetFirst && anyLaps) {
        resetLaps();
    }
    QString folder = logFolderPath_.trimmed();
    if (folder.isEmpty()) {
        folder = defaultLogFolderPath();
        setLogFolderPath(folder);
    }
    if (!QDir().mkpath(folder)) {
        appendLog(QStringLiteral("Failed to create output directory."));
        return;
    }
    // Before the run number is chosen: a recovered run keeps its own number.
    recoverRuns(folder);
    const auto runNumber = LapCSVLogger::nextRunNumber(folder);
    if (!runNumber) {
        appendLog(QStringLiteral("Invalid directory."));
        return;
    }
    const QString fileName = LapCSVLogger::fileNameForRun(*runNumber);
    if (csvLogger_.open(QDir(folder).filePath(fileName))) {
        appendLog(QStringLiteral("Failed to open file."));
        appendLog(
            QStringLiteral("Could not create %1 in %2: %3.").arg(fileName, folder, csvLogger_.errorText()));
        return;
    }
    setLogFileName(fileName);
    setIsLogging(true);
    appendLog(QStringLiteral("Opened log file."));
    runFileRider_ = followedRider();
    runNumber_ = *runNumber;
    runFolder_ = folder;
    if (!runJournal_.begin(folder, fileName, csvLogger_.startLine(), csvDelimiter_, logDescription_,
                           lapsOf(runFileRider_))) {
        appendLog(QStringLiteral("Could not write the journal of %1: %2. The laps stay in the lap list "
                                 "until logging stops.")
                      .arg(fileName, runJournal_.errorText()));
    }
    // Riders not heard during the run get no file, unless they bring laps.
    for (const RiderKey rider : lanes_.riders()) {
        if (!lapsOf(rider).empty()) {
            logRider(rider);
        }
    }
}

void ANTScannerService::stopLogging() {
    if (!isLogging_) {
        return;
    }
    // A use flag set without updateSessionData still reaches the journal.
    recordJournal();
    const LapCSVLogger::Result finished =
        csvLogger_.finish(logDescription_, lapsOf(runFileRider_), csvDelimiter_);
    lastStopResult_ = finished;
    appendLog(finished ? QStringLiteral("Failed to close file.") : QStringLiteral("Closed log file."));
    if (csvDescriptionText(logDescription_) != logDescription_) {
        appendLog(QStringLiteral("The description was written with its line breaks, double quotes or "
                                 "invalid characters replaced."));
    }
    endJournal(finished);
    finishRiderFiles();
    setIsLogging(false);
}

void ANTScannerService::endJournal(const LapCSVLogger::Result& finished) {
    if (!finished) {
        if (!runJournal_.remove()) {
            appendLog(QStringLiteral("Could not remove the journal of %1: %2.")
                          .arg(logFileName_, runJournal_.errorText()));
        }
        return;
    }
    if (*finished == LoggerError::fileRemoved) {
        appendLog(QStringLiteral("%1 was removed before it could be written; the laps stay in the lap list "
                                 "for the next run.")
                      .arg(logFileName_));
    } else if (runJournal_.isUpToDate()) {
        appendLog(QStringLiteral("%1 is incomplete (%2); the laps stay in the lap list, and its journal "
                                 "completes it when logging next starts in this folder.")
                      .arg(logFileName_, csvLogger_.errorText()));
    } else {
        appendLog(QStringLiteral("%1 is incomplete (%2); the laps stay in the lap list for the next run.")
                      .arg(logFileName_, csvLogger_.errorText()));
    }
    runJournal_.close();
}

void ANTScannerService::recordJournal() {
    if (!isLogging_) {
        return;
    }
    for (const auto& file : riderFiles_) {
        for (const QString& line : file->record(csvDelimiter_, logDescription_, lapsOf(file->rider()))) {
            appendLog(line);
        }
    }
    if (!runJournal_.isActive()) {
        return;
    }
    const bool wasUpToDate = runJournal_.isUpToDate();
    if (runJournal_.record(csvDelimiter_, logDescription_, lapsOf(runFileRider_))) {
        if (!wasUpToDate) {
            appendLog(QStringLiteral("The journal of %1 is written again.").arg(logFileName_));
        }
    } else if (wasUpToDate) {
        appendLog(QStringLiteral("Could not write the journal of %1: %2. The laps stay in the lap list "
                                 "until logging stops.")
                      .arg(logFileName_, runJournal_.errorText()));
    }
}

void ANTScannerService::recoverRuns(const QString& folder) {
    for (const QString& line : RunRecovery::recoverFolder(folder)) {
        appendLog(line);
    }
}

void ANTScannerService::resetLaps() {
    lanes_.clearCompletedLaps();
    setAllLapData({});
    setLastCompletedLap(QStringLiteral("-"));
    applyUpdate(lapAssembly().makeUpdate());
    updateSessionData();
}

bool ANTScannerService::forgetRiders() {
    if (isLogging_) {
        return false;
    }
    lanes_.clear();
    chosenRider_.reset();
    Q_EMIT ridersChanged();
    Q_EMIT followedRiderChanged();
    showFollowedLane();
    return true;
}

void ANTScannerService::applicationWillTerminate() {
    stopLogging();
    if (bridge_) {
        bridge_->closeScanner();
    }
    setOpenConButtonEnabled(true);
}

// Settings -------------------------------------------------------------------

void ANTScannerService::setAutoCal(bool value) {
    if (value == autoCal_) {
        return;
    }
    assign(this, autoCal_, value, &ANTScannerService::autoCalChanged);
    userDefaults_.setValue(settingsKey(kAutoCalKey), value);
    updateSessionData();
}

void ANTScannerService::setCalLapCount(qint64 value) {
    const qint64 count = std::max<qint64>(value, 0);
    if (count == calLapCount_) {
        return;
    }
    assign(this, calLapCount_, count, &ANTScannerService::calLapCountChanged);
    userDefaults_.setValue(settingsKey(kCalLapCountKey), count);
    updateSessionData();
}

void ANTScannerService::setCSVDelimiter(CSVDelimiterOption option) {
    const QString raw = rawValue(option);
    if (raw == csvDelimiter_) {
        return;
    }
    assign(this, csvDelimiter_, raw, &ANTScannerService::csvDelimiterChanged);
    userDefaults_.setValue(settingsKey(kCSVDelimiterKey), raw);
    recordJournal();
}

// Calibration and session summary ---------------------------------------------

namespace {

// The session summary of a lap list; rewrites every lap's cdACal.
LapDataRef calibrateLaps(const std::vector<LapDataRef>& laps, bool autoCal, qint64 calLapCount) {
    auto summary = makeLapData();
    LapData& s = *summary;
    qint64 used = 0;
    qint64 calLaps = 0;
    double speedSum = 0;
    qint64 speedLaps = 0; // a lap without speed is left out of the mean speed
    for (auto it = laps.rbegin(); it != laps.rend(); ++it) {
        const LapData& lap = **it;
        if (!lap.use) {
            continue;
        }
        ++used;
        s.cdA += lap.cdA;
        if (calLaps < calLapCount) {
            s.cal += lap.cal;
            ++calLaps;
        }
        s.lapTime += lap.lapTime;
        s.dist += lap.dist;
        if (lap.speed) {
            speedSum += *lap.speed;
            ++speedLaps;
        }
        s.riderPwr += lap.riderPwr;
        s.head += lap.head;
        s.chest += lap.chest;
    }

    if (used > 0) {
        const auto n = static_cast<double>(used);
        s.cdA /= n;
        if (calLaps > 0) {
            s.cal /= static_cast<double>(calLaps);
        }
        // Without a positive average factor there is no calibration: the
        // summary and every lap show 0 rather than an infinite or NaN CdA.
        const bool calibrate = s.cal > 0;
        if (autoCal) {
            s.cdACal = calibrate ? s.cdA / s.cal : 0;
        } else {
            s.cdACal = s.cdA;
        }
        s.lapTime /= n;
        s.dist /= n;
        s.speed = speedLaps > 0 ? std::optional(speedSum / static_cast<double>(speedLaps)) : std::nullopt;
        s.riderPwr /= n;
        s.head /= n;
        s.chest /= n;
        s.lap = used;
        if (autoCal) {
            for (const auto& lap : laps) {
                lap->cdACal = calibrate ? lap->cdA / s.cal : 0;
            }
        }
    }
    // Without auto calibration there is nothing to keep from an earlier run,
    // also when no lap is ticked.
    if (!autoCal) {
        for (const auto& lap : laps) {
            lap->cdACal = lap->cdA;
        }
    }

    return summary;
}

} // namespace

void ANTScannerService::updateSessionData() {
    // Every rider's laps carry their own calibration into their own file.
    for (std::size_t i = 0; i < lanes_.size(); ++i) {
        if (!isFollowed(lanes_.at(i).rider)) {
            calibrateLaps(lanes_.at(i).assembly.completedLaps(), autoCal_, calLapCount_);
        }
    }
    auto summary = calibrateLaps(allLapData_, autoCal_, calLapCount_);
    setSessionData({std::move(summary)});
    lapQuality_.update(allLapData_, calLapCount_);
    // Same list again: the views redraw the rewritten cdACal values.
    Q_EMIT allLapDataChanged();
    recordJournal();
}

} // namespace draftwell
