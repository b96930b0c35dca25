#pragma once

#include <QString>
#include <QWidget>

namespace draftwell {

// A white tile with a title at the top and one big value filling the rest;
// both type sizes follow the tile's size so the value reads from a distance.
class PopoutMetricTile : public QWidget {
    Q_OBJECT
  public:
    explicit PopoutMetricTile(const QString& title, QWidget* parent = nullptr);

    QString title() const { return title_; }
    QString value() const { return value_; }
    void setValue(const QString& value);

    static double titleSize(double w, double h);
    static double valueSize(double w, double h);
    // The title is drawn a little smaller than titleSize.
    static double titleFontSize(double w, double h) { return titleSize(w, h) * 0.84; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString title_;
    QString value_ = QStringLiteral("-");
};

} // namespace draftwell
