#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "ui/window_opener.h"

class QLineEdit;
class QPushButton;

namespace draftwell {

class ANTScannerService;
class CdAChartView;
class LapDataTable;
class LogPane;
class RiderSelector;
class QualityWarningBanner;
class SessionSummaryRow;
class StatusCard;

// The main window's content: files and logging, connection, status cards,
// session summary, lap table and both logs. Everything shown is read from the
// service; repaints are gathered into one refresh per short interval, while
// every action goes straight to the service.
class ContentView : public QWidget {
    Q_OBJECT
  public:
    ContentView(ANTScannerService& service, WindowOpener openWindow, QWidget* parent = nullptr);

    static constexpr int kMinWidth = 1080;
    static constexpr int kMinHeight = 760;

    // The Start/Stop logging button's action.
    void toggleLogging();
    void setUseForAllLaps(bool use);
    // The reset question while it is on screen, else null.
    QMessageBox* resetQuestion() const { return resetQuestion_; }
    // Applies every pending change now instead of at the next refresh.
    void refreshNow();

    QPushButton* openCloseButton() const { return openCloseButton_; }
    QPushButton* loggingButton() const { return loggingButton_; }
    QPushButton* browseButton() const { return browseButton_; }
    QPushButton* selectAllButton() const { return selectAllButton_; }
    QPushButton* selectNoneButton() const { return selectNoneButton_; }
    QPushButton* popoutButton() const { return popoutButton_; }
    QPushButton* resetButton() const { return resetButton_; }
    QLineEdit* folderField() const { return folderField_; }
    QLineEdit* fileField() const { return fileField_; }
    QLineEdit* descriptionField() const { return descriptionField_; }
    StatusCard* connectionCard() const { return connectionCard_; }
    StatusCard* latestLapCard() const { return latestLapCard_; }
    StatusCard* lapDataCard() const { return lapDataCard_; }
    StatusCard* lapStatusCard() const { return lapStatusCard_; }
    SessionSummaryRow* summaryRow() const { return summaryRow_; }
    LapDataTable* lapTable() const { return lapTable_; }
    LogPane* messageLogPane() const { return messageLogPane_; }
    LogPane* dataLogPane() const { return dataLogPane_; }
    RiderSelector* riderSelector() const { return riderSelector_; }
    CdAChartView* cdAChart() const { return cdAChart_; }
    QualityWarningBanner* warningBanner() const { return warningBanner_; }

  private:
    // What a refresh has to redraw.
    enum DirtyPart : unsigned {
        kConnectionPart = 1u << 0,
        kLapProgressPart = 1u << 1,
        kFilesPart = 1u << 2,
        kMessageLogPart = 1u << 3,
        kDataLogPart = 1u << 4,
        kLapsPart = 1u << 5,
        kSummaryPart = 1u << 6,
        kAllParts = 0x7Fu,
    };

    QWidget* buildTopRow();
    QWidget* buildBottomRow();
    void watchService();
    void markDirty(unsigned parts);
    void refresh(unsigned parts);
    void askResetBeforeLogging();

    ANTScannerService& service_;
    WindowOpener openWindow_;
    QTimer refreshTimer_;
    unsigned dirty_ = 0;
    QPointer<QMessageBox> resetQuestion_;
    bool refocusOpenClose_ = false; // it had the focus when a request disabled it

    QLineEdit* folderField_ = nullptr;
    QLineEdit* fileField_ = nullptr;
    QLineEdit* descriptionField_ = nullptr;
    QPushButton* loggingButton_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* openCloseButton_ = nullptr;
    QPushButton* selectAllButton_ = nullptr;
    QPushButton* selectNoneButton_ = nullptr;
    QPushButton* popoutButton_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    StatusCard* connectionCard_ = nullptr;
    StatusCard* latestLapCard_ = nullptr;
    StatusCard* lapDataCard_ = nullptr;
    StatusCard* lapStatusCard_ = nullptr;
    SessionSummaryRow* summaryRow_ = nullptr;
    LapDataTable* lapTable_ = nullptr;
    LogPane* messageLogPane_ = nullptr;
    LogPane* dataLogPane_ = nullptr;
    RiderSelector* riderSelector_ = nullptr;
    CdAChartView* cdAChart_ = nullptr;
    QualityWarningBanner* warningBanner_ = nullptr;
};

} // namespace draftwell
