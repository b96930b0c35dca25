#pragma once

#include <QTimer>
#include <QWidget>

namespace draftwell {

class ANTScannerService;
class CdAChartView;
class PopoutBrandTile;
class PopoutLapTable;
class PopoutMetricTile;
class PopoutWeightedRow;
class QualityWarningBanner;

// Large-type display of the latest completed lap and the lap list, readable
// from the bike. Read-only; type grows with the window.
class LapDataPopoutView : public QWidget {
    Q_OBJECT
  public:
    explicit LapDataPopoutView(ANTScannerService& service, QWidget* parent = nullptr);

    PopoutMetricTile* lapTimeTile() const { return lapTime_; }
    PopoutMetricTile* cdATile() const { return cdA_; }
    PopoutMetricTile* lapTile() const { return lap_; }
    PopoutMetricTile* speedTile() const { return speed_; }
    PopoutMetricTile* powerTile() const { return power_; }
    PopoutBrandTile* brandTile() const { return brand_; }
    PopoutLapTable* lapTable() const { return table_; }
    PopoutWeightedRow* firstRow() const { return row1_; }
    PopoutWeightedRow* secondRow() const { return row2_; }
    CdAChartView* cdAChart() const { return chart_; }
    QualityWarningBanner* warningBanner() const { return banner_; }

    // Applies a pending change now instead of at the next refresh.
    void refreshNow();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void refresh();
    void layoutChartColumn();

    ANTScannerService& service_;
    QTimer refreshTimer_;
    bool dirty_ = false;
    PopoutBrandTile* brand_;
    PopoutMetricTile* lapTime_;
    PopoutMetricTile* cdA_;
    PopoutMetricTile* lap_;
    PopoutMetricTile* speed_;
    PopoutMetricTile* power_;
    PopoutWeightedRow* row1_;
    PopoutWeightedRow* row2_;
    PopoutLapTable* table_;
    QualityWarningBanner* banner_;
    CdAChartView* chart_;
    QRect chartColumn_;
};

} // namespace draftwell
