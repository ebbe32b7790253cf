#pragma once

#include <QList>
#include <QString>

class QCoreApplication;

/// The options of the history append benchmarks: --appends N, --sizes rows,... and --quick.
struct AppendOptions
{
    int appends = 0;
    QList<qint64> sizes; ///< ascending

    struct Defaults
    {
        int appends;
        int quickAppends;
        QList<qint64> sizes;
        QList<qint64> quickSizes;
    };

    /// Parses the command line (and handles --help); counts that are no count are left out.
    static AppendOptions parse(const QCoreApplication& app, const QString& description, const Defaults& defaults);
};
