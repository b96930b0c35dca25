#pragma once

#include <QChartView>

#include <optional>
#include <vector>

#include "analysis/sample_statistics.h"
#include "laps/lap_data.h"

class QAreaSeries;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace draftwell {

class LapQualityMonitor;

// CdACal of every lap of the run in lap order: ticked laps filled, unticked
// hollow, doubtful laps ringed, with the mean of the ticked laps and its
// 95 % band. Compact in the main window, large in the lap data window.
class CdAChartView : public QChartView {
    Q_OBJECT
  public:
    enum class Size { compact, large };

    explicit CdAChartView(Size size, QWidget* parent = nullptr);

    // `laps` newest first, as the service keeps them.
    void setRun(const std::vector<LapDataRef>& laps, const LapQualityMonitor& quality);

    QScatterSeries* tickedSeries() const { return ticked_; }
    QScatterSeries* untickedSeries() const { return unticked_; }
    QScatterSeries* flaggedSeries() const { return flagged_; }
    QLineSeries* meanSeries() const { return mean_; }
    QAreaSeries* bandSeries() const { return band_; }
    // Mean and interval of the ticked laps as last drawn.
    const analysis::SampleStatistics& tickedStatistics() const { return statistics_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    int yTicks() const;
    void draw(const std::vector<LapDataRef>& laps, const LapQualityMonitor* quality);

    QScatterSeries* ticked_;
    QScatterSeries* unticked_;
    QScatterSeries* flagged_;
    QLineSeries* mean_;
    QLineSeries* bandUpper_;
    QLineSeries* bandLower_;
    QAreaSeries* band_;
    QValueAxis* xAxis_;
    QValueAxis* yAxis_;
    analysis::SampleStatistics statistics_;
    bool large_ = false;
};

} // namespace draftwell
