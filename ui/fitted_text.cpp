#include "ui/fitted_text.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace draftwell {

namespace {

QFont withPixelSize(QFont font, double size) {
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    return font;
}

} // namespace

QFont FittedText::fittedFont(double width, double height) const {
    QFont sized = withPixelSize(font, pixelSize);
    const QFontMetricsF metrics(sized);
    const double naturalWidth = metrics.horizontalAdvance(text);
    double scale = 1.0;
    if (naturalWidth > width && naturalWidth > 0) {
        scale = width / naturalWidth;
    }
    if (height > 0 && metrics.height() > height) {
        scale = std::min(scale, height / metrics.height());
    }
    if (scale >= 1.0) {
        return sized;
    }
    return withPixelSize(font, std::floor(pixelSize * std::max(minScale, scale)));
}

void FittedText::draw(QPainter& painter, const QRectF& rect, Qt::Alignment alignment) const {
    const QFont fitted = fittedFont(rect.width(), rect.height());
    const QFontMetricsF metrics(fitted);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, rect.width());
    painter.setFont(fitted);
    painter.drawText(rect, static_cast<int>(alignment | Qt::TextSingleLine), shown);
}

} // namespace draftwell
