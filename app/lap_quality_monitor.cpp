#include "app/lap_quality_monitor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "app/app_identity.h"
#include "app/format_number.h"

namespace draftwell {

namespace {

struct LimitSetting {
    const char* suffix;
    double analysis::QualityLimits::*field;
};

constexpr std::array<LimitSetting, 4> kLimitSettings{{
    {".outlierZLimit", &analysis::QualityLimits::outlierZ},
    {".paceLimitPercent", &analysis::QualityLimits::pacePercent},
    {".calDriftLimitPercent", &analysis::QualityLimits::calDriftPercent},
    {".cdATrendLimitPercent", &analysis::QualityLimits::trendPercent},
}};

QString settingsKey(const char* suffix) {
    return QString::fromLatin1(kApplicationIdentifier) + QLatin1StringView(suffix);
}

QString signedNumber(double value, int digits) {
    return (value > 0 ? QStringLiteral("+") : QString()) + formatNumber(value, digits);
}

} // namespace

LapQualityMonitor::LapQualityMonitor(QSettings& settings, LogLine log, QObject* parent)
    : QObject(parent), settings_(settings), log_(std::move(log)) {
    loadLimits();
}

void LapQualityMonitor::loadLimits() {
    const analysis::QualityLimits defaults;
    for (const LimitSetting& s : kLimitSettings) {
        const QVariant stored = settings_.value(settingsKey(s.suffix));
        if (!stored.isValid()) {
            continue;
        }
        bool ok = false;
        const double value = stored.toDouble(&ok);
        if (ok && std::isfinite(value) && value > 0) {
            limits_.*s.field = value;
        } else {
            log_(QStringLiteral("Setting %1 is not a positive number; %2 is used.")
                     .arg(settingsKey(s.suffix), formatNumber(defaults.*s.field, 1)));
        }
    }
}

void LapQualityMonitor::setLimits(const analysis::QualityLimits& limits) {
    for (const LimitSetting& s : kLimitSettings) {
        const double value = limits.*s.field;
        if (std::isfinite(value) && value > 0 && value != limits_.*s.field) {
            limits_.*s.field = value;
            settings_.setValue(settingsKey(s.suffix), value);
        }
    }
    assess();
}

void LapQualityMonitor::update(const std::vector<LapDataRef>& laps, qint64 calLapCount) {
    laps_ = laps;
    calLapCount_ = calLapCount;
    assess();
}

void LapQualityMonitor::assess() {
    std::vector<analysis::LapFigures> figures;
    figures.reserve(laps_.size());
    for (auto it = laps_.rbegin(); it != laps_.rend(); ++it) {
        const LapData& lap = **it;
        figures.push_back({lap.cdACal, lap.cal, lap.speed.value_or(0.0), lap.use});
    }
    const analysis::RunQuality quality =
        analysis::assessRun(figures, static_cast<std::size_t>(std::max<qint64>(calLapCount_, 0)), limits_);

    flagged_.clear();
    for (std::size_t i = 0; i < figures.size(); ++i) {
        if (quality.laps[i].any()) {
            flagged_.emplace(laps_[laps_.size() - 1 - i]->id, quality.laps[i]);
        }
    }

    QString calibration;
    if (quality.calibrationDrift && quality.calibrationDrift->exceeded) {
        calibration = QStringLiteral("Calibration drift: cal %1 %, last %2 laps vs calibration laps")
                          .arg(signedNumber(quality.calibrationDrift->percent, 2))
                          .arg(analysis::kRecentCalibrationLaps);
    }
    QString trend;
    if (quality.trend && quality.trend->drifting) {
        trend = QStringLiteral("CdA drifting: %1 % over %2 laps")
                    .arg(signedNumber(*quality.trend->fit.changePercent, 2))
                    .arg(quality.trend->fit.n);
    }
    const QString calibrationBefore = std::exchange(calibrationWarning_, calibration);
    const QString trendBefore = std::exchange(trendWarning_, trend);
    // Views first, so the headless logger's lap line comes before the log line.
    Q_EMIT changed();
    announce(calibrationBefore, calibrationWarning_,
             QStringLiteral("Calibration drift no longer above %1 %.")
                 .arg(formatNumber(limits_.calDriftPercent, 1)));
    announce(trendBefore, trendWarning_, QStringLiteral("CdA no longer drifting."));
}

void LapQualityMonitor::announce(const QString& before, const QString& now, const QString& gone) {
    // Only the start and the end: the figure itself moves with every lap.
    if (before.isEmpty() && !now.isEmpty()) {
        log_(now + u'.');
    } else if (!before.isEmpty() && now.isEmpty()) {
        log_(gone);
    }
}

const analysis::LapFlags* LapQualityMonitor::flags(const LapData& lap) const {
    const auto it = flagged_.find(lap.id);
    return it == flagged_.end() ? nullptr : &it->second;
}

QString LapQualityMonitor::flagText(const LapData& lap) const {
    const analysis::LapFlags* f = flags(lap);
    if (!f) {
        return {};
    }
    QStringList reasons;
    if (f->outlierZ) {
        reasons.append(QStringLiteral("CdA z %1").arg(signedNumber(*f->outlierZ, 2)));
    }
    if (f->pacePercent) {
        reasons.append(QStringLiteral("pace %1 %").arg(signedNumber(*f->pacePercent, 2)));
    }
    return reasons.join(QStringLiteral(", "));
}

QString LapQualityMonitor::briefFlagText(const LapData& lap) const {
    const analysis::LapFlags* f = flags(lap);
    if (!f) {
        return {};
    }
    QStringList reasons;
    if (f->outlierZ) {
        reasons.append(QStringLiteral("CdA"));
    }
    if (f->pacePercent) {
        reasons.append(QStringLiteral("pace"));
    }
    return reasons.join(QStringLiteral(", "));
}

QStringList LapQualityMonitor::warnings() const {
    QStringList all;
    for (const QString* w : {&calibrationWarning_, &trendWarning_}) {
        if (!w->isEmpty()) {
            all.append(*w);
        }
    }
    return all;
}

} // namespace draftwell
