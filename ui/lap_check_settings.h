#pragma once

#include <QGroupBox>

class QDoubleSpinBox;

namespace draftwell {

class LapQualityMonitor;

// The limits of the live lap checks, each stored as soon as it is committed
// (Return, leaving the field, or a step of its arrows).
class LapCheckSettings : public QGroupBox {
    Q_OBJECT
  public:
    explicit LapCheckSettings(LapQualityMonitor& quality, QWidget* parent = nullptr);

    QDoubleSpinBox* outlierField() const { return outlier_; }
    QDoubleSpinBox* paceField() const { return pace_; }
    QDoubleSpinBox* calDriftField() const { return calDrift_; }
    QDoubleSpinBox* trendField() const { return trend_; }

  private:
    void refresh();
    void commit();

    LapQualityMonitor& quality_;
    QDoubleSpinBox* outlier_;
    QDoubleSpinBox* pace_;
    QDoubleSpinBox* calDrift_;
    QDoubleSpinBox* trend_;
};

} // namespace draftwell
