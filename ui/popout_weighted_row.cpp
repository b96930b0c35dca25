#include "ui/popout_weighted_row.h"

#include "ui/popout_layout.h"

#include <cmath>

namespace draftwell {

PopoutWeightedRow::PopoutWeightedRow(QWidget* first, QWidget* second, QWidget* third, double spacing,
                                     QWidget* parent)
    : QWidget(parent), first_(first), second_(second), third_(third), spacing_(spacing) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    for (QWidget* slot : {first_, second_, third_}) {
        slot->setParent(this);
    }
}

void PopoutWeightedRow::resizeEvent(QResizeEvent* /*event*/) {
    const double unit = PopoutLayout::unit(width(), spacing_);
    const int h = height();
    // Edges are rounded from the exact positions so the slots keep their
    // proportions to within a pixel at any width.
    const double edges[] = {
        0, unit, unit + spacing_, 3 * unit + spacing_, 3 * unit + 2 * spacing_, 5 * unit + 2 * spacing_};
    QWidget* slots[] = {first_, second_, third_};
    for (int i = 0; i < 3; ++i) {
        const int left = static_cast<int>(std::lround(edges[2 * i]));
        const int right = static_cast<int>(std::lround(edges[2 * i + 1]));
        slots[i]->setGeometry(left, 0, right - left, h);
    }
}

} // namespace draftwell
