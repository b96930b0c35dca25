#pragma once

#include <QWidget>

namespace draftwell {

class LogoView;

// The logo on a white tile, top-aligned with a small margin.
class PopoutBrandTile : public QWidget {
    Q_OBJECT
  public:
    explicit PopoutBrandTile(QWidget* parent = nullptr);

    LogoView* logo() const { return logo_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    LogoView* logo_;
};

} // namespace draftwell
