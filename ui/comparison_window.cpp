#include "ui/comparison_window.h"

#include <functional>

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/ant_scanner_service.h"
#include "app/comparison_board_report.h"
#include "app/format_number.h"
#include "ui/comparison_chart.h"

namespace draftwell {

namespace {

using comparison_report::cdAText;

// The answer first: the difference and its verdict, then the spread behind it.
enum Column {
    include,
    name,
    laps,
    mean,
    delta,
    percent,
    watts,
    deltaCi,
    verdict,
    basis,
    sd,
    se,
    ci,
    columns
};

const QStringList kHeaders{"Include", "Run / configuration", "n",       "Mean (m²)", "Δ (m²)", "Δ (%)",
                           "Δ (W)",   "95 % CI of Δ",        "Verdict", "Basis",     "SD",     "SE",
                           "95 % CI"};

QString quoted(const std::string& text) {
    return text.empty() ? QStringLiteral("(no description)") : QString::fromStdString(text);
}

QTableWidgetItem* cell(const QString& text, bool bold = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (bold) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
    return item;
}

QString intervalText(const analysis::Interval& i) {
    return QStringLiteral("%1 … %2").arg(cdAText(i.low), cdAText(i.high));
}

void putStatistics(QTableWidget* table, int row, const analysis::SampleStatistics& s, bool bold) {
    table->setItem(row, laps, cell(QString::number(s.n), bold));
    table->setItem(row, mean, cell(s.n > 0 ? cdAText(s.mean) : QString(), bold));
    table->setItem(row, sd, cell(s.sd ? cdAText(*s.sd) : QString()));
    table->setItem(row, se, cell(s.standardError ? cdAText(*s.standardError) : QString()));
    table->setItem(row, ci, cell(s.confidence ? intervalText(*s.confidence) : QString()));
}

void putComparison(QTableWidget* table, int row, const std::optional<analysis::Comparison>& c) {
    if (!c) {
        return;
    }
    const analysis::Difference& d = c->difference;
    table->setItem(row, basis, cell(QString::fromLatin1(analysis::basisText(c->basis))));
    table->setItem(row, delta, cell(cdAText(d.delta), true));
    table->setItem(row, percent, cell(formatNumber(d.percent, 2)));
    table->setItem(row, watts, cell(formatNumber(c->watts, 2)));
    table->setItem(row, deltaCi, cell(intervalText(d.confidence)));
    QTableWidgetItem* v = cell(QString::fromLatin1(analysis::verdictText(d.verdict)), true);
    switch (d.verdict) {
    case analysis::Verdict::lower:
        v->setBackground(QColor(190, 235, 195));
        break;
    case analysis::Verdict::higher:
        v->setBackground(QColor(250, 200, 190));
        break;
    case analysis::Verdict::notResolved:
        v->setBackground(QColor(230, 230, 230));
        break;
    }
    v->setForeground(Qt::black);
    table->setItem(row, verdict, v);
}

QDoubleSpinBox* spinBox(QWidget* parent, double low, double high, double value, int decimals,
                        const QString& suffix) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

ComparisonWindow::ComparisonWindow(ANTScannerService& service, QWidget* parent)
    : QWidget(parent), service_(service), model_(&service), baseline_(new QComboBox(this)),
      speed_(spinBox(this, 1, 120, 50, 1, QStringLiteral(" km/h"))),
      density_(spinBox(this, 0.5, 1.6, 1.20, 3, QStringLiteral(" kg/m³"))), targetKind_(new QComboBox(this)),
      target_(spinBox(this, 0, 1000, 0, 4, QString())), driftWarning_(new QLabel(this)),
      lapsNeeded_(new QLabel(this)), skipped_(new QLabel(this)), table_(new QTableWidget(this)),
      chart_(new ComparisonChart(this)) {
    setObjectName(QStringLiteral("compare"));
    setWindowTitle(QStringLiteral("Compare Configurations"));
    QFont base = font();
    base.setPixelSize(14);
    setFont(base);

    auto* stack = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Baseline"), this));
    baseline_->setObjectName(QStringLiteral("baseline"));
    baseline_->setMinimumWidth(180);
    controls->addWidget(baseline_);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Speed"), this));
    controls->addWidget(speed_);
    controls->addWidget(new QLabel(QStringLiteral("Air density"), this));
    controls->addWidget(density_);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Target"), this));
    targetKind_->addItems({QStringLiteral("1 % of baseline"), QStringLiteral("m²"), QStringLiteral("W")});
    controls->addWidget(targetKind_);
    target_->setEnabled(false);
    controls->addWidget(target_);
    controls->addStretch(1);
    auto* reload = new QPushButton(QStringLiteral("Reload"), this);
    auto* exportCsvButton = new QPushButton(QStringLiteral("Export Board..."), this);
    auto* saveChartButton = new QPushButton(QStringLiteral("Save Chart..."), this);
    controls->addWidget(reload);
    controls->addWidget(exportCsvButton);
    controls->addWidget(saveChartButton);
    stack->addLayout(controls);

    driftWarning_->setObjectName(QStringLiteral("driftWarning"));
    driftWarning_->setWordWrap(true);
    lapsNeeded_->setObjectName(QStringLiteral("lapsNeeded"));
    QFont strong = base;
    strong.setPixelSize(15);
    strong.setBold(true);
    lapsNeeded_->setFont(strong);
    driftWarning_->setFont(strong);
    skipped_->setWordWrap(true);
    stack->addWidget(driftWarning_);
    stack->addWidget(lapsNeeded_);

    table_->setColumnCount(columns);
    table_->setHorizontalHeaderLabels(kHeaders);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAlternatingRowColors(true);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table_);
    split->addWidget(chart_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    stack->addWidget(split, 1);
    stack->addWidget(skipped_);

    connect(&model_, &ComparisonBoardModel::boardChanged, this, &ComparisonWindow::refresh);
    connect(baseline_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) {
            model_.setBaseline(baseline_->currentIndex() <= 0 ? QString()
                                                              : baseline_->currentData().toString());
        }
    });
    for (QDoubleSpinBox* box : {speed_, density_, target_}) {
        connect(box, &QDoubleSpinBox::valueChanged, this, &ComparisonWindow::applySettings);
    }
    connect(targetKind_, &QComboBox::currentIndexChanged, this, [this](int kind) {
        target_->setEnabled(kind != 0);
        const QSignalBlocker block(target_);
        target_->setDecimals(kind == 1 ? 4 : 1);
        target_->setSingleStep(kind == 1 ? 0.0005 : 0.5);
        target_->setValue(kind == 1 ? 0.002 : (kind == 2 ? 5.0 : 0.0));
        applySettings();
    });
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_ && item->column() == include && item->data(Qt::UserRole).isValid()) {
            model_.setExcluded(item->data(Qt::UserRole).toString(), item->checkState() != Qt::Checked);
        }
    });
    connect(reload, &QPushButton::clicked, &model_, &ComparisonBoardModel::reload);
    connect(exportCsvButton, &QPushButton::clicked, this, &ComparisonWindow::chooseCsvFile);
    connect(saveChartButton, &QPushButton::clicked, this, &ComparisonWindow::chooseChartFile);
    resize(1280, 860);
    refresh();
}

void ComparisonWindow::applySettings() {
    analysis::BoardSettings settings = model_.settings();
    settings.speedKmh = speed_->value();
    settings.airDensity = density_->value();
    settings.targetCdA.reset();
    settings.targetWatts.reset();
    if (targetKind_->currentIndex() == 1) {
        settings.targetCdA = target_->value();
    } else if (targetKind_->currentIndex() == 2) {
        settings.targetWatts = target_->value();
    }
    model_.setSettings(settings);
}

void ComparisonWindow::refresh() {
    filling_ = true;
    fillBaselines();
    fillTable();
    filling_ = false;
    const analysis::ComparisonBoard& board = model_.board();

    QStringList drift;
    for (const analysis::RunRow& run : board.runs) {
        if (run.drift) {
            drift << QStringLiteral("Around %1: %2")
                         .arg(QString::fromStdString(run.name), comparison_report::driftText(*run.drift));
        }
    }
    driftWarning_->setText(drift.join(u'\n'));
    driftWarning_->setVisible(!drift.isEmpty());
    driftWarning_->setStyleSheet(
        board.driftWarning ? QStringLiteral("QLabel { background: #b00020; color: white; padding: 6px; }")
                           : QStringLiteral("QLabel { color: black; padding: 6px; }"));

    QStringList needed;
    for (const analysis::ConfigurationRow& row : board.configurations) {
        if (row.needed) {
            needed << QStringLiteral("Laps still needed for %1 m²: %2")
                          .arg(cdAText(board.targetCdA.value_or(0.0)),
                               comparison_report::lapsNeededText(*row.needed, quoted(row.configuration)));
        }
    }
    lapsNeeded_->setText(needed.isEmpty()
                             ? QStringLiteral("Laps still needed: ride a baseline and a test run")
                             : needed.join(u'\n'));

    QStringList skipped;
    for (const SkippedRunFile& s : model_.skipped()) {
        skipped << QStringLiteral("%1: %2").arg(s.fileName, s.reason);
    }
    skipped_->setText(skipped.isEmpty() ? QString()
                                        : QStringLiteral("Skipped ") + skipped.join(QStringLiteral("; ")));
    skipped_->setVisible(!skipped.isEmpty());
    chart_->display(model_.runs(), board);
}

void ComparisonWindow::fillBaselines() {
    const QSignalBlocker block(baseline_);
    baseline_->clear();
    baseline_->addItem(QStringLiteral("First run's"));
    const analysis::ComparisonBoard& board = model_.board();
    for (const analysis::ConfigurationRow& row : board.configurations) {
        baseline_->addItem(quoted(row.configuration), QString::fromStdString(row.configuration));
    }
    if (model_.settings().baseline) {
        const int index = baseline_->findData(QString::fromStdString(*model_.settings().baseline));
        baseline_->setCurrentIndex(index < 0 ? 0 : index);
    }
}

void ComparisonWindow::fillTable() {
    const analysis::ComparisonBoard& board = model_.board();
    table_->setRowCount(0);
    const auto addRow = [this] {
        const int row = table_->rowCount();
        table_->insertRow(row);
        return row;
    };
    for (std::size_t i = 0; i < board.configurations.size(); ++i) {
        const analysis::ConfigurationRow& c = board.configurations[i];
        const int row = addRow();
        QTableWidgetItem* title =
            cell(quoted(c.configuration) + (c.isBaseline ? QStringLiteral(" (baseline)") : QString()) +
                     QStringLiteral(", %1 run(s)").arg(c.runs),
                 true);
        title->setForeground(ComparisonChart::colorFor(i));
        table_->setItem(row, name, title);
        putStatistics(table_, row, c.laps, true);
        putComparison(table_, row, c.onLaps);
        if (c.onRunMeans) {
            const int means = addRow();
            table_->setItem(means, name, cell(QStringLiteral("    on run means")));
            putStatistics(table_, means, c.runMeans, false);
            putComparison(table_, means, c.onRunMeans);
        }
    }
    for (const analysis::RunRow& r : board.runs) {
        const int row = addRow();
        auto* box = new QTableWidgetItem;
        box->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        box->setCheckState(r.excluded ? Qt::Unchecked : Qt::Checked);
        box->setData(Qt::UserRole, QString::fromStdString(r.name));
        table_->setItem(row, include, box);
        table_->setItem(
            row, name,
            cell(QStringLiteral("%1%2 · %3")
                     .arg(QString::fromStdString(r.name), r.live ? QStringLiteral(" (live)") : QString(),
                          quoted(r.configuration))));
        putStatistics(table_, row, r.stats, false);
        putComparison(table_, row, r.adjusted);
    }
}

bool ComparisonWindow::exportCsv(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(comparison_report::boardCsv(model_.board(), service_.csvDelimiter()).toUtf8());
    return file.commit();
}

bool ComparisonWindow::saveChartPng(const QString& path) const {
    return chart_->grab().save(path, "PNG");
}

namespace {

// Asks where to save, starting in the compared folder, and says so when saving fails.
void saveThroughDialog(QWidget* parent, const QString& title, const QString& startPath, const QString& filter,
                       const QString& failure, const std::function<bool(const QString&)>& save) {
    const QString path = QFileDialog::getSaveFileName(parent, title, startPath, filter);
    if (!path.isEmpty() && !save(path)) {
        QMessageBox::warning(parent, title, failure);
    }
}

} // namespace

void ComparisonWindow::chooseCsvFile() {
    saveThroughDialog(this, QStringLiteral("Export Board"),
                      QDir(model_.folder()).filePath(QStringLiteral("comparison_board.csv")),
                      QStringLiteral("CSV files (*.csv)"), QStringLiteral("The board could not be saved."),
                      [this](const QString& path) { return exportCsv(path); });
}

void ComparisonWindow::chooseChartFile() {
    saveThroughDialog(this, QStringLiteral("Save Chart"),
                      QDir(model_.folder()).filePath(QStringLiteral("comparison_chart.png")),
                      QStringLiteral("PNG images (*.png)"), QStringLiteral("The chart could not be saved."),
                      [this](const QString& path) { return saveChartPng(path); });
}

} // namespace draftwell
