#include "ui/lap_data_table.h"

#include "app/ant_scanner_service.h"
#include "ui/lap_table_model.h"

#include <QHeaderView>
#include <QKeyEvent>

#include <array>

namespace draftwell {

namespace {

constexpr std::array<int, 11> kColumnWidths{42, 40, 70, 60, 72, 60, 60, 60, 60, 60, 60};

} // namespace

LapDataTable::LapDataTable(ANTScannerService& service, QWidget* parent)
    : QTableView(parent), service_(service), model_(new LapTableModel(true, this)) {
    setObjectName(QStringLiteral("lapDataTable"));
    model_->setQuality(&service_.lapQuality());
    setModel(model_);
    setSortingEnabled(false);
    // The selected row shows which lap the keyboard is on.
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(22);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    for (std::size_t i = 0; i < kColumnWidths.size(); ++i) {
        header->resizeSection(static_cast<int>(i), kColumnWidths[i]);
    }
    // The doubtful-lap reasons take what the figures leave.
    header->setStretchLastSection(true);
    header->setMinimumSectionSize(40);
    connect(model_, &LapTableModel::useToggled, this, &LapDataTable::applyUse);
    refresh();
}

void LapDataTable::refresh() {
    model_->setLaps(service_.allLapData());
}

void LapDataTable::focusInEvent(QFocusEvent* event) {
    if (!currentIndex().isValid() && model_->rowCount() > 0) {
        setCurrentIndex(model_->index(0, 0));
    }
    QTableView::focusInEvent(event);
}

void LapDataTable::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Select) && current.isValid()) {
        // Whichever column the keyboard is on, Space means the lap's tick box.
        const QModelIndex flag = model_->index(current.row(), 0);
        const bool checked = model_->data(flag, Qt::CheckStateRole).toInt() == Qt::Checked;
        model_->setData(flag, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void LapDataTable::applyUse(const QString& lapId, bool use) {
    const std::string id = lapId.toStdString();
    for (const LapDataRef& lap : service_.allLapData()) {
        if (lap && lap->id == id) {
            lap->use = use;
            service_.updateSessionData();
            return;
        }
    }
}

} // namespace draftwell
