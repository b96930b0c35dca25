#include "app/comparison_board_model.h"

#include "app/ant_scanner_service.h"

namespace draftwell {

namespace {

std::optional<double> epochSeconds(const std::optional<QDateTime>& time) {
    if (!time) {
        return std::nullopt;
    }
    return static_cast<double>(time->toMSecsSinceEpoch()) / 1000.0;
}

} // namespace

ComparisonBoardModel::ComparisonBoardModel(ANTScannerService* service, QObject* parent)
    : QObject(parent), service_(service) {
    if (!service_) {
        return;
    }
    const auto live = [this] { recompute(); };
    const auto fresh = [this] { reload(); };
    QObject::connect(service_, &ANTScannerService::logFolderPathChanged, this, fresh);
    QObject::connect(service_, &ANTScannerService::isLoggingChanged, this, fresh);
    QObject::connect(service_, &ANTScannerService::logFileNameChanged, this, fresh);
    QObject::connect(service_, &ANTScannerService::allLapDataChanged, this, live);
    QObject::connect(service_, &ANTScannerService::sessionDataChanged, this, live);
    QObject::connect(service_, &ANTScannerService::logDescriptionChanged, this, live);
    reload();
}

void ComparisonBoardModel::setFolder(const QString& folder) {
    folder_ = folder;
    reload();
}

void ComparisonBoardModel::reload() {
    if (service_) {
        folder_ = service_->logFolderPath();
    }
    // The file of the run being logged holds only its start until it stops.
    const QString live = service_ && service_->isLogging() ? service_->logFileName() : QString();
    folderContents_ = RunFileReader::readFolder(folder_, live);
    recompute();
}

void ComparisonBoardModel::setSettings(const analysis::BoardSettings& settings) {
    settings_ = settings;
    recompute();
}

void ComparisonBoardModel::setBaseline(const QString& configuration) {
    if (configuration.isEmpty()) {
        settings_.baseline.reset();
    } else {
        settings_.baseline = configuration.toStdString();
    }
    recompute();
}

void ComparisonBoardModel::setExcluded(const QString& runName, bool excluded) {
    if (excluded) {
        excluded_.insert(runName);
    } else {
        excluded_.remove(runName);
    }
    recompute();
}

analysis::RunInput ComparisonBoardModel::inputFrom(const RunFile& file) {
    analysis::RunInput run;
    run.name = file.fileName.toStdString();
    run.configuration = file.configuration.toStdString();
    run.startSeconds = epochSeconds(file.start);
    for (const RunFileLap& lap : file.laps) {
        run.laps.push_back({lap.use, lap.cdACal, lap.lapTime});
    }
    return run;
}

void ComparisonBoardModel::recompute() {
    runs_.clear();
    for (const RunFile& file : folderContents_.runs) {
        runs_.push_back(inputFrom(file));
    }
    if (service_ && service_->isLogging()) {
        analysis::RunInput run;
        run.name = service_->logFileName().toStdString();
        run.configuration = service_->logDescription().trimmed().toStdString();
        run.startSeconds = epochSeconds(RunFileReader::parseStartLine(service_->csvLogger().startLine()));
        run.live = true;
        const auto& laps = service_->allLapData();
        for (auto it = laps.rbegin(); it != laps.rend(); ++it) {
            if (*it) {
                run.laps.push_back({(*it)->use, (*it)->cdACal, (*it)->lapTime});
            }
        }
        runs_.push_back(std::move(run));
    }
    for (analysis::RunInput& run : runs_) {
        run.excluded = excluded_.contains(QString::fromStdString(run.name));
    }
    board_ = analysis::buildComparisonBoard(runs_, settings_);
    Q_EMIT boardChanged();
}

} // namespace draftwell
