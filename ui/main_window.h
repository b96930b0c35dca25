#pragma once

#include <QMainWindow>

#include "ui/window_opener.h"

class QAction;

namespace draftwell {

class ANTScannerService;
class ContentView;

// The main window: the content view under a File menu.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow(ANTScannerService& service, const WindowOpener& openWindow, QWidget* parent = nullptr);

    static QString titleFor(const QString& version);

    ContentView* content() const { return content_; }
    QAction* openPopoutAction() const { return openPopout_; }
    QAction* settingsAction() const { return settings_; }

  private:
    ContentView* content_;
    QAction* openPopout_;
    QAction* settings_;
};

} // namespace draftwell
