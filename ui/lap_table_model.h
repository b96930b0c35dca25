#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "laps/lap_data.h"

namespace draftwell {

class LapQualityMonitor;

// Table model over a lap list, newest lap first, optionally with a leading
// tick-box column for the lap's `use` flag. It keeps references to the lap
// records, never copies of their figures, and turns a tick into a
// useToggled request instead of changing the lap itself.
class LapTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit LapTableModel(bool withFlagColumn, QObject* parent = nullptr);

    // Takes the new list; a lap added at the top becomes an inserted row so
    // the views keep their scroll position.
    void setLaps(const std::vector<LapDataRef>& laps);
    const std::vector<LapDataRef>& laps() const { return laps_; }
    bool hasFlagColumn() const { return withFlagColumn_; }
    // Adds a last column, "Check", marking doubtful laps with their reasons
    // (with their figures, or brief ones naming only the checks), and tints
    // their rows.
    void setQuality(const LapQualityMonitor* quality, bool briefReasons = false);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  Q_SIGNALS:
    void useToggled(const QString& lapId, bool use);

  private:
    bool isFlagColumn(int column) const { return withFlagColumn_ && column == 0; }
    bool isCheckColumn(int column) const { return quality_ && column == columnCount() - 1; }

    bool withFlagColumn_;
    std::vector<LapDataRef> laps_;
    const LapQualityMonitor* quality_ = nullptr;
    bool briefReasons_ = false;
};

} // namespace draftwell
