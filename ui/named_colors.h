#pragma once

#include <QColor>
#include <QPalette>

namespace draftwell {

// The handful of named colours the windows use, close to the desktop's
// familiar system tints so the cards read the same on every theme.
struct NamedColors {
    static QColor red() { return {255, 59, 48}; }
    static QColor pink() { return {255, 45, 85}; }
    static QColor green() { return {40, 180, 70}; }
    static QColor orange() { return {255, 149, 0}; }
    static QColor white() { return {255, 255, 255}; }
    static QColor popoutBackground() { return QColor::fromRgbF(0.12f, 0.29f, 0.49f, 1.0f); }

    // Text that should recede behind the values it labels.
    static QColor secondaryText(const QPalette& palette) {
        QColor c = palette.color(QPalette::WindowText);
        c.setAlphaF(0.55f);
        return c;
    }
};

} // namespace draftwell
