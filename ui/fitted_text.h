#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace draftwell {

// One line of text that shrinks to fit its box, never below minScale of the
// requested size; what still does not fit is elided.
struct FittedText {
    QString text;
    QFont font;
    double pixelSize = 12;
    double minScale = 1.0;

    // The font actually used to draw the text within the given width and,
    // when one is given, height.
    QFont fittedFont(double width, double height = 0) const;
    void draw(QPainter& painter, const QRectF& rect, Qt::Alignment alignment) const;
};

} // namespace draftwell
