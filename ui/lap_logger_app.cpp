#include "ui/lap_logger_app.h"

#include "app/ant_scanner_service.h"
#include "ui/comparison_window.h"
#include "ui/folder_dialog.h"
#include "ui/lap_data_popout_view.h"
#include "ui/main_window.h"
#include "ui/popout_layout.h"
#include "ui/settings_window.h"

#include <QCoreApplication>

namespace draftwell {

namespace {

void bringForward(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

LapLoggerApp::LapLoggerApp(std::unique_ptr<ScannerBridge> bridge, QObject* parent)
    : QObject(parent), service_(std::make_unique<ANTScannerService>(std::move(bridge))) {
    service_->setFolderChooser(
        [this](const QString& startFolder) { return FolderDialog::choose(mainWindow_, startFolder); });
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &LapLoggerApp::terminate);
    }
}

LapLoggerApp::~LapLoggerApp() {
    terminate();
    // Windows read the service while they exist, so they go first.
    delete popout_.data();
    delete settings_.data();
    delete comparison_.data();
    delete mainWindow_.data();
}

MainWindow* LapLoggerApp::mainWindow() const {
    return mainWindow_.data();
}

LapDataPopoutView* LapLoggerApp::popout() const {
    return popout_.data();
}

SettingsWindow* LapLoggerApp::settings() const {
    return settings_.data();
}

ComparisonWindow* LapLoggerApp::comparison() const {
    return comparison_.data();
}

void LapLoggerApp::start() {
    if (!mainWindow_) {
        mainWindow_ = new MainWindow(*service_, [this](const QString& id) { openWindow(id); });
        mainWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringForward(mainWindow_);
}

void LapLoggerApp::openWindow(const QString& identifier) {
    if (identifier == QLatin1String(kLapDataWindowID)) {
        if (!popout_) {
            popout_ = new LapDataPopoutView(*service_);
            popout_->setObjectName(identifier);
            popout_->setWindowTitle(QStringLiteral("Lap Data"));
            popout_->setAttribute(Qt::WA_DeleteOnClose);
            popout_->resize(PopoutLayout::kMinWidth, PopoutLayout::kMinHeight);
        }
        bringForward(popout_);
    } else if (identifier == QLatin1String(kSettingsWindowID)) {
        if (!settings_) {
            settings_ = new SettingsWindow(*service_);
            settings_->setAttribute(Qt::WA_DeleteOnClose);
        }
        bringForward(settings_);
    } else if (identifier == QLatin1String(kComparisonWindowID)) {
        if (!comparison_) {
            comparison_ = new ComparisonWindow(*service_);
            comparison_->setAttribute(Qt::WA_DeleteOnClose);
        }
        bringForward(comparison_);
    }
}

void LapLoggerApp::terminate() {
    if (terminated_) {
        return;
    }
    terminated_ = true;
    service_->applicationWillTerminate();
}

} // namespace draftwell
