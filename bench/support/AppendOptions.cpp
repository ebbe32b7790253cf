#include "AppendOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

namespace {

QString joined(const QList<qint64>& sizes)
{
    QStringList parts;
    for (const qint64 size : sizes)
        parts << QString::number(size);
    return parts.join(u',');
}

QList<qint64> parseSizes(const QString& text)
{
    QList<qint64> sizes;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 value = part.trimmed().toLongLong(&ok);
        if (ok && value >= 0)
            sizes << value;
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

} // namespace

AppendOptions AppendOptions::parse(const QCoreApplication& app, const QString& description, const Defaults& defaults)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption appendsOption(QStringLiteral("appends"), QStringLiteral("Measured appends per size."),
                                           QStringLiteral("n"), QString::number(defaults.appends));
    const QCommandLineOption sizesOption(QStringLiteral("sizes"), QStringLiteral("Table sizes, comma-separated."),
                                         QStringLiteral("rows,..."), joined(defaults.sizes));
    const QCommandLineOption quickOption(QStringLiteral("quick"), QStringLiteral("Small tables, for development."));
    parser.addOptions({appendsOption, sizesOption, quickOption});
    parser.process(app);
    const bool quick = parser.isSet(quickOption);

    AppendOptions options;
    options.appends = std::max(1, parser.isSet(appendsOption) || !quick ? parser.value(appendsOption).toInt()
                                                                        : defaults.quickAppends);
    options.sizes = parser.isSet(sizesOption) ? parseSizes(parser.value(sizesOption))
                                              : (quick ? defaults.quickSizes : defaults.sizes);
    if (options.sizes.isEmpty())
        options.sizes = defaults.sizes;
    return options;
}
