#include "ui/main_window.h"

#include "ui/app_version.h"
#include "ui/content_view.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>

namespace draftwell {

MainWindow::MainWindow(ANTScannerService& service, const WindowOpener& openWindow, QWidget* parent)
    : QMainWindow(parent), content_(new ContentView(service, openWindow, this)) {
    setWindowTitle(titleFor(AppVersion::current()));
    setCentralWidget(content_);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    openPopout_ = file->addAction(QStringLiteral("Open Popout"));
    connect(openPopout_, &QAction::triggered, this, [openWindow] {
        if (openWindow) {
            openWindow(QString::fromLatin1(kLapDataWindowID));
        }
    });
    QAction* compare = file->addAction(QStringLiteral("Compare Configurations..."));
    connect(compare, &QAction::triggered, this, [openWindow] {
        if (openWindow) {
            openWindow(QString::fromLatin1(kComparisonWindowID));
        }
    });
    settings_ = file->addAction(QStringLiteral("Settings..."));
    settings_->setMenuRole(QAction::PreferencesRole);
    connect(settings_, &QAction::triggered, this, [openWindow] {
        if (openWindow) {
            openWindow(QString::fromLatin1(kSettingsWindowID));
        }
    });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);

    const QSize menu = menuBar()->sizeHint();
    resize(1280, 860 + menu.height());
}

QString MainWindow::titleFor(const QString& version) {
    return QStringLiteral("Draftwell Lap Logger V") + version;
}

} // namespace draftwell
