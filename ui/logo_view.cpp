#include "ui/logo_view.h"

#include <QPainter>

// The resources live in a static library, so nothing registers them unless
// asked to; Q_INIT_RESOURCE has to be used outside any namespace.
static void registerLogoResources() {
    Q_INIT_RESOURCE(resources);
}

namespace draftwell {

namespace {

QString logoPath() {
    static const bool registered = (registerLogoResources(), true);
    Q_UNUSED(registered);
    return QStringLiteral(":/draftwell/draftwell_blue_crop.svg");
}

} // namespace

LogoView::LogoView(Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), renderer_(logoPath()), alignment_(alignment) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

QRectF LogoView::imageRect(const QRectF& box) const {
    const QSizeF natural = renderer_.defaultSize();
    if (natural.isEmpty() || box.isEmpty()) {
        return {};
    }
    const QSizeF scaled = natural.scaled(box.size(), Qt::KeepAspectRatio);
    double x = box.left() + (box.width() - scaled.width()) / 2;
    double y = box.top() + (box.height() - scaled.height()) / 2;
    if (alignment_ & Qt::AlignTop) {
        y = box.top();
    }
    if (alignment_ & Qt::AlignLeft) {
        x = box.left();
    }
    return {QPointF(x, y), scaled};
}

void LogoView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer_.render(&painter, imageRect(rect()));
}

} // namespace draftwell
