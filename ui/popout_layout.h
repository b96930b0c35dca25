#pragma once

namespace draftwell {

// Geometry of the lap data window for a content size of W by H: two rows of
// tiles above the lap table, the table keeping 30 % of the usable height.
struct PopoutLayout {
    static constexpr double kPadding = 10;
    static constexpr double kSpacing = 8;
    static constexpr int kMinWidth = 820;
    static constexpr int kMinHeight = 420;

    double avail = 0;
    double tableHeight = 0;
    double rowHeight = 0;

    static PopoutLayout forSize(double width, double height);
    // Width of the CdA chart column beside the two tile rows, out of the
    // `contentWidth` inside the padding.
    static double chartWidth(double contentWidth);
    // Width of the narrow slot of a 1 : 2 : 2 row that is `rowWidth` wide.
    static double unit(double rowWidth, double spacing);
};

} // namespace draftwell
