#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "ui/window_opener.h"

namespace draftwell {

class ANTScannerService;
class ComparisonWindow;
class LapDataPopoutView;
class MainWindow;
class ScannerBridge;
class SettingsWindow;

// The application shell: one service for the life of the process, the main
// window, and the two single windows opened by identifier. The termination
// steps are tied to the application's quit, so they run whichever window
// was open last.
class LapLoggerApp : public QObject {
    Q_OBJECT
  public:
    explicit LapLoggerApp(std::unique_ptr<ScannerBridge> bridge, QObject* parent = nullptr);
    ~LapLoggerApp() override;

    LapLoggerApp(const LapLoggerApp&) = delete;
    LapLoggerApp& operator=(const LapLoggerApp&) = delete;

    // Opens the main window.
    void start();
    // Opens the window with this identifier, or brings it to the front.
    void openWindow(const QString& identifier);
    // Stop logging, close the stick synchronously, enable the connect control.
    // Runs once, at the application's quit or at the shell's end.
    void terminate();

    ANTScannerService& service() { return *service_; }
    MainWindow* mainWindow() const;
    LapDataPopoutView* popout() const;
    SettingsWindow* settings() const;
    ComparisonWindow* comparison() const;

  private:
    std::unique_ptr<ANTScannerService> service_;
    QPointer<MainWindow> mainWindow_;
    QPointer<LapDataPopoutView> popout_;
    QPointer<SettingsWindow> settings_;
    QPointer<ComparisonWindow> comparison_;
    bool terminated_ = false;
};

} // namespace draftwell
