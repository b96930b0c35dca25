#pragma once

#include <QChartView>

#include <vector>

#include "analysis/comparison_board.h"

namespace draftwell {

// CdACal of every lap across the compared runs, one colour per configuration:
// ticked laps filled, unticked hollow, and each run's mean with its 95 % band.
// Dark on white with large type and thick marks, for a laptop in daylight.
class ComparisonChart : public QChartView {
    Q_OBJECT
  public:
    explicit ComparisonChart(QWidget* parent = nullptr);

    void display(const std::vector<analysis::RunInput>& runs, const analysis::ComparisonBoard& board);

    static QColor colorFor(std::size_t configurationIndex);
};

} // namespace draftwell
