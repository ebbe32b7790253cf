#include "app/CommandLine.h"

#include <QDir>

namespace {

std::optional<QDate> dateOf(const QString& text)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() ? std::optional(date) : std::nullopt;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (arg == QLatin1String("--create-history-db") || arg == QLatin1String("--autostart") ||
            arg == QLatin1String("--export-history") || arg == QLatin1String("--import-phonebook") ||
            arg == QLatin1String("--export-phonebook") || arg == QLatin1String("--from") ||
            arg == QLatin1String("--to") || arg == QLatin1String("--follow") || arg == QLatin1String("--help") ||
            arg == QLatin1String("--version"))
            result.endsAtOnce = true;
        std::optional<QDate>* day = arg == QLatin1String("--from") ? &result.exportFrom
                                    : arg == QLatin1String("--to") ? &result.exportTo
                                                                   : nullptr;
        if (arg == QLatin1String("--app-dir") && hasValue) {
            // Stored paths are appended directly to the directory, so it carries no
            // trailing separator.
            result.appDir = QDir::cleanPath(QDir(arguments.at(++i)).absolutePath());
        } else if (arg == QLatin1String("--create-history-db") && hasValue) {
            result.createHistoryDb = arguments.at(++i);
        } else if (arg == QLatin1String("--autostart") && hasValue &&
                   (arguments.at(i + 1) == QLatin1String("on") || arguments.at(i + 1) == QLatin1String("off"))) {
            result.autostart = arguments.at(++i) == QLatin1String("on");
        } else if (arg == QLatin1String("--follow") && hasValue) {
            result.follow = arguments.at(++i);
        } else if (arg == QLatin1String("--export-history") && hasValue) {
            result.exportHistory = arguments.at(++i);
        } else if (arg == QLatin1String("--import-phonebook") && hasValue) {
            result.importPhoneBook = arguments.at(++i);
        } else if (arg == QLatin1String("--export-phonebook") && hasValue) {
            result.exportPhoneBook = arguments.at(++i);
        } else if (day && hasValue && dateOf(arguments.at(i + 1))) {
            *day = dateOf(arguments.at(++i));
        } else if (day) {
            result.error = QStringLiteral("%1 needs a day written YYYY-MM-DD").arg(arg);
            return result;
        } else if (arg == QLatin1String("--history")) {
            result.history = true;
        } else if (arg == QLatin1String("--phonebook")) {
            result.phoneBook = true;
        } else if (arg == QLatin1String("--help")) {
            result.help = true;
        } else if (arg == QLatin1String("--version")) {
            result.version = true;
        } else {
            result.error = QStringLiteral("unknown or incomplete option: %1").arg(arg);
            return result;
        }
    }
    if ((result.exportFrom || result.exportTo) && !result.exportHistory)
        result.error = QStringLiteral("--from and --to go with --export-history");
    return result;
}
