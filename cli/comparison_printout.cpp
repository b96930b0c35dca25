#include "cli/comparison_printout.h"

#include <QDir>
#include <QFileInfo>

#include "app/comparison_board_model.h"
#include "app/comparison_board_report.h"

namespace draftwell {

int printComparison(const CliOptions& options, const std::function<void(const QString&)>& print,
                    const std::function<void(const QString&)>& printError) {
    const QString folder = options.compareFolder.value_or(QString());
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable()) {
        printError(QStringLiteral("lap-logger-cli: cannot read the folder \"%1\".").arg(folder));
        return 1;
    }
    ComparisonBoardModel model;
    if (options.baseline) {
        model.setBaseline(*options.baseline);
    }
    model.setFolder(folder);
    if (options.json) {
        print(QString::fromUtf8(comparison_report::boardJson(model.board(), model.skipped(), folder))
                  .trimmed());
        return 0;
    }
    print(QStringLiteral("Comparison board of %1").arg(QDir::toNativeSeparators(folder)));
    for (const QString& line : comparison_report::boardLines(model.board(), model.skipped())) {
        print(line);
    }
    return 0;
}

} // namespace draftwell
