#include "ui/popout_lap_table.h"

#include "ui/lap_table_model.h"
#include "ui/popout_tile_style.h"

#include <QFontMetrics>
#include <QHeaderView>

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
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void PopoutLapTable::setRows(const std::vector<LapDataRef>& rows) {
    model_->setLaps(rows);
}

} // namespace draftwell
