#include "app/CommandLine.h"

#include <QDir>

CommandLine parseCommandLine(const QStringList& arguments, const QString& executableDir)
{
    CommandLine result;
    result.appDir = executableDir;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (arg == QLatin1String("--app-dir") && hasValue) {
            result.appDir = arguments.at(++i);
        } else if (arg == QLatin1String("--create-history-db") && hasValue) {
            result.createHistoryDb = arguments.at(++i);
        } else {
            result.error = QStringLiteral("unknown or incomplete option: %1").arg(arg);
            return result;
        }
    }
    // Stored paths are appended directly to the directory, so it carries no trailing separator.
    result.appDir = QDir::cleanPath(QDir(result.appDir).absolutePath());
    return result;
}
