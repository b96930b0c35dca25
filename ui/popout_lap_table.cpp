#include "ui/popout_lap_table.h"

#include "ui/lap_table_model.h"
#include "ui/popout_tile_style.h"

#include <QFontMetrics>
#include <QHeaderView>

#include <algorithm>
#include <vector>

namespace draftwell {

PopoutLapTable::PopoutLapTable(QWidget* parent) : QTableView(parent), model_(new LapTableModel(false, this)) {
    setObjectName(QStringLiteral("popoutLapTable"));
    setModel(model_);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setShowGrid(false);

    QFont cellFont = font();
    cellFont.setPixelSize(16);
    // Ten equal columns are narrow at the minimum width; a condensed face,
    // where the system has one, keeps three-decimal times whole.
    cellFont.setStretch(QFont::SemiCondensed);
    setFont(cellFont);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, Qt::white);
    colors.setColor(QPalette::Text, PopoutTileStyle::text());
    setPalette(colors);
    setStyleSheet(QStringLiteral("QTableView { background: white; color: black; }"
                                 "QTableView::item { border-bottom: 1px solid rgba(60, 60, 67, 0.29);"
                                 " padding: 2px 6px; }"
                                 "QHeaderView::section { background: rgba(255, 255, 255, 0.95);"
                                 " color: rgba(60, 60, 67, 0.6); border: none;"
                                 " border-bottom: 1px solid rgba(60, 60, 67, 0.29); padding: 6px 8px;"
                                 " font-size: 15px; font-weight: 600; }"));

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(cellFont).height() + 2 * 2 + 2 * 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void PopoutLapTable::setRows(const std::vector<LapDataRef>& rows) {
    model_->setLaps(rows);
    fitColumns();
}

void PopoutLapTable::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fitColumns();
}

void PopoutLapTable::fitColumns() {
    // Equal shares of the width, but never narrower than a column's texts:
    // a cut-off lap time is worse than columns of unequal width.
    const int columns = model_->columnCount();
    if (columns == 0) {
        return;
    }
    QHeaderView* header = horizontalHeader();
    std::vector<int> needed(static_cast<std::size_t>(columns));
    int fixed = 0;
    for (int c = 0; c < columns; ++c) {
        needed[static_cast<std::size_t>(c)] = std::max(sizeHintForColumn(c), header->sectionSizeHint(c));
    }
    const int width = viewport()->width();
    int share = width / columns;
    // Columns that need more than a share take it; the rest split what is left.
    for (int pass = 0; pass < columns; ++pass) {
        int wide = 0;
        fixed = 0;
        for (const int n : needed) {
            if (n > share) {
                fixed += n;
                ++wide;
            }
        }
        const int next = wide == columns ? share : (width - fixed) / (columns - wide);
        if (next == share) {
            break;
        }
        share = next;
    }
    for (int c = 0; c < columns; ++c) {
        header->resizeSection(c, std::max(needed[static_cast<std::size_t>(c)], share));
    }
}

} // namespace draftwell
