#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace draftwell {

class LapLoggerApp;

// Documentation pictures taken from the running program: connects, waits for
// a few laps, unticks one, opens the lap data and comparison windows, sizes
// the first two to their minimum, saves all three as PNG files and quits.
class ScreenshotTour : public QObject {
    Q_OBJECT
  public:
    ScreenshotTour(LapLoggerApp& shell, QString folder, int lapsWanted = kLapsWanted,
                   QObject* parent = nullptr);

    void start();

    static constexpr int kLapsWanted = 4;
    // Laps arrive every few seconds; a minute without them means no stick.
    static constexpr int kGiveUpMs = 60000;

  Q_SIGNALS:
    void finished(bool saved);

  private:
    void onLaps();
    void capture();

    LapLoggerApp& shell_;
    QString folder_;
    int lapsWanted_;
    QTimer giveUp_;
    bool capturing_ = false;
};

} // namespace draftwell
