#include "ui/popout_layout.h"

#include <algorithm>

namespace draftwell {

PopoutLayout PopoutLayout::forSize(double /*width*/, double height) {
    PopoutLayout layout;
    layout.avail = std::max(height - 2 * kPadding, 0.0);
    layout.tableHeight = std::max(layout.avail * 0.3, 108.0);
    layout.rowHeight = std::max((layout.avail - layout.tableHeight - 2 * kSpacing) * 0.5, 126.0);
    return layout;
}

double PopoutLayout::chartWidth(double contentWidth) {
    return std::max(contentWidth, 0.0) * 0.36;
}

double PopoutLayout::unit(double rowWidth, double spacing) {
    return std::max(rowWidth - 2 * spacing, 0.0) / 5;
}

} // namespace draftwell
