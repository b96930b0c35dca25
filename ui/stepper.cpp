#include "ui/stepper.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace draftwell {

Stepper::Stepper(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setFixedSize(18, 12);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    up_->setAccessibleName(QStringLiteral("Increment"));
    down_->setAccessibleName(QStringLiteral("Decrement"));
    connect(up_, &QToolButton::clicked, this, [this] { Q_EMIT stepped(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Q_EMIT stepped(-1); });
}

} // namespace draftwell
