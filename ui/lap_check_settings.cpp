#include "ui/lap_check_settings.h"

#include "app/lap_quality_monitor.h"

#include <QDoubleSpinBox>
#include <QFormLayout>

namespace draftwell {

namespace {

QDoubleSpinBox* limitField(const QString& name, double low, double high, const QString& suffix,
                           QWidget* parent) {
    auto* field = new QDoubleSpinBox(parent);
    field->setObjectName(name);
    field->setRange(low, high);
    field->setDecimals(1);
    field->setSingleStep(0.5);
    field->setSuffix(suffix);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Stored when committed, not on every key.
    field->setKeyboardTracking(false);
    field->setFixedWidth(84);
    return field;
}

} // namespace

LapCheckSettings::LapCheckSettings(LapQualityMonitor& quality, QWidget* parent)
    : QGroupBox(QStringLiteral("Lap checks"), parent), quality_(quality),
      outlier_(limitField(QStringLiteral("outlierLimitField"), 1.0, 20.0, QString(), this)),
      pace_(limitField(QStringLiteral("paceLimitField"), 0.5, 50.0, QStringLiteral(" %"), this)),
      calDrift_(limitField(QStringLiteral("calDriftLimitField"), 0.5, 50.0, QStringLiteral(" %"), this)),
      trend_(limitField(QStringLiteral("trendLimitField"), 0.1, 50.0, QStringLiteral(" %"), this)) {
    setObjectName(QStringLiteral("lapCheckSettings"));
    auto* form = new QFormLayout(this);
    form->setLabelAlignment(Qt::AlignLeft);
    form->addRow(QStringLiteral("Doubtful CdA above modified z-score"), outlier_);
    form->addRow(QStringLiteral("Doubtful pace beyond median speed by"), pace_);
    form->addRow(QStringLiteral("Calibration drift warning above"), calDrift_);
    form->addRow(QStringLiteral("CdA trend warning above (over the run)"), trend_);
    refresh();
    for (QDoubleSpinBox* field : {outlier_, pace_, calDrift_, trend_}) {
        connect(field, &QDoubleSpinBox::valueChanged, this, &LapCheckSettings::commit);
    }
    connect(&quality_, &LapQualityMonitor::changed, this, &LapCheckSettings::refresh);
}

void LapCheckSettings::commit() {
    quality_.setLimits({.outlierZ = outlier_->value(),
                        .pacePercent = pace_->value(),
                        .calDriftPercent = calDrift_->value(),
                        .trendPercent = trend_->value()});
}

void LapCheckSettings::refresh() {
    const analysis::QualityLimits& limits = quality_.limits();
    const std::pair<QDoubleSpinBox*, double> fields[] = {{outlier_, limits.outlierZ},
                                                         {pace_, limits.pacePercent},
                                                         {calDrift_, limits.calDriftPercent},
                                                         {trend_, limits.trendPercent}};
    for (const auto& [field, value] : fields) {
        if (field->value() != value) {
            const QSignalBlocker quiet(field);
            field->setValue(value);
        }
    }
}

} // namespace draftwell
