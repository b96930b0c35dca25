#include "ui/popout_metric_tile.h"

#include "ui/fitted_text.h"
#include "ui/popout_tile_style.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace draftwell {

PopoutMetricTile::PopoutMetricTile(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void PopoutMetricTile::setValue(const QString& value) {
    if (value == value_) {
        return;
    }
    value_ = value;
    update();
}

double PopoutMetricTile::titleSize(double w, double h) {
    return std::max(std::min(h * 0.18, w * 0.11), 12.0);
}

double PopoutMetricTile::valueSize(double w, double h) {
    return std::max(std::min(h * 0.88, w * 0.52), 44.0);
}

void PopoutMetricTile::paintEvent(QPaintEvent* /*event*/) {
    const double w = width();
    const double h = height();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    PopoutTileStyle::paintTile(painter, rect());

    FittedText titleText{title_, font(), titleFontSize(w, h), 0.45};
    titleText.font.setWeight(QFont::Medium);
    FittedText valueText{value_, font(), valueSize(w, h), 0.28};
    valueText.font.setWeight(QFont::Normal);

    const double topPadding = std::max(h * 0.05, 6.0);
    const double bottomPadding = std::max(h * 0.05, 6.0);
    const double sidePadding = std::max(w * 0.02, 4.0);
    const double spacing = std::max(h * 0.02, 2.0);
    const double titleHeight = QFontMetricsF(titleText.fittedFont(w)).height();

    painter.setPen(PopoutTileStyle::secondaryText());
    titleText.draw(painter, QRectF(0, topPadding, w, titleHeight), Qt::AlignHCenter | Qt::AlignTop);

    const double valueTop = topPadding + titleHeight + spacing;
    const QRectF valueRect(sidePadding, valueTop, std::max(0.0, w - 2 * sidePadding),
                           std::max(0.0, h - bottomPadding - valueTop));
    painter.setPen(PopoutTileStyle::text());
    valueText.draw(painter, valueRect, Qt::AlignCenter);
}

} // namespace draftwell
