#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "analysis/comparison_board.h"
#include "app/run_file_reader.h"

namespace draftwell {

// The comparison board as text: the lines the headless logger prints and the
// window shows, a JSON document, and a CSV table to export. Numbers in the
// text and CSV use the current locale, in the JSON plain JSON numbers.
namespace comparison_report {

QString cdAText(double value); // 6 fraction digits
QString statisticsText(const analysis::SampleStatistics& s);
QString comparisonText(const analysis::Comparison& c); // "Δ … m² (… %) … W, 95 % CI […], lower"
QString driftText(const analysis::BaselineDrift& d);
// "N more laps of B, M more of the baseline".
QString lapsNeededText(const analysis::LapsStillNeeded& needed, const QString& configuration);

QStringList boardLines(const analysis::ComparisonBoard& board, const std::vector<SkippedRunFile>& skipped);
QByteArray boardJson(const analysis::ComparisonBoard& board, const std::vector<SkippedRunFile>& skipped,
                     const QString& folder);
QString boardCsv(const analysis::ComparisonBoard& board, const QString& delimiter);

} // namespace comparison_report

} // namespace draftwell
