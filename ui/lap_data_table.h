#pragma once

#include <QTableView>

namespace draftwell {

class ANTScannerService;
class LapTableModel;

// The completed laps with a tick box per lap deciding whether it counts
// towards the session summary. Tab reaches it, the arrow keys move between
// laps and Space ticks or unticks the focused one.
class LapDataTable : public QTableView {
    Q_OBJECT
  public:
    explicit LapDataTable(ANTScannerService& service, QWidget* parent = nullptr);

    // Re-reads the service's lap list.
    void refresh();
    LapTableModel* lapModel() const { return model_; }

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void applyUse(const QString& lapId, bool use);

    ANTScannerService& service_;
    LapTableModel* model_;
};

} // namespace draftwell
