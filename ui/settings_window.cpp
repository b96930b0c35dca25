#include "ui/settings_window.h"

#include "app/ant_scanner_service.h"
#include "ui/lap_check_settings.h"
#include "ui/stepper.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace draftwell {

namespace {

std::optional<qint64> parseWholeNumber(const QString& text) {
    const QLocale locale;
    const QString trimmed = text.trimmed();
    bool ok = false;
    const qint64 whole = locale.toLongLong(trimmed, &ok);
    if (ok) {
        return whole;
    }
    const double number = locale.toDouble(trimmed, &ok);
    if (ok && std::isfinite(number) && std::abs(number) < 9.0e18) {
        return std::llround(number);
    }
    return std::nullopt;
}

} // namespace

SettingsWindow::SettingsWindow(ANTScannerService& service, QWidget* parent)
    : QDialog(parent), service_(service), lapCountField_(new QLineEdit(this)), stepper_(new Stepper(this)),
      autoCalBox_(new QCheckBox(QStringLiteral("Automatically apply average calibration"), this)),
      separatorGroup_(new QButtonGroup(this)), comma_(new QRadioButton(QStringLiteral("Comma (,)"), this)),
      semicolon_(new QRadioButton(QStringLiteral("Semicolon (;)"), this)),
      closeButton_(new QPushButton(QStringLiteral("Close"), this)) {
    setWindowTitle(QStringLiteral("Application Settings"));
    setObjectName(QStringLiteral("settings"));
    setModal(false);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(16);

    auto* headline = new QLabel(QStringLiteral("Lap logger settings"), this);
    QFont headlineFont = headline->font();
    headlineFont.setPixelSize(13);
    headlineFont.setBold(true);
    headline->setFont(headlineFont);
    stack->addWidget(headline);

    auto* lapCountRow = new QHBoxLayout;
    lapCountRow->addWidget(new QLabel(QStringLiteral("Number of laps to use for calibration"), this));
    lapCountRow->addStretch(1);
    lapCountField_->setObjectName(QStringLiteral("calLapCountField"));
    lapCountField_->setFixedWidth(64);
    lapCountField_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lapCountField_->installEventFilter(this);
    connect(lapCountField_, &QLineEdit::editingFinished, this, &SettingsWindow::commitLapCount);
    lapCountRow->addWidget(lapCountField_);
    connect(stepper_, &Stepper::stepped, this, &SettingsWindow::step);
    lapCountRow->addWidget(stepper_);
    stack->addLayout(lapCountRow);

    connect(autoCalBox_, &QCheckBox::clicked, this, [this](bool checked) { service_.setAutoCal(checked); });
    stack->addWidget(autoCalBox_);

    auto* separatorRow = new QHBoxLayout;
    separatorRow->setSpacing(14);
    auto* separatorLabel = new QLabel(QStringLiteral("CSV file separator"), this);
    separatorLabel->setFixedWidth(180);
    separatorLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    separatorRow->addWidget(separatorLabel, 0, Qt::AlignTop);
    auto* choices = new QVBoxLayout;
    separatorGroup_->addButton(comma_, static_cast<int>(CSVDelimiterOption::comma));
    separatorGroup_->addButton(semicolon_, static_cast<int>(CSVDelimiterOption::semicolon));
    choices->addWidget(comma_);
    choices->addWidget(semicolon_);
    separatorRow->addLayout(choices);
    separatorRow->addStretch(1);
    stack->addLayout(separatorRow);
    connect(separatorGroup_, &QButtonGroup::idClicked, this,
            [this](int id) { service_.setCSVDelimiter(static_cast<CSVDelimiterOption>(id)); });

    stack->addWidget(new LapCheckSettings(service_.lapQuality(), this));

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    closeButton_->setDefault(true);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::close);
    closeRow->addWidget(closeButton_);
    stack->addLayout(closeRow);

    connect(&service_, &ANTScannerService::calLapCountChanged, this, &SettingsWindow::refresh);
    connect(&service_, &ANTScannerService::autoCalChanged, this, &SettingsWindow::refresh);
    connect(&service_, &ANTScannerService::csvDelimiterChanged, this, &SettingsWindow::refresh);
    refresh();

    setFixedSize(kWidth, std::max(stack->heightForWidth(kWidth), stack->sizeHint().height()));
}

SettingsWindow::~SettingsWindow() {
    // The field loses its focus while the dialog part is torn down, and its
    // editingFinished must not reach this half-destroyed window.
    lapCountField_->disconnect(this);
}

void SettingsWindow::commitLapCount() {
    if (const auto value = parseWholeNumber(lapCountField_->text())) {
        service_.setCalLapCount(*value);
    }
    // Shows what was stored, also when the service kept its value.
    refresh();
}

void SettingsWindow::step(int delta) {
    const qint64 current = service_.calLapCount();
    if ((delta > 0 && current >= kMaxLapCount) || (delta < 0 && current <= kMinLapCount)) {
        return;
    }
    service_.setCalLapCount(std::clamp<qint64>(current + delta, kMinLapCount, kMaxLapCount));
}

void SettingsWindow::refresh() {
    const qint64 count = service_.calLapCount();
    lapCountField_->setText(QLocale().toString(count));
    stepper_->upButton()->setEnabled(count < kMaxLapCount);
    stepper_->downButton()->setEnabled(count > kMinLapCount);
    autoCalBox_->setChecked(service_.autoCal());
    const CSVDelimiterOption option = service_.csvDelimiterOption();
    comma_->setChecked(option == CSVDelimiterOption::comma);
    semicolon_->setChecked(option == CSVDelimiterOption::semicolon);
    // Tab lands on the stored separator, so Space there cannot change it
    // unseen; the arrow keys still move to the other one.
    comma_->setFocusPolicy(option == CSVDelimiterOption::comma ? Qt::StrongFocus : Qt::ClickFocus);
    semicolon_->setFocusPolicy(option == CSVDelimiterOption::semicolon ? Qt::StrongFocus : Qt::ClickFocus);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    // Return in the number field commits the number; it must not also press
    // the default button and close the window.
    if (watched == lapCountField_ && event->type() == QEvent::KeyPress) {
        const auto key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            commitLapCount();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SettingsWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange) {
        refresh();
    }
    QDialog::changeEvent(event);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    refresh();
    QDialog::showEvent(event);
}

void SettingsWindow::hideEvent(QHideEvent* event) {
    // Closing the window with a number typed but not yet committed keeps it.
    if (lapCountField_->isModified()) {
        commitLapCount();
    }
    QDialog::hideEvent(event);
}

} // namespace draftwell
