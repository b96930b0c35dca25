#pragma once

#include <QObject>
#include <QString>

#include <map>

namespace draftwell::bench {

// Counts the paint events the application's widgets receive, and the area
// they repaint, by widget class, while counting is on: tells which views
// redraw on each broadcast, and how much of them.
class PaintCounter : public QObject {
  public:
    // Watches every object of the application (an application event filter).
    PaintCounter();
    ~PaintCounter() override;
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;

    void setCounting(bool on) { counting_ = on; }
    struct Tally {
        long events = 0;
        double pixels = 0; // area of the repainted regions
    };
    const std::map<QString, Tally>& byClass() const { return tallies_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool counting_ = false;
    std::map<QString, Tally> tallies_;
};

} // namespace draftwell::bench
