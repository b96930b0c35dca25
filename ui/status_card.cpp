#include "ui/status_card.h"

#include "ui/fitted_text.h"
#include "ui/named_colors.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace draftwell {

namespace {

constexpr int kMinHeight = 84;

} // namespace

StatusCard::StatusCard(const QString& title, double minWidth, QWidget* parent)
    : QWidget(parent), title_(title), color_(NamedColors::orange()), minWidth_(minWidth) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumSize(static_cast<int>(std::ceil(minWidth_)), kMinHeight);
    // Painted text is invisible to assistive tools: title and value are told.
    setAccessibleName(title_);
}

void StatusCard::setValue(const QString& value) {
    if (value == value_) {
        return;
    }
    value_ = value;
    setAccessibleDescription(value_);
    update();
}

void StatusCard::setColor(const QColor& color) {
    if (color == color_) {
        return;
    }
    color_ = color;
    update();
}

double StatusCard::titleFontSize(double w, double h) {
    return std::clamp(std::min(w, h) * 0.16, 11.0, 16.0);
}

double StatusCard::valueFontSize(double w, double h) {
    return std::clamp(std::min(w, h) * 0.28, 18.0, 34.0);
}

QSize StatusCard::sizeHint() const {
    return minimumSizeHint();
}

QSize StatusCard::minimumSizeHint() const {
    return {static_cast<int>(std::ceil(minWidth_)), kMinHeight};
}

void StatusCard::paintEvent(QPaintEvent* /*event*/) {
    const double w = width();
    const double h = height();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    FittedText titleText{title_, font(), titleFontSize(w, h), 0.7};
    titleText.font.setWeight(QFont::Medium);
    FittedText valueText{value_, font(), valueFontSize(w, h), 0.45};
    valueText.font.setWeight(QFont::DemiBold);

    const double spacing = std::max(h * 0.08, 6.0);
    const double valueHeight = std::max(h * 0.62, 52.0);
    const double titleHeight = QFontMetricsF(titleText.fittedFont(w)).height();
    const double top = std::max(0.0, (h - titleHeight - spacing - valueHeight) / 2);

    painter.setPen(NamedColors::secondaryText(palette()));
    titleText.draw(painter, QRectF(0, top, w, titleHeight), Qt::AlignCenter);

    const QRectF valueRect(0, top + titleHeight + spacing, w, valueHeight);
    QPainterPath background;
    background.addRoundedRect(valueRect, 8, 8);
    painter.fillPath(background, color_);

    const double padding = std::max(w * 0.05, 10.0);
    painter.setPen(NamedColors::white());
    valueText.draw(painter, valueRect.adjusted(padding, 0, -padding, 0), Qt::AlignCenter);
}

} // namespace draftwell
