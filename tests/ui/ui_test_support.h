#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <memory>
#include <ostream>

// Readable values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace draftwell {
class ANTScannerService;
}

namespace draftwell::test {

class FakeScannerBridge;

// Processes events until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

struct LapFigures {
    int lap = 1;
    double cdA = 0.3;
    double cal = 1.0;
    double lapTime = 60.0;
    double dist = 700.0;
    double head = 10.0;
    double chest = 20.0;
    double riderPwr = 250.0;
};

// The three broadcast pages of one valid lap.
std::array<QByteArray, 3> lapPages(const LapFigures& figures);

// A service on a fake bridge, with its settings and log folder in a
// temporary folder of its own.
class ServiceFixture {
  public:
    ServiceFixture();
    ~ServiceFixture();

    ANTScannerService& service() { return *service_; }
    FakeScannerBridge& bridge() { return *bridge_; }
    QString logFolder() const { return logDir_.path(); }

    // Sends all three pages of a lap and returns once it is in the lap list.
    void completeLap(const LapFigures& figures);

  private:
    QTemporaryDir settingsDir_;
    QTemporaryDir logDir_;
    FakeScannerBridge* bridge_ = nullptr;
    std::unique_ptr<ANTScannerService> service_;
};

// Sets the default locale for one test and puts the previous one back.
class ScopedLocale {
  public:
    explicit ScopedLocale(const QLocale& locale) : previous_(QLocale()) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(previous_); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

  private:
    QLocale previous_;
};

// Points QSettings at a fresh folder so tests never read or write the user's.
void isolateSettings(const QString& folder);

} // namespace draftwell::test
