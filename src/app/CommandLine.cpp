#include "app/CommandLine.h"

#include <QDir>

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (arg == QLatin1String("--create-history-db") || arg == QLatin1String("--autostart") ||
            arg == QLatin1String("--help") || arg == QLatin1String("--version"))
            result.endsAtOnce = true;
        if (arg == QLatin1String("--app-dir") && hasValue) {
            // Stored paths are appended directly to the directory, so it carries no
            // trailing separator.
            result.appDir = QDir::cleanPath(QDir(arguments.at(++i)).absolutePath());
        } else if (arg == QLatin1String("--create-history-db") && hasValue) {
            result.createHistoryDb = arguments.at(++i);
        } else if (arg == QLatin1String("--autostart") && hasValue &&
                   (arguments.at(i + 1) == QLatin1String("on") || arguments.at(i + 1) == QLatin1String("off"))) {
            result.autostart = arguments.at(++i) == QLatin1String("on");
        } else if (arg == QLatin1String("--help")) {
            result.help = true;
        } else if (arg == QLatin1String("--version")) {
            result.version = true;
        } else {
            result.error = QStringLiteral("unknown or incomplete option: %1").arg(arg);
            return result;
        }
    }
    return result;
}
