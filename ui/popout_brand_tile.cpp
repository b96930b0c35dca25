#include "ui/popout_brand_tile.h"

#include "ui/logo_view.h"
#include "ui/popout_tile_style.h"

#include <QVBoxLayout>

namespace draftwell {

PopoutBrandTile::PopoutBrandTile(QWidget* parent)
    : QWidget(parent), logo_(new LogoView(Qt::AlignHCenter | Qt::AlignTop, this)) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(logo_);
}

void PopoutBrandTile::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    PopoutTileStyle::paintTile(painter, rect());
}

} // namespace draftwell
