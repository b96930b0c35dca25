#include "app/comparison_board_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include "app/format_number.h"
#include "app/lap_csv_logger.h"

namespace draftwell::comparison_report {

namespace {

using analysis::BaselineDrift;
using analysis::Comparison;
using analysis::ComparisonBoard;
using analysis::SampleStatistics;

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QString intervalText(const analysis::Interval& i) {
    return QStringLiteral("[%1, %2]").arg(cdAText(i.low), cdAText(i.high));
}

QJsonValue number(double value) {
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

template <typename T> QJsonValue optionalNumber(const std::optional<T>& value) {
    return value ? number(static_cast<double>(*value)) : QJsonValue();
}

QJsonObject statisticsJson(const SampleStatistics& s) {
    QJsonObject o;
    o["n"] = static_cast<qint64>(s.n);
    o["mean"] = s.n > 0 ? number(s.mean) : QJsonValue();
    o["sd"] = optionalNumber(s.sd);
    o["se"] = optionalNumber(s.standardError);
    o["ci"] = s.confidence ? QJsonValue(QJsonArray{number(s.confidence->low), number(s.confidence->high)})
                           : QJsonValue();
    return o;
}

QJsonValue comparisonJson(const std::optional<Comparison>& c) {
    if (!c) {
        return QJsonValue();
    }
    const analysis::Difference& d = c->difference;
    QJsonObject o;
    o["basis"] = QString::fromLatin1(analysis::basisText(c->basis));
    o["delta"] = number(d.delta);
    o["percent"] = number(d.percent);
    o["watts"] = number(c->watts);
    o["se"] = number(d.standardError);
    o["df"] = number(d.degreesOfFreedom);
    o["ci"] = QJsonArray{number(d.confidence.low), number(d.confidence.high)};
    o["verdict"] = QString::fromLatin1(analysis::verdictText(d.verdict));
    return o;
}

QJsonValue driftJson(const std::optional<BaselineDrift>& drift) {
    if (!drift) {
        return QJsonValue();
    }
    QJsonObject o;
    o["before"] = q(drift->beforeRun);
    o["after"] = q(drift->afterRun);
    o["weight"] = number(drift->weight);
    o["delta"] = number(drift->drift.delta);
    o["se"] = number(drift->drift.standardError);
    o["df"] = number(drift->drift.degreesOfFreedom);
    o["ci"] = QJsonArray{number(drift->drift.confidence.low), number(drift->drift.confidence.high)};
    o["warning"] = drift->warning;
    return o;
}

QStringList statisticsFields(const SampleStatistics& s) {
    const auto opt = [](const std::optional<double>& v) { return v ? cdAText(*v) : QString(); };
    return {QString::number(s.n),
            s.n > 0 ? cdAText(s.mean) : QString(),
            opt(s.sd),
            opt(s.standardError),
            s.confidence ? cdAText(s.confidence->low) : QString(),
            s.confidence ? cdAText(s.confidence->high) : QString()};
}

QStringList comparisonFields(const std::optional<Comparison>& c) {
    if (!c) {
        return QStringList(8);
    }
    const analysis::Difference& d = c->difference;
    return {QString::fromLatin1(analysis::basisText(c->basis)),
            cdAText(d.delta),
            formatNumber(d.percent, 2),
            formatNumber(c->watts, 2),
            formatNumber(d.degreesOfFreedom, 1),
            cdAText(d.confidence.low),
            cdAText(d.confidence.high),
            QString::fromLatin1(analysis::verdictText(d.verdict))};
}

} // namespace

QString cdAText(double value) {
    return formatNumber(value, 6);
}

QString statisticsText(const SampleStatistics& s) {
    if (s.n == 0) {
        return QStringLiteral("n 0");
    }
    QString text = QStringLiteral("n %1, mean %2 m²").arg(s.n).arg(cdAText(s.mean));
    if (s.sd && s.standardError && s.confidence) {
        text += QStringLiteral(", SD %1, SE %2, 95 % CI %3")
                    .arg(cdAText(*s.sd), cdAText(*s.standardError), intervalText(*s.confidence));
    }
    return text;
}

QString comparisonText(const Comparison& c) {
    const analysis::Difference& d = c.difference;
    return QStringLiteral("on %1: Δ %2 m² (%3 %), %4 W, SE %5, df %6, 95 % CI %7, %8")
        .arg(QString::fromLatin1(analysis::basisText(c.basis)), cdAText(d.delta), formatNumber(d.percent, 2),
             formatNumber(c.watts, 2), cdAText(d.standardError), formatNumber(d.degreesOfFreedom, 1),
             intervalText(d.confidence), QString::fromLatin1(analysis::verdictText(d.verdict)));
}

QString driftText(const BaselineDrift& d) {
    return QStringLiteral("baseline drift %1 → %2: %3 m², 95 % CI %4%5")
        .arg(q(d.beforeRun), q(d.afterRun), cdAText(d.drift.delta), intervalText(d.drift.confidence),
             d.warning ? QStringLiteral(" (WARNING: the baseline moved)") : QString());
}

QString lapsNeededText(const analysis::LapsStillNeeded& needed, const QString& configuration) {
    return QStringLiteral("%1 more laps of %2, %3 more of the baseline")
        .arg(needed.moreOfTest)
        .arg(configuration)
        .arg(needed.moreOfBaseline);
}

QStringList boardLines(const ComparisonBoard& board, const std::vector<SkippedRunFile>& skipped) {
    QStringList lines;
    const auto name = [](const std::string& c) { return QStringLiteral("\"%1\"").arg(q(c)); };
    lines << (board.baseline ? QStringLiteral("Baseline: %1").arg(name(*board.baseline))
                             : QStringLiteral("Baseline: none (no runs)"));
    lines << QStringLiteral("At %1 km/h and %2 kg/m³; target difference %3")
                 .arg(formatNumber(board.speedKmh, 1), formatNumber(board.airDensity, 2),
                      board.targetCdA ? cdAText(*board.targetCdA) + QStringLiteral(" m²")
                                      : QStringLiteral("none"));
    if (board.driftWarning) {
        lines << QStringLiteral("WARNING: the baseline drifted between its runs; see the runs below.");
    }
    lines << QStringLiteral("Runs:");
    for (const analysis::RunRow& run : board.runs) {
        QString flags = run.live ? QStringLiteral(" (live)") : QString();
        if (run.excluded) {
            flags += QStringLiteral(" (excluded)");
        }
        lines << QStringLiteral("  %1%2 %3: %4")
                     .arg(q(run.name), flags, name(run.configuration), statisticsText(run.stats));
        if (run.adjusted) {
            lines << QStringLiteral("    vs interpolated baseline ") + comparisonText(*run.adjusted);
        }
        if (run.drift) {
            lines << QStringLiteral("    ") + driftText(*run.drift);
        }
    }
    lines << QStringLiteral("Configurations:");
    for (const analysis::ConfigurationRow& row : board.configurations) {
        lines << QStringLiteral("  %1%2, %3 run(s): %4")
                     .arg(name(row.configuration), row.isBaseline ? QStringLiteral(" (baseline)") : QString())
                     .arg(row.runs)
                     .arg(statisticsText(row.laps));
        if (row.isBaseline) {
            continue;
        }
        lines << (row.onLaps ? QStringLiteral("    vs baseline ") + comparisonText(*row.onLaps)
                             : QStringLiteral("    vs baseline: not enough laps on both sides"));
        if (row.onRunMeans) {
            lines << QStringLiteral("    vs baseline ") + comparisonText(*row.onRunMeans);
        }
        if (row.needed) {
            lines << QStringLiteral("    Laps still needed: ") +
                         lapsNeededText(*row.needed, q(row.configuration));
        }
    }
    for (const SkippedRunFile& s : skipped) {
        lines << QStringLiteral("Skipped %1: %2").arg(s.fileName, s.reason);
    }
    return lines;
}

QByteArray boardJson(const ComparisonBoard& board, const std::vector<SkippedRunFile>& skipped,
                     const QString& folder) {
    QJsonObject root;
    root["folder"] = folder;
    root["baseline"] = board.baseline ? QJsonValue(q(*board.baseline)) : QJsonValue();
    root["speedKmh"] = number(board.speedKmh);
    root["airDensity"] = number(board.airDensity);
    root["targetCdA"] = optionalNumber(board.targetCdA);
    root["driftWarning"] = board.driftWarning;
    QJsonArray runs;
    for (const analysis::RunRow& run : board.runs) {
        QJsonObject o;
        o["name"] = q(run.name);
        o["configuration"] = q(run.configuration);
        o["live"] = run.live;
        o["excluded"] = run.excluded;
        o["laps"] = statisticsJson(run.stats);
        o["midTime"] = optionalNumber(run.midSeconds);
        o["adjusted"] = comparisonJson(run.adjusted);
        o["drift"] = driftJson(run.drift);
        runs.append(o);
    }
    root["runs"] = runs;
    QJsonArray configurations;
    for (const analysis::ConfigurationRow& row : board.configurations) {
        QJsonObject o;
        o["configuration"] = q(row.configuration);
        o["baseline"] = row.isBaseline;
        o["runs"] = static_cast<qint64>(row.runs);
        o["laps"] = statisticsJson(row.laps);
        o["runMeans"] = statisticsJson(row.runMeans);
        o["onLaps"] = comparisonJson(row.onLaps);
        o["onRunMeans"] = comparisonJson(row.onRunMeans);
        if (row.needed) {
            o["lapsNeeded"] =
                QJsonObject{{"perConfiguration", static_cast<qint64>(row.needed->perConfiguration)},
                            {"moreOfTest", static_cast<qint64>(row.needed->moreOfTest)},
                            {"moreOfBaseline", static_cast<qint64>(row.needed->moreOfBaseline)}};
        } else {
            o["lapsNeeded"] = QJsonValue();
        }
        configurations.append(o);
    }
    root["configurations"] = configurations;
    QJsonArray skippedFiles;
    for (const SkippedRunFile& s : skipped) {
        skippedFiles.append(QJsonObject{{"file", s.fileName}, {"reason", s.reason}});
    }
    root["skipped"] = skippedFiles;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString boardCsv(const ComparisonBoard& board, const QString& delimiter) {
    QStringList lines;
    const auto add = [&](const QStringList& fields) { lines << LapCSVLogger::joinFields(fields, delimiter); };
    add({"Row", "Name", "Configuration", "n", "Mean", "SD", "SE", "CI low", "CI high", "Basis", "Delta",
         "Percent", "Watts", "df", "Delta CI low", "Delta CI high", "Verdict", "More laps",
         "More baseline laps"});
    const QString baseline = board.baseline ? q(*board.baseline) : QString();
    for (const analysis::RunRow& run : board.runs) {
        add(QStringList{run.excluded ? QStringLiteral("run (excluded)") : QStringLiteral("run"), q(run.name),
                        q(run.configuration)} +
            statisticsFields(run.stats) + comparisonFields(run.adjusted) + QStringList(2));
    }
    for (const analysis::ConfigurationRow& row : board.configurations) {
        const QStringList needed = row.needed ? QStringList{QString::number(row.needed->moreOfTest),
                                                            QString::number(row.needed->moreOfBaseline)}
                                              : QStringList(2);
        add(QStringList{row.isBaseline ? QStringLiteral("baseline") : QStringLiteral("configuration"),
                        q(row.configuration), q(row.configuration)} +
            statisticsFields(row.laps) + comparisonFields(row.onLaps) + needed);
        if (row.onRunMeans) {
            add(QStringList{QStringLiteral("configuration run means"), q(row.configuration),
                            q(row.configuration)} +
                statisticsFields(row.runMeans) + comparisonFields(row.onRunMeans) + QStringList(2));
        }
    }
    for (const analysis::RunRow& run : board.runs) {
        if (run.drift) {
            add(QStringList{QStringLiteral("baseline drift"),
                            q(run.drift->beforeRun) + QStringLiteral(" → ") + q(run.drift->afterRun),
                            baseline, QString(), cdAText(run.drift->drift.delta), QString(),
                            cdAText(run.drift->drift.standardError), cdAText(run.drift->drift.confidence.low),
                            cdAText(run.drift->drift.confidence.high)} +
                QStringList(8) +
                QStringList{run.drift->warning ? QStringLiteral("warning") : QString(), QString()});
        }
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace draftwell::comparison_report
