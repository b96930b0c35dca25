#include "ui/lap_table_model.h"

#include "app/lap_quality_monitor.h"
#include "ui/lap_columns.h"

#include <QColor>
#include <QFont>

#include <algorithm>

namespace draftwell {

LapTableModel::LapTableModel(bool withFlagColumn, QObject* parent)
    : QAbstractTableModel(parent), withFlagColumn_(withFlagColumn) {}

void LapTableModel::setLaps(const std::vector<LapDataRef>& laps) {
    if (laps == laps_) {
        if (!laps_.empty()) {
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }
        return;
    }
    const auto added = static_cast<std::ptrdiff_t>(laps.size()) - static_cast<std::ptrdiff_t>(laps_.size());
    if (added > 0 && std::equal(laps_.begin(), laps_.end(), laps.begin() + added)) {
        beginInsertRows({}, 0, static_cast<int>(added) - 1);
        laps_ = laps;
        endInsertRows();
        if (laps_.size() > static_cast<std::size_t>(added)) {
            Q_EMIT dataChanged(index(static_cast<int>(added), 0), index(rowCount() - 1, columnCount() - 1));
        }
        return;
    }
    beginResetModel();
    laps_ = laps;
    endResetModel();
}

void LapTableModel::setQuality(const LapQualityMonitor* quality, bool briefReasons) {
    beginResetModel();
    quality_ = quality;
    briefReasons_ = briefReasons;
    endResetModel();
}

int LapTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(laps_.size());
}

int LapTableModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(LapColumns::all.size()) + (withFlagColumn_ ? 1 : 0) + (quality_ ? 1 : 0);
}

QVariant LapTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const LapData& lap = *laps_[static_cast<std::size_t>(index.row())];
    const bool doubtful = quality_ && quality_->flags(lap);
    if (role == Qt::BackgroundRole) {
        return doubtful ? QVariant(QColor(255, 224, 178)) : QVariant();
    }
    if (isCheckColumn(index.column())) {
        const QString reasons = doubtful ? quality_->flagText(lap) : QString();
        switch (role) {
        case Qt::DisplayRole:
            if (!doubtful) {
                return QString();
            }
            return QStringLiteral("\u26A0 ") + (briefReasons_ ? quality_->briefFlagText(lap) : reasons);
        case Qt::ToolTipRole:
            return reasons.isEmpty() ? QVariant() : QVariant(QStringLiteral("Doubtful lap: ") + reasons);
        case Qt::ForegroundRole:
            return QColor(178, 34, 0);
        case Qt::FontRole:
            if (briefReasons_) {
                // Narrow, so the figures beside it keep their room.
                QFont small;
                small.setPixelSize(13);
                return small;
            }
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
        }
    }
    if (isFlagColumn(index.column())) {
        if (role == Qt::CheckStateRole) {
            return lap.use ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    }
    const auto column = LapColumns::all[static_cast<std::size_t>(index.column() - (withFlagColumn_ ? 1 : 0))];
    switch (role) {
    case Qt::DisplayRole:
        return LapColumns::text(lap, column);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

bool LapTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || !isFlagColumn(index.column()) || role != Qt::CheckStateRole ||
        index.row() >= rowCount()) {
        return false;
    }
    const bool use = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
    const LapDataRef lap = laps_[static_cast<std::size_t>(index.row())];
    Q_EMIT useToggled(QString::fromStdString(lap->id), use);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags LapTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    if (isFlagColumn(index.column())) {
        return Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
    }
    return Qt::ItemIsEnabled;
}

QVariant LapTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (isFlagColumn(section)) {
        return QStringLiteral("Flag");
    }
    if (isCheckColumn(section)) {
        return QStringLiteral("Check");
    }
    return LapColumns::header(LapColumns::all[static_cast<std::size_t>(section - (withFlagColumn_ ? 1 : 0))]);
}

} // namespace draftwell
