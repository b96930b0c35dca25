#pragma once

#include <QWidget>

#include <array>
#include <vector>

#include "laps/lap_data.h"

class QLabel;

namespace draftwell {

// The session averages: a header row over one row of values.
class SessionSummaryRow : public QWidget {
    Q_OBJECT
  public:
    explicit SessionSummaryRow(QWidget* parent = nullptr);

    // Shows the first record of `rows`, or zeros when there is none.
    void setRows(const std::vector<LapDataRef>& rows);
    // The shown value texts, left to right.
    QStringList valueTexts() const;
    QStringList headerTexts() const;

    static constexpr int kHeight = 48;

  private:
    std::array<QLabel*, 10> headers_{};
    std::array<QLabel*, 10> values_{};
};

} // namespace draftwell
