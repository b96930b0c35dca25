#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/lap_quality.h"
#include "laps/lap_data.h"

namespace draftwell {

// The live checks of the service's run: which laps look doubtful and why,
// and the calibration-drift and CdA-trend warnings. The service hands it the
// laps after every recalculation; views and the headless logger read the
// result and redraw on changed(). It never changes a lap: unticking stays the
// rider's decision.
//
// The ticked laps are the reference the checks compare with, as they are
// for the calibration and the summary: a lap the rider already threw out
// does not shift the median that the others are judged by. Every lap,
// ticked or not, is scored, so an unticked lap keeps showing why.
//
// The limits are settings under kApplicationIdentifier followed by
// ".outlierZLimit", ".paceLimitPercent", ".calDriftLimitPercent" and
// ".cdATrendLimitPercent".
class LapQualityMonitor : public QObject {
    Q_OBJECT
  public:
    using LogLine = std::function<void(const QString& line)>;

    LapQualityMonitor(QSettings& settings, LogLine log, QObject* parent = nullptr);

    // `laps` newest first, as the service keeps them.
    void update(const std::vector<LapDataRef>& laps, qint64 calLapCount);

    const analysis::QualityLimits& limits() const { return limits_; }
    // Stores the changed limits and checks the run again.
    void setLimits(const analysis::QualityLimits& limits);

    // Null when the lap is not flagged.
    const analysis::LapFlags* flags(const LapData& lap) const;
    // The reasons, such as "CdA z +19.90, pace -8.89 %"; empty when none.
    QString flagText(const LapData& lap) const;
    // Only which checks fired, such as "CdA, pace", for narrow columns.
    QString briefFlagText(const LapData& lap) const;
    // Empty while the warning does not hold.
    const QString& calibrationWarning() const { return calibrationWarning_; }
    const QString& trendWarning() const { return trendWarning_; }
    QStringList warnings() const;

  Q_SIGNALS:
    void changed();

  private:
    void loadLimits();
    void assess();
    void announce(const QString& before, const QString& now, const QString& gone);

    QSettings& settings_;
    LogLine log_;
    analysis::QualityLimits limits_;
    std::vector<LapDataRef> laps_;
    qint64 calLapCount_ = 0;
    std::unordered_map<std::string, analysis::LapFlags> flagged_;
    QString calibrationWarning_;
    QString trendWarning_;
};

} // namespace draftwell
