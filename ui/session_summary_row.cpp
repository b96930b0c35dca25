#include "ui/session_summary_row.h"

#include "ui/lap_columns.h"
#include "ui/named_colors.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace draftwell {

namespace {

constexpr std::array<int, 10> kWidths{42, 70, 60, 72, 60, 60, 60, 60, 60, 60};

QHBoxLayout* makeRow(std::array<QLabel*, 10>& labels, const QFont& font, const QPalette& palette,
                     QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        auto* label = new QLabel(parent);
        label->setFont(font);
        label->setPalette(palette);
        label->setFixedWidth(kWidths[i]);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        row->addWidget(label);
        row->addSpacing(8);
        labels[i] = label;
    }
    row->addStretch(1);
    return row;
}

} // namespace

SessionSummaryRow::SessionSummaryRow(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    QFont headerFont = font();
    headerFont.setPixelSize(11);
    headerFont.setWeight(QFont::Medium);
    QPalette headerPalette = palette();
    headerPalette.setColor(QPalette::WindowText, NamedColors::secondaryText(palette()));
    QFont valueFont = font();
    valueFont.setPixelSize(12);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(4, 0, 4, 0);
    stack->setSpacing(2);
    stack->addStretch(1);
    stack->addLayout(makeRow(headers_, headerFont, headerPalette, this));
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setFixedHeight(1);
    stack->addWidget(divider);
    auto* values = new QWidget(this);
    values->setFixedHeight(24);
    auto* valueRow = makeRow(values_, valueFont, palette(), values);
    values->setLayout(valueRow);
    stack->addWidget(values);
    stack->addStretch(1);

    headers_[0]->setText(QStringLiteral("Laps"));
    for (std::size_t i = 1; i < headers_.size(); ++i) {
        headers_[i]->setText(LapColumns::header(LapColumns::all[i]));
    }
    setRows({});
}

void SessionSummaryRow::setRows(const std::vector<LapDataRef>& rows) {
    const LapData zeros;
    const LapData& summary = rows.empty() || !rows.front() ? zeros : *rows.front();
    for (std::size_t i = 0; i < values_.size(); ++i) {
        values_[i]->setText(LapColumns::text(summary, LapColumns::all[i]));
    }
}

QStringList SessionSummaryRow::valueTexts() const {
    QStringList texts;
    for (const QLabel* label : values_) {
        texts.append(label->text());
    }
    return texts;
}

QStringList SessionSummaryRow::headerTexts() const {
    QStringList texts;
    for (const QLabel* label : headers_) {
        texts.append(label->text());
    }
    return texts;
}

} // namespace draftwell
