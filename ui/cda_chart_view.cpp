#include "ui/cda_chart_view.h"

#include "app/lap_quality_monitor.h"
#include "ui/named_colors.h"

#include <QAreaSeries>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace draftwell {

namespace {

const QColor kLapColor(30, 90, 160);
const QColor kMeanColor(40, 140, 60);

QScatterSeries* scatter(const QString& name, qreal size, const QColor& pen, const QBrush& brush) {
    auto* s = new QScatterSeries;
    s->setName(name);
    s->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    s->setMarkerSize(size);
    s->setPen(QPen(pen, size > 12 ? 2.5 : 1.5));
    s->setBrush(brush);
    return s;
}

} // namespace

CdAChartView::CdAChartView(Size size, QWidget* parent)
    : QChartView(parent), ticked_(nullptr), unticked_(nullptr), flagged_(nullptr), mean_(new QLineSeries),
      bandUpper_(new QLineSeries(this)), bandLower_(new QLineSeries(this)),
      band_(new QAreaSeries(bandUpper_, bandLower_)), xAxis_(new QValueAxis), yAxis_(new QValueAxis) {
    const bool large = size == Size::large;
    const qreal marker = large ? 13 : 7;
    ticked_ = scatter(QStringLiteral("Ticked lap"), marker, kLapColor, kLapColor);
    unticked_ = scatter(QStringLiteral("Unticked lap"), marker, kLapColor, Qt::NoBrush);
    flagged_ = scatter(QStringLiteral("Doubtful"), marker * 2, NamedColors::red(), Qt::NoBrush);
    mean_->setName(QStringLiteral("Mean"));
    mean_->setPen(QPen(kMeanColor, large ? 2.5 : 1.5));
    band_->setName(QStringLiteral("95 % interval"));
    QColor bandFill = kMeanColor;
    bandFill.setAlphaF(0.18f);
    band_->setBrush(bandFill);
    band_->setPen(Qt::NoPen);

    auto* chart = new QChart;
    chart->setLocalizeNumbers(true);
    chart->setBackgroundRoundness(large ? 12 : 0);
    chart->setMargins(large ? QMargins(6, 4, 10, 4) : QMargins(0, 0, 4, 0));
    // The main window's box carries the title.
    if (large) {
        chart->setTitle(QStringLiteral("CdACal per lap"));
        QFont titleFont = chart->titleFont();
        titleFont.setPixelSize(17);
        titleFont.setWeight(QFont::DemiBold);
        chart->setTitleFont(titleFont);
    }
    // Behind the points: band, then mean, then the laps, the rings on top.
    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{band_, mean_, ticked_, unticked_, flagged_}) {
        chart->addSeries(s);
    }
    QFont labels = xAxis_->labelsFont();
    labels.setPixelSize(large ? 14 : 9);
    for (QValueAxis* axis : {xAxis_, yAxis_}) {
        axis->setLabelsFont(labels);
    }
    xAxis_->setLabelFormat(QStringLiteral("%.0f"));
    xAxis_->setTitleText(large ? QStringLiteral("Lap of the run") : QString());
    QFont axisTitle = labels;
    axisTitle.setPixelSize(13);
    xAxis_->setTitleFont(axisTitle);
    yAxis_->setLabelFormat(QStringLiteral("%.3f"));
    chart->addAxis(xAxis_, Qt::AlignBottom);
    chart->addAxis(yAxis_, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(xAxis_);
        s->attachAxis(yAxis_);
    }
    chart->legend()->setVisible(false);
    chart->legend()->setAlignment(Qt::AlignBottom);
    QFont legendFont = chart->legend()->font();
    legendFont.setPixelSize(13);
    chart->legend()->setFont(legendFont);
    large_ = large;
    // The view starts with a chart of its own, which setChart hands back rather than deletes.
    QChart* const initial = this->chart();
    setChart(chart);
    delete initial;
    setRenderHint(QPainter::Antialiasing);
    setObjectName(large ? QStringLiteral("popoutCdAChart") : QStringLiteral("cdAChart"));
    draw({}, nullptr);
}

void CdAChartView::setRun(const std::vector<LapDataRef>& laps, const LapQualityMonitor& quality) {
    draw(laps, &quality);
}

void CdAChartView::draw(const std::vector<LapDataRef>& laps, const LapQualityMonitor* quality) {
    QList<QPointF> ticked;
    QList<QPointF> unticked;
    QList<QPointF> flagged;
    std::vector<double> tickedValues;
    double low = 0;
    double high = 0;
    int order = 0;
    for (auto it = laps.rbegin(); it != laps.rend(); ++it) {
        const LapData& lap = **it;
        const QPointF point(++order, lap.cdACal);
        (lap.use ? ticked : unticked).append(point);
        if (lap.use) {
            tickedValues.push_back(lap.cdACal);
        }
        if (quality && quality->flags(lap)) {
            flagged.append(point);
        }
        low = order == 1 ? lap.cdACal : std::min(low, lap.cdACal);
        high = order == 1 ? lap.cdACal : std::max(high, lap.cdACal);
    }
    ticked_->replace(ticked);
    unticked_->replace(unticked);
    flagged_->replace(flagged);

    const double lastX = std::max(order, 5) + 0.5;
    statistics_ = analysis::describe(tickedValues);
    if (statistics_.n > 0) {
        mean_->replace({{0.5, statistics_.mean}, {lastX, statistics_.mean}});
    } else {
        mean_->clear();
    }
    if (statistics_.confidence) {
        const auto& ci = *statistics_.confidence;
        bandUpper_->replace({{0.5, ci.high}, {lastX, ci.high}});
        bandLower_->replace({{0.5, ci.low}, {lastX, ci.low}});
        low = std::min(low, ci.low);
        high = std::max(high, ci.high);
    } else {
        bandUpper_->clear();
        bandLower_->clear();
    }

    xAxis_->setRange(0.5, lastX);
    xAxis_->setTickCount(2);
    xAxis_->setTickType(QValueAxis::TicksDynamic);
    xAxis_->setTickAnchor(1);
    // Whole laps, as many labels as fit.
    xAxis_->setTickInterval(std::max(1.0, std::ceil(order / (large_ ? 10.0 : 5.0))));
    if (order == 0) {
        yAxis_->setRange(0, 0.5);
    } else {
        // Room around the points, and a span of at least 0.01 so one lap or a
        // flat run does not fill the chart with noise.
        const double pad = std::max((high - low) * 0.12, 0.005);
        yAxis_->setRange(low - pad, high + pad);
    }
    yAxis_->setTickCount(yTicks());
    yAxis_->applyNiceNumbers();
}

int CdAChartView::yTicks() const {
    // About one label per 45 pixels, so they never crowd into ellipses.
    return std::clamp(height() / 45, 2, 6);
}

void CdAChartView::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    // The legend only where it leaves the points enough room.
    chart()->legend()->setVisible(large_ && height() >= 330);
    yAxis_->setTickCount(yTicks());
    yAxis_->applyNiceNumbers();
}

} // namespace draftwell
