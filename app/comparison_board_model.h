#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <vector>

#include "analysis/comparison_board.h"
#include "app/run_file_reader.h"

namespace draftwell {

class ANTScannerService;

// The comparison board over the runs of a folder and, with a service, the run
// it is logging, kept up to date as laps arrive and flags change. The folder
// is read again when it changes, when a run starts or stops, and on reload.
// Main thread only.
class ComparisonBoardModel : public QObject {
    Q_OBJECT
  public:
    explicit ComparisonBoardModel(ANTScannerService* service = nullptr, QObject* parent = nullptr);

    QString folder() const { return folder_; }
    // Only without a service; with one the board follows its log folder.
    void setFolder(const QString& folder);
    void reload();

    const analysis::BoardSettings& settings() const { return settings_; }
    void setSettings(const analysis::BoardSettings& settings);
    void setBaseline(const QString& configuration); // empty: the first run's
    void setExcluded(const QString& runName, bool excluded);
    bool isExcluded(const QString& runName) const { return excluded_.contains(runName); }

    const analysis::ComparisonBoard& board() const { return board_; }
    // The runs the board was built from, in its order, for the chart.
    const std::vector<analysis::RunInput>& runs() const { return runs_; }
    const std::vector<SkippedRunFile>& skipped() const { return folderContents_.skipped; }

    static analysis::RunInput inputFrom(const RunFile& file);

  Q_SIGNALS:
    void boardChanged();

  private:
    void recompute();

    ANTScannerService* service_;
    QString folder_;
    RunFolderContents folderContents_;
    analysis::BoardSettings settings_;
    QSet<QString> excluded_;
    std::vector<analysis::RunInput> runs_;
    analysis::ComparisonBoard board_;
};

} // namespace draftwell
