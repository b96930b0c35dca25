#pragma once

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace draftwell {

// Shared look of the popout's tiles: dark text on white rounded cards.
struct PopoutTileStyle {
    static QColor text() { return {0, 0, 0}; }
    static QColor secondaryText() { return {60, 60, 67, 153}; }

    static void paintTile(QPainter& painter, const QRectF& rect) {
        QPainterPath path;
        path.addRoundedRect(rect, 12, 12);
        painter.fillPath(path, QColor(255, 255, 255));
    }
};

} // namespace draftwell
