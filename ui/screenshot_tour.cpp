#include "ui/screenshot_tour.h"

#include "app/ant_scanner_service.h"
#include "ui/comparison_window.h"
#include "ui/content_view.h"
#include "ui/lap_data_popout_view.h"
#include "ui/lap_logger_app.h"
#include "ui/main_window.h"
#include "ui/popout_layout.h"
#include "ui/window_opener.h"

#include <QDir>
#include <QPixmap>

#include <utility>

namespace draftwell {

ScreenshotTour::ScreenshotTour(LapLoggerApp& shell, QString folder, int lapsWanted, QObject* parent)
    : QObject(parent), shell_(shell), folder_(std::move(folder)), lapsWanted_(lapsWanted) {
    giveUp_.setSingleShot(true);
    giveUp_.setInterval(kGiveUpMs);
    connect(&giveUp_, &QTimer::timeout, this, [this] { Q_EMIT finished(false); });
}

void ScreenshotTour::start() {
    connect(&shell_.service(), &ANTScannerService::allLapDataChanged, this, &ScreenshotTour::onLaps);
    giveUp_.start();
    shell_.service().setLogDescription(QStringLiteral("Track session, position B"));
    shell_.service().connect();
}

void ScreenshotTour::onLaps() {
    const auto& laps = shell_.service().allLapData();
    if (capturing_) {
        return;
    }
    if (laps.size() < static_cast<std::size_t>(lapsWanted_)) {
        // Another lap came: the stick is there, however many are still wanted.
        giveUp_.start();
        return;
    }
    capturing_ = true;
    giveUp_.stop();
    // An unticked lap shows how the flag column looks; the summary follows.
    if (laps.size() > 1) {
        laps[1]->use = false;
        shell_.service().updateSessionData();
    }
    shell_.service().startLogging(false);
    shell_.openWindow(QString::fromLatin1(kLapDataWindowID));
    shell_.openWindow(QString::fromLatin1(kComparisonWindowID));
    if (MainWindow* main = shell_.mainWindow()) {
        main->resize(main->minimumSizeHint().expandedTo(main->minimumSize()));
    }
    if (LapDataPopoutView* popout = shell_.popout()) {
        popout->resize(PopoutLayout::kMinWidth, PopoutLayout::kMinHeight);
    }
    // Give the windows a moment to be laid out and exposed.
    QTimer::singleShot(1000, this, &ScreenshotTour::capture);
}

void ScreenshotTour::capture() {
    bool saved = QDir().mkpath(folder_);
    if (MainWindow* main = shell_.mainWindow()) {
        main->content()->refreshNow();
        saved = main->grab().save(QDir(folder_).filePath(QStringLiteral("main_window.png"))) && saved;
    }
    if (LapDataPopoutView* popout = shell_.popout()) {
        popout->refreshNow();
        saved = popout->grab().save(QDir(folder_).filePath(QStringLiteral("lap_data_popout.png"))) && saved;
    }
    if (ComparisonWindow* comparison = shell_.comparison()) {
        saved =
            comparison->grab().save(QDir(folder_).filePath(QStringLiteral("comparison_board.png"))) && saved;
    }
    Q_EMIT finished(saved);
}

} // namespace draftwell
