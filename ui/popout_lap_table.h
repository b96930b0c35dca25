#pragma once

#include <QTableView>

#include <vector>

#include "laps/lap_data.h"

namespace draftwell {

class LapTableModel;

// Large-type lap list, newest lap at the top, columns sharing the width.
class PopoutLapTable : public QTableView {
    Q_OBJECT
  public:
    explicit PopoutLapTable(QWidget* parent = nullptr);

    void setRows(const std::vector<LapDataRef>& rows);
    LapTableModel* lapModel() const { return model_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void fitColumns();

    LapTableModel* model_;
};

} // namespace draftwell
