#include "ui/content_view.h"

#include "app/ant_scanner_service.h"
#include "ui/cda_chart_view.h"
#include "ui/lap_data_table.h"
#include "ui/log_pane.h"
#include "ui/logo_view.h"
#include "ui/named_colors.h"
#include "ui/quality_warning_banner.h"
#include "ui/rider_selector.h"
#include "ui/session_summary_row.h"
#include "ui/status_card.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace draftwell {

namespace {

// Long enough to fold a burst of received lines into one repaint, short
// enough to feel immediate.
constexpr int kRefreshIntervalMs = 30;

QLabel* fieldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(70);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

void setTextKeepingCursor(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}

QString connectionStatusText(const ANTScannerService& s) {
    if (!s.isOpen()) {
        return QStringLiteral("Closed");
    }
    if (s.multipleDevices()) {
        return QStringLiteral("Multiple Garmins");
    }
    if (s.isReceiving()) {
        return QStringLiteral("Receiving");
    }
    return QStringLiteral("Open");
}

QColor connectionStatusColor(const ANTScannerService& s) {
    if (!s.isOpen()) {
        return NamedColors::red();
    }
    if (s.multipleDevices()) {
        return NamedColors::pink();
    }
    if (s.isReceiving()) {
        return NamedColors::green();
    }
    return NamedColors::orange();
}

} // namespace

ContentView::ContentView(ANTScannerService& service, WindowOpener openWindow, QWidget* parent)
    : QWidget(parent), service_(service), openWindow_(std::move(openWindow)) {
    setMinimumSize(kMinWidth, kMinHeight);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(12);
    stack->addWidget(buildTopRow());
    stack->addWidget(buildBottomRow(), 1);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshIntervalMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &ContentView::refreshNow);
    watchService();
    refresh(kAllParts);
}

QWidget* ContentView::buildTopRow() {
    auto* row = new QWidget(this);
    row->setFixedHeight(118);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    auto* files = new QGroupBox(QStringLiteral("Files"), row);
    auto* lines = new QVBoxLayout(files);
    lines->setSpacing(8);
    // Three rows must fit the row's fixed height under the box's title.
    lines->setContentsMargins(8, 4, 8, 6);

    folderField_ = new QLineEdit(files);
    folderField_->setObjectName(QStringLiteral("folderField"));
    folderField_->setAccessibleName(QStringLiteral("Folder"));
    connect(folderField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { service_.setLogFolderPath(text); });
    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    folderRow->addWidget(fieldLabel(QStringLiteral("Folder"), files));
    folderRow->addWidget(folderField_, 1);
    lines->addLayout(folderRow);

    fileField_ = new QLineEdit(files);
    fileField_->setObjectName(QStringLiteral("fileField"));
    fileField_->setAccessibleName(QStringLiteral("File"));
    // Read-only rather than disabled: the run file's name in normal text.
    fileField_->setReadOnly(true);
    loggingButton_ = button(QStringLiteral("Start logging"), files);
    loggingButton_->setFixedWidth(90);
    connect(loggingButton_, &QPushButton::clicked, this, &ContentView::toggleLogging);
    browseButton_ = button(QStringLiteral("Browse"), files);
    browseButton_->setFixedWidth(90);
    connect(browseButton_, &QPushButton::clicked, this, [this] { service_.chooseLogFolder(); });
    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(8);
    fileRow->addWidget(fieldLabel(QStringLiteral("File"), files));
    fileRow->addWidget(fileField_, 1);
    fileRow->addWidget(loggingButton_);
    fileRow->addWidget(browseButton_);
    lines->addLayout(fileRow);

    descriptionField_ = new QLineEdit(files);
    descriptionField_->setObjectName(QStringLiteral("descriptionField"));
    descriptionField_->setAccessibleName(QStringLiteral("Description"));
    connect(descriptionField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { service_.setLogDescription(text); });
    auto* descriptionRow = new QHBoxLayout;
    descriptionRow->setSpacing(8);
    descriptionRow->addWidget(fieldLabel(QStringLiteral("Description"), files));
    descriptionRow->addWidget(descriptionField_, 1);
    lines->addLayout(descriptionRow);

    layout->addWidget(files, 1);
    auto* logo = new LogoView(Qt::AlignCenter, row);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setFixedSize(190, 108);
    logo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addWidget(logo);
    return row;
}

QWidget* ContentView::buildBottomRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    auto* connection = new QGroupBox(QStringLiteral("Garmin Connection"), row);
    connection->setFixedWidth(210);
    auto* connectionStack = new QVBoxLayout(connection);
    connectionStack->setSpacing(8);
    openCloseButton_ = button(QStringLiteral("Open"), connection);
    connect(openCloseButton_, &QPushButton::clicked, this, [this] {
        if (service_.isOpen()) {
            service_.disconnect();
        } else {
            service_.connect();
        }
    });
    connectionStack->addWidget(openCloseButton_, 0, Qt::AlignLeft);
    riderSelector_ = new RiderSelector(service_, connection);
    connectionStack->addWidget(riderSelector_);
    messageLogPane_ = new LogPane(QStringLiteral("message-log-bottom"), connection);
    connectionStack->addWidget(messageLogPane_, 1);
    // Under the connection, so the lap table keeps all the height it had.
    auto* chartBox = new QGroupBox(QStringLiteral("CdA per lap"), row);
    chartBox->setFixedSize(210, 230);
    auto* chartLayout = new QVBoxLayout(chartBox);
    chartLayout->setContentsMargins(2, 2, 2, 2);
    cdAChart_ = new CdAChartView(CdAChartView::Size::compact, chartBox);
    chartLayout->addWidget(cdAChart_);
    auto* left = new QVBoxLayout;
    left->setSpacing(12);
    left->addWidget(connection, 1);
    left->addWidget(chartBox);
    layout->addLayout(left);

    auto* right = new QVBoxLayout;
    right->setSpacing(12);

    auto* status = new QGroupBox(QStringLiteral("Status"), row);
    auto* cards = new QHBoxLayout(status);
    cards->setSpacing(10);
    connectionCard_ = new StatusCard(QStringLiteral("Connection"), 200, status);
    latestLapCard_ = new StatusCard(QStringLiteral("Latest Lap"), 120, status);
    lapDataCard_ = new StatusCard(QStringLiteral("Lap Data"), 120, status);
    lapStatusCard_ = new StatusCard(QStringLiteral("Lap Status"), 120, status);
    for (StatusCard* card : {connectionCard_, latestLapCard_, lapDataCard_, lapStatusCard_}) {
        cards->addWidget(card, 1);
    }
    right->addWidget(status);

    auto* session = new QGroupBox(QStringLiteral("Session Data"), row);
    auto* sessionLayout = new QVBoxLayout(session);
    summaryRow_ = new SessionSummaryRow(session);
    sessionLayout->addWidget(summaryRow_);
    right->addWidget(session);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    selectAllButton_ = button(QStringLiteral("Select all laps"), row);
    connect(selectAllButton_, &QPushButton::clicked, this, [this] { setUseForAllLaps(true); });
    selectNoneButton_ = button(QStringLiteral("Select No Laps"), row);
    connect(selectNoneButton_, &QPushButton::clicked, this, [this] { setUseForAllLaps(false); });
    popoutButton_ = button(QStringLiteral("Open popout"), row);
    connect(popoutButton_, &QPushButton::clicked, this, [this] {
        if (openWindow_) {
            openWindow_(QString::fromLatin1(kLapDataWindowID));
        }
    });
    resetButton_ = button(QStringLiteral("Reset"), row);
    connect(resetButton_, &QPushButton::clicked, this, [this] { service_.resetLaps(); });
    for (QPushButton* b : {selectAllButton_, selectNoneButton_, popoutButton_, resetButton_}) {
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    right->addLayout(buttons);

    warningBanner_ = new QualityWarningBanner(13, row);
    right->addWidget(warningBanner_);

    auto* lapBox = new QGroupBox(QStringLiteral("LapData"), row);
    auto* lapLayout = new QVBoxLayout(lapBox);
    lapTable_ = new LapDataTable(service_, lapBox);
    lapLayout->addWidget(lapTable_);
    right->addWidget(lapBox, 1);

    auto* messages = new QGroupBox(QStringLiteral("Messages"), row);
    messages->setFixedHeight(96);
    auto* messagesLayout = new QVBoxLayout(messages);
    messagesLayout->setSpacing(8);
    dataLogPane_ = new LogPane(QStringLiteral("data-log-bottom"), messages);
    messagesLayout->addWidget(dataLogPane_);
    right->addWidget(messages);

    layout->addLayout(right, 1);
    return row;
}

void ContentView::watchService() {
    const auto watch = [this](auto signal, unsigned parts) {
        connect(&service_, signal, this, [this, parts] { markDirty(parts); });
    };
    using S = ANTScannerService;
    watch(&S::isOpenChanged, kConnectionPart);
    watch(&S::isReceivingChanged, kConnectionPart);
    watch(&S::multipleDevicesChanged, kConnectionPart);
    watch(&S::openConButtonEnabledChanged, kConnectionPart);
    watch(&S::currentLapNumberChanged, kLapProgressPart);
    watch(&S::packetProgressChanged, kLapProgressPart);
    watch(&S::lapStatusChanged, kLapProgressPart);
    watch(&S::lapCompleteChanged, kLapProgressPart);
    watch(&S::messageLogsChanged, kMessageLogPart);
    watch(&S::dataLogsChanged, kDataLogPart);
    watch(&S::allLapDataChanged, kLapsPart);
    watch(&S::sessionDataChanged, kSummaryPart);
    watch(&S::logFolderPathChanged, kFilesPart);
    watch(&S::logFileNameChanged, kFilesPart);
    watch(&S::logDescriptionChanged, kFilesPart);
    watch(&S::isLoggingChanged, kFilesPart);
    connect(&service_.lapQuality(), &LapQualityMonitor::changed, this, [this] { markDirty(kLapsPart); });
}

void ContentView::markDirty(unsigned parts) {
    dirty_ |= parts;
    if (!refreshTimer_.isActive()) {
        refreshTimer_.start();
    }
}

void ContentView::refreshNow() {
    refreshTimer_.stop();
    const unsigned parts = std::exchange(dirty_, 0u);
    if (parts != 0) {
        refresh(parts);
    }
}

void ContentView::refresh(unsigned parts) {
    if (parts & kConnectionPart) {
        connectionCard_->setValue(connectionStatusText(service_));
        connectionCard_->setColor(connectionStatusColor(service_));
        openCloseButton_->setText(service_.isOpen() ? QStringLiteral("Close") : QStringLiteral("Open"));
        const bool enabled = service_.openConButtonEnabled();
        if (!enabled && openCloseButton_->hasFocus()) {
            // A disabled button hands its focus to the next widget, the
            // message log, where Space would no longer reach Close; the view
            // holds the focus until the request has ended.
            refocusOpenClose_ = true;
            setFocus(Qt::OtherFocusReason);
        }
        openCloseButton_->setEnabled(enabled);
        if (enabled && std::exchange(refocusOpenClose_, false) && QApplication::focusWidget() == this) {
            openCloseButton_->setFocus(Qt::OtherFocusReason);
        }
    }
    if (parts & kLapProgressPart) {
        const QColor color = service_.lapComplete() ? NamedColors::green() : NamedColors::orange();
        latestLapCard_->setValue(service_.currentLapNumber());
        lapDataCard_->setValue(service_.packetProgress());
        lapStatusCard_->setValue(service_.lapStatus());
        for (StatusCard* card : {latestLapCard_, lapDataCard_, lapStatusCard_}) {
            card->setColor(color);
        }
    }
    if (parts & kFilesPart) {
        setTextKeepingCursor(folderField_, service_.logFolderPath());
        setTextKeepingCursor(fileField_, service_.logFileName());
        setTextKeepingCursor(descriptionField_, service_.logDescription());
        loggingButton_->setText(service_.isLogging() ? QStringLiteral("Stop logging")
                                                     : QStringLiteral("Start logging"));
    }
    if (parts & kMessageLogPart) {
        messageLogPane_->setLines(service_.messageLogs());
    }
    if (parts & kDataLogPart) {
        dataLogPane_->setLines(service_.dataLogs());
    }
    if (parts & kLapsPart) {
        lapTable_->refresh();
        cdAChart_->setRun(service_.allLapData(), service_.lapQuality());
        warningBanner_->setWarnings(service_.lapQuality().warnings());
    }
    if (parts & kSummaryPart) {
        summaryRow_->setRows(service_.sessionData());
    }
}

void ContentView::toggleLogging() {
    if (service_.isLogging()) {
        service_.stopLogging();
    } else if (!service_.allLapData().empty()) {
        askResetBeforeLogging();
    } else {
        service_.startLogging(false);
    }
}

void ContentView::setUseForAllLaps(bool use) {
    for (const LapDataRef& lap : service_.allLapData()) {
        if (lap) {
            lap->use = use;
        }
    }
    service_.updateSessionData();
}

void ContentView::askResetBeforeLogging() {
    if (resetQuestion_) {
        resetQuestion_->raise();
        return;
    }
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("resetQuestion"));
    box->setWindowTitle(QString());
    box->setIcon(QMessageBox::NoIcon);
    box->setText(QStringLiteral("Do you want to reset data?\nAny existing laps will be lost forever."));
    QPushButton* yes = box->addButton(QStringLiteral("Yes"), QMessageBox::AcceptRole);
    QPushButton* no = box->addButton(QStringLiteral("No"), QMessageBox::ActionRole);
    box->setDefaultButton(yes);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Both answers start logging; closing the box without an answer starts nothing.
    connect(box, &QMessageBox::buttonClicked, this, [this, yes, no](QAbstractButton* clicked) {
        if (clicked == yes) {
            service_.startLogging(true);
        } else if (clicked == no) {
            service_.startLogging(false);
        }
    });
    resetQuestion_ = box;
    box->open();
}

} // namespace draftwell
