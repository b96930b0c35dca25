#include "ui/lap_data_popout_view.h"

#include "app/ant_scanner_service.h"
#include "app/format_number.h"
#include "ui/cda_chart_view.h"
#include "ui/lap_table_model.h"
#include "ui/named_colors.h"
#include "ui/popout_brand_tile.h"
#include "ui/popout_lap_table.h"
#include "ui/popout_layout.h"
#include "ui/popout_metric_tile.h"
#include "ui/popout_weighted_row.h"
#include "ui/quality_warning_banner.h"

#include <QPainter>

#include <cmath>

namespace draftwell {

namespace {

constexpr int kRefreshIntervalMs = 30;

} // namespace

LapDataPopoutView::LapDataPopoutView(ANTScannerService& service, QWidget* parent)
    : QWidget(parent), service_(service), brand_(new PopoutBrandTile),
      lapTime_(new PopoutMetricTile(QStringLiteral("Lap Time"))),
      cdA_(new PopoutMetricTile(QStringLiteral("CdA"))), lap_(new PopoutMetricTile(QStringLiteral("Lap"))),
      speed_(new PopoutMetricTile(QStringLiteral("Speed"))),
      power_(new PopoutMetricTile(QStringLiteral("Power"))),
      row1_(new PopoutWeightedRow(brand_, lapTime_, cdA_, PopoutLayout::kSpacing, this)),
      row2_(new PopoutWeightedRow(lap_, speed_, power_, PopoutLayout::kSpacing, this)),
      table_(new PopoutLapTable(this)), banner_(new QualityWarningBanner(18, this)),
      chart_(new CdAChartView(CdAChartView::Size::large, this)) {
    // The figures stay whole in the narrow large-type columns; the reasons'
    // figures are in the main window.
    table_->lapModel()->setQuality(&service_.lapQuality(), true);
    setMinimumSize(PopoutLayout::kMinWidth, PopoutLayout::kMinHeight);
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshIntervalMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &LapDataPopoutView::refreshNow);
    const auto markDirty = [this] {
        dirty_ = true;
        if (!refreshTimer_.isActive()) {
            refreshTimer_.start();
        }
    };
    connect(&service_, &ANTScannerService::allLapDataChanged, this, markDirty);
    connect(&service_.lapQuality(), &LapQualityMonitor::changed, this, markDirty);
    refresh();
}

void LapDataPopoutView::refreshNow() {
    refreshTimer_.stop();
    if (dirty_) {
        dirty_ = false;
        refresh();
    }
}

void LapDataPopoutView::refresh() {
    const auto& laps = service_.allLapData();
    const LapData* latest = laps.empty() ? nullptr : laps.front().get();
    const QString none = QStringLiteral("-");
    lapTime_->setValue(latest ? formatNumber(latest->lapTime, 3) : none);
    cdA_->setValue(latest ? formatNumber(latest->cdA, 3) : none);
    lap_->setValue(latest ? QString::number(latest->lap) : none);
    speed_->setValue(latest ? formatNumber(latest->speed, 1) : none);
    power_->setValue(latest ? formatNumber(latest->riderPwr, 1) : none);
    table_->setRows(laps);
    chart_->setRun(laps, service_.lapQuality());
    const bool bannerWasHidden = banner_->isHidden();
    banner_->setWarnings(service_.lapQuality().warnings());
    if (banner_->isHidden() != bannerWasHidden || !banner_->isHidden()) {
        layoutChartColumn();
    }
}

void LapDataPopoutView::layoutChartColumn() {
    int top = chartColumn_.top();
    if (!banner_->isHidden()) {
        const int bannerHeight = banner_->heightForWidth(chartColumn_.width());
        banner_->setGeometry(chartColumn_.left(), top, chartColumn_.width(), bannerHeight);
        top += bannerHeight + static_cast<int>(PopoutLayout::kSpacing);
    }
    chart_->setGeometry(chartColumn_.left(), top, chartColumn_.width(),
                        std::max(0, chartColumn_.bottom() + 1 - top));
}

void LapDataPopoutView::resizeEvent(QResizeEvent* /*event*/) {
    const PopoutLayout layout = PopoutLayout::forSize(width(), height());
    const double pad = PopoutLayout::kPadding;
    const double gap = PopoutLayout::kSpacing;
    const int left = static_cast<int>(pad);
    const int contentWidth = std::max(0, width() - 2 * left);
    const int chartWidth = static_cast<int>(std::lround(PopoutLayout::chartWidth(contentWidth)));
    const int rowWidth = std::max(0, contentWidth - chartWidth - static_cast<int>(gap));
    // Vertical edges are rounded from exact positions so the rows and the
    // table keep their shares to within a pixel.
    const auto at = [](double y) { return static_cast<int>(std::lround(y)); };
    const double row1Top = pad;
    const double row2Top = row1Top + layout.rowHeight + gap;
    const double tableTop = row2Top + layout.rowHeight + gap;
    row1_->setGeometry(left, at(row1Top), rowWidth, at(row1Top + layout.rowHeight) - at(row1Top));
    row2_->setGeometry(left, at(row2Top), rowWidth, at(row2Top + layout.rowHeight) - at(row2Top));
    table_->setGeometry(left, at(tableTop), contentWidth, at(tableTop + layout.tableHeight) - at(tableTop));
    chartColumn_ = QRect(left + rowWidth + static_cast<int>(gap), at(row1Top), chartWidth,
                         at(row2Top + layout.rowHeight) - at(row1Top));
    layoutChartColumn();
}

void LapDataPopoutView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), NamedColors::popoutBackground());
}

} // namespace draftwell
