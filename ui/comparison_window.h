#pragma once

#include <QWidget>

#include "app/comparison_board_model.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QTableWidget;

namespace draftwell {

class ANTScannerService;
class ComparisonChart;

// The comparison board: which configuration is lower than the baseline, by
// how much and how surely, over the runs of the output folder and the run
// being logged, with the laps still needed and a chart of every lap.
class ComparisonWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ComparisonWindow(ANTScannerService& service, QWidget* parent = nullptr);

    ComparisonBoardModel& model() { return model_; }
    QTableWidget* table() const { return table_; }
    QLabel* driftWarning() const { return driftWarning_; }
    QLabel* lapsNeeded() const { return lapsNeeded_; }

    bool exportCsv(const QString& path) const;
    bool saveChartPng(const QString& path) const;

  private:
    void refresh();
    void applySettings();
    void fillBaselines();
    void fillTable();
    void chooseCsvFile();
    void chooseChartFile();

    ANTScannerService& service_;
    ComparisonBoardModel model_;
    QComboBox* baseline_;
    QDoubleSpinBox* speed_;
    QDoubleSpinBox* density_;
    QComboBox* targetKind_;
    QDoubleSpinBox* target_;
    QLabel* driftWarning_;
    QLabel* lapsNeeded_;
    QLabel* skipped_;
    QTableWidget* table_;
    ComparisonChart* chart_;
    bool filling_ = false;
};

} // namespace draftwell
