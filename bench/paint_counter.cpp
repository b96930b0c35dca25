#include "bench/paint_counter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QRect>
#include <QWidget>

namespace draftwell::bench {

PaintCounter::PaintCounter() {
    QCoreApplication::instance()->installEventFilter(this);
}

PaintCounter::~PaintCounter() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool PaintCounter::eventFilter(QObject* watched, QEvent* event) {
    if (counting_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
        Tally& tally = tallies_[QString::fromLatin1(watched->metaObject()->className())];
        ++tally.events;
        for (const QRect& rect : static_cast<QPaintEvent*>(event)->region()) {
            tally.pixels += static_cast<double>(rect.width()) * rect.height();
        }
    }
    return false;
}

} // namespace draftwell::bench
