#include "history/PostgresUri.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace {

const QStringList kSchemes = {QStringLiteral("postgresql://"), QStringLiteral("postgres://")};

int schemeLength(const QString& text)
{
    for (const QString& scheme : kSchemes)
        if (text.startsWith(scheme, Qt::CaseInsensitive))
            return int(scheme.size());
    return 0;
}

// Percent-decoding that refuses a broken escape instead of passing it through, so a typo
// in the settings cannot quietly name another host or database.
std::optional<QString> decoded(const QString& part, QString* error)
{
    static const QRegularExpression brokenEscape(QStringLiteral("%(?![0-9A-Fa-f]{2})"));
    if (part.contains(brokenEscape)) {
        if (error)
            *error = QStringLiteral("a broken percent escape in \"%1\"").arg(part);
        return std::nullopt;
    }
    return QUrl::fromPercentEncoding(part.toUtf8());
}

// One host[:port] of the host list; an IPv6 address is bracketed.
bool splitHostPort(const QString& item, QString& host, QString& port)
{
    if (item.startsWith(QLatin1Char('['))) {
        const qsizetype close = item.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        host = item.mid(1, close - 1);
        const QString rest = item.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return false;
        port = rest.mid(1);
        return true;
    }
    const qsizetype colon = item.lastIndexOf(QLatin1Char(':'));
    host = colon < 0 ? item : item.left(colon);
    port = colon < 0 ? QString() : item.mid(colon + 1);
    return true;
}

} // namespace

bool isPostgresUri(const QString& path3)
{
    return schemeLength(path3.trimmed()) > 0;
}

std::optional<PostgresTarget> parsePostgresUri(const QString& uri, QString* error)
{
    const auto fail = [error](const QString& why) -> std::optional<PostgresTarget> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString text = uri.trimmed();
    const int skip = schemeLength(text);
    if (skip == 0)
        return fail(QStringLiteral("not a postgresql:// URI"));
    if (text.contains(QChar::Null))
        return fail(QStringLiteral("the URI contains a NUL character"));

    QString rest = text.mid(skip);
    QString query;
    if (const qsizetype mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        query = rest.mid(mark + 1);
        rest.truncate(mark);
    }
    QString path;
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        path = rest.mid(slash + 1);
        rest.truncate(slash);
    }

    PostgresTarget target;
    // The user part ends at the last '@' before the host list.
    if (const qsizetype at = rest.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userinfo = rest.left(at);
        rest = rest.mid(at + 1);
        const qsizetype colon = userinfo.indexOf(QLatin1Char(':'));
        const auto user = decoded(colon < 0 ? userinfo : userinfo.left(colon), error);
        const auto password = decoded(colon < 0 ? QString() : userinfo.mid(colon + 1), error);
        if (!user || !password)
            return std::nullopt;
        target.user = *user;
        target.password = *password;
    }

    QStringList hosts;
    QStringList ports;
    bool anyPort = false;
    for (const QString& item : rest.split(QLatin1Char(','))) {
        QString host;
        QString port;
        if (!splitHostPort(item, host, port))
            return fail(QStringLiteral("a malformed host \"%1\"").arg(item));
        const auto decodedHost = decoded(host, error);
        if (!decodedHost)
            return std::nullopt;
        if (!port.isEmpty() && !QRegularExpression(QStringLiteral("^[0-9]{1,5}$")).match(port).hasMatch())
            return fail(QStringLiteral("a malformed port \"%1\"").arg(port));
        hosts << *decodedHost;
        ports << port;
        anyPort = anyPort || !port.isEmpty();
    }
    const bool anyHost = std::any_of(hosts.cbegin(), hosts.cend(), [](const QString& h) { return !h.isEmpty(); });
    if (anyHost)
        target.host = hosts.join(QLatin1Char(','));
    if (anyPort)
        target.port = ports.join(QLatin1Char(','));

    const auto dbname = decoded(path, error);
    if (!dbname)
        return std::nullopt;
    target.dbname = *dbname;

    static const QRegularExpression keyword(QStringLiteral("^[a-z_]+$"));
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(QStringLiteral("a parameter without a value: \"%1\"").arg(pair));
        const auto name = decoded(pair.left(equals), error);
        const auto value = decoded(pair.mid(equals + 1), error);
        if (!name || !value)
            return std::nullopt;
        if (!keyword.match(*name).hasMatch())
            return fail(QStringLiteral("an unknown parameter name \"%1\"").arg(*name));
        // Parameters in the query part override the same parts given before it.
        if (*name == QLatin1String("host"))
            target.host = *value;
        else if (*name == QLatin1String("port"))
            target.port = *value;
        else if (*name == QLatin1String("user"))
            target.user = *value;
        else if (*name == QLatin1String("password"))
            target.password = *value;
        else if (*name == QLatin1String("dbname"))
            target.dbname = *value;
        else
            target.parameters.append({*name, *value});
    }
    return target;
}

QString withoutPassword(const QString& uri)
{
    const int skip = schemeLength(uri.trimmed());
    if (skip == 0)
        return uri;
    QString text = uri.trimmed();
    const qsizetype authorityEnd = [&] {
        const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[/?]")), skip);
        return end < 0 ? text.size() : end;
    }();
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'), authorityEnd - 1);
    if (at >= skip) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'), skip);
        if (colon >= 0 && colon < at)
            text.replace(colon + 1, at - colon - 1, QStringLiteral("***"));
    }
    static const QRegularExpression passwordParameter(QStringLiteral("([?&]password=)[^&]*"));
    text.replace(passwordParameter, QStringLiteral("\\1***"));
    return text;
}
