#include "ui/comparison_chart.h"

#include <QAreaSeries>
#include <QChart>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

namespace draftwell {

namespace {

constexpr int kFontPixels = 15;

QFont chartFont(int pixels, bool bold = false) {
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void hideFromLegend(QChart* chart, QAbstractSeries* series) {
    for (QLegendMarker* marker : chart->legend()->markers(series)) {
        marker->setVisible(false);
    }
}

} // namespace

ComparisonChart::ComparisonChart(QWidget* parent) : QChartView(parent) {
    setRenderHint(QPainter::Antialiasing);
    setMinimumHeight(320);
    display({}, {});
}

QColor ComparisonChart::colorFor(std::size_t configurationIndex) {
    // Strong, well separated hues that keep their contrast on white in sunlight.
    static const QColor colors[] = {{0, 90, 181},  {220, 50, 32}, {0, 135, 60},  {150, 40, 160},
                                    {200, 110, 0}, {0, 140, 150}, {120, 80, 40}, {40, 40, 40}};
    return colors[configurationIndex % std::size(colors)];
}

void ComparisonChart::display(const std::vector<analysis::RunInput>& runs,
                              const analysis::ComparisonBoard& board) {
    auto* chart = new QChart;
    chart->setTheme(QChart::ChartThemeLight);
    chart->setBackgroundBrush(Qt::white);
    chart->setTitle(QStringLiteral("CdACal per lap"));
    chart->setTitleFont(chartFont(kFontPixels + 2, true));
    chart->legend()->setFont(chartFont(kFontPixels));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));

    std::map<std::string, std::size_t> colorIndex;
    for (std::size_t i = 0; i < board.configurations.size(); ++i) {
        colorIndex[board.configurations[i].configuration] = i;
    }
    std::map<std::string, std::pair<QScatterSeries*, QScatterSeries*>> points; // ticked, unticked
    double low = INFINITY;
    double high = -INFINITY;
    int x = 0;
    std::vector<QAbstractSeries*> bands;
    for (std::size_t r = 0; r < runs.size() && r < board.runs.size(); ++r) {
        const analysis::RunInput& run = runs[r];
        const analysis::RunRow& row = board.runs[r];
        if (run.excluded) {
            continue;
        }
        const auto found = colorIndex.find(run.configuration);
        const QColor color = colorFor(found == colorIndex.end() ? colorIndex.size() : found->second);
        auto& [ticked, unticked] = points[run.configuration];
        if (!ticked) {
            ticked = new QScatterSeries;
            ticked->setName(run.configuration.empty() ? QStringLiteral("(no description)")
                                                      : QString::fromStdString(run.configuration));
            ticked->setColor(color);
            ticked->setBorderColor(color);
            ticked->setMarkerSize(11);
            unticked = new QScatterSeries;
            unticked->setBrush(Qt::NoBrush);
            unticked->setPen(QPen(color, 2));
            unticked->setMarkerSize(11);
        }
        const int first = x + 1;
        for (const analysis::RunLap& lap : run.laps) {
            ++x;
            if (!std::isfinite(lap.cdACal)) {
                continue;
            }
            (lap.use ? ticked : unticked)->append(x, lap.cdACal);
            low = std::min(low, lap.cdACal);
            high = std::max(high, lap.cdACal);
        }
        if (row.stats.n == 0) {
            continue;
        }
        const double from = first - 0.4;
        const double to = x + 0.4;
        auto* mean = new QLineSeries;
        mean->setPen(QPen(color, 3));
        mean->append(from, row.stats.mean);
        mean->append(to, row.stats.mean);
        bands.push_back(mean);
        if (row.stats.confidence) {
            // The area does not own its edges: they are its children.
            auto* band = new QAreaSeries;
            auto* upper = new QLineSeries(band);
            auto* lower = new QLineSeries(band);
            upper->append(from, row.stats.confidence->high);
            upper->append(to, row.stats.confidence->high);
            lower->append(from, row.stats.confidence->low);
            lower->append(to, row.stats.confidence->low);
            band->setUpperSeries(upper);
            band->setLowerSeries(lower);
            QColor fill = color;
            fill.setAlphaF(0.22f);
            band->setBrush(fill);
            band->setPen(QPen(color, 1, Qt::DashLine));
            bands.insert(bands.end() - 1, band);
            low = std::min(low, row.stats.confidence->low);
            high = std::max(high, row.stats.confidence->high);
        }
    }
    for (QAbstractSeries* series : bands) {
        chart->addSeries(series);
    }
    for (auto& [name, pair] : points) {
        chart->addSeries(pair.first);
        chart->addSeries(pair.second);
    }

    auto* axisX = new QValueAxis;
    axisX->setTitleText(QStringLiteral("Lap (all compared runs in order)"));
    axisX->setLabelFormat(QStringLiteral("%d"));
    axisX->setRange(0, std::max(x, 1) + 1);
    auto* axisY = new QValueAxis;
    axisY->setTitleText(QStringLiteral("CdACal (m²)"));
    axisY->setLabelFormat(QStringLiteral("%.4f"));
    if (!(low <= high)) {
        low = 0.2;
        high = 0.4;
    }
    const double pad = std::max((high - low) * 0.08, 0.0005);
    axisY->setRange(low - pad, high + pad);
    for (QValueAxis* axis : {axisX, axisY}) {
        axis->setLabelsFont(chartFont(kFontPixels - 1));
        axis->setTitleFont(chartFont(kFontPixels, true));
        axis->setLabelsColor(Qt::black);
        axis->setGridLineColor(QColor(205, 205, 205));
    }
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
    for (QAbstractSeries* series : bands) {
        hideFromLegend(chart, series);
    }
    for (auto& [name, pair] : points) {
        hideFromLegend(chart, pair.second);
    }
    QChart* old = this->chart();
    setChart(chart);
    delete old;
}

} // namespace draftwell
