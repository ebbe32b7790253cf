#include "calls/FollowProblem.h"

#include "history/PostgresUri.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// The reasons told apart, as libpq words them. libpq and the C library speak English on the following thread
// (FollowConnection); the server speaks the language it was set up in, Japanese in many offices, so its own reasons
// are known in both.
struct Reason
{
    const char* pattern;
    const char* sentence;
};

// clang-format off
const Reason kReasons[] = {
    {R"(could not translate host name)", "サーバー名が見つかりません。URIのサーバー名とネットワークを確かめてください。"},
    {R"(Connection refused|on socket "[^"]*" failed: No such file or directory)", "サーバーが接続を受け付けていません。サーバーが動いているか、ポート番号を確かめてください。"},
    {R"(timeout expired|timed out|does not answer|No route to host|Network is unreachable)", "サーバーから応答がありません。ネットワークとサーバーを確かめてください。"},
    {R"(no pg_hba\.conf entry|pg_hba\.conf に)", "サーバーがこのPCからの接続を許可していません（pg_hba.conf）。"},
    {R"(password authentication failed|no password supplied|role "[^"]*" does not exist|パスワード認証に失敗しました|ロール"[^"]*"は存在しません)", "ユーザー名かパスワードが違います。URIのユーザー名と ~/.pgpass のパスワードを確かめてください。"},
    {R"(database "[^"]*" does not exist|データベース"[^"]*"は存在しません)", "サーバーにそのデータベースがありません。URIのデータベース名を確かめてください。"},
    {R"(relation "[^"]*" does not exist|リレーション"[^"]*"は存在しません)", "データベースに着信履歴の表（history）がありません。"},
    {R"(permission denied for table|へのアクセスが拒否されました)", "着信履歴の表（history）を読む権限がありません。"},
};
// clang-format on

QString quoted(const QString& name)
{
    return u'「' + name + u'」';
}

// The server and the database as the user wrote them, or libpq's defaults for what the URI leaves out.
QString targetOf(const PostgresTarget& target)
{
    QString server = target.host.isEmpty() ? QStringLiteral("（省略: このPC）") : quoted(target.host);
    if (!target.port.isEmpty())
        server += QStringLiteral("（ポート %1）").arg(target.port);
    const QString database = !target.dbname.isEmpty() ? quoted(target.dbname)
                             : !target.user.isEmpty()
                                 ? QStringLiteral("（省略: ユーザー名と同じ%1）").arg(quoted(target.user))
                                 : QStringLiteral("（省略: このPCのユーザー名と同じ）");
    return QStringLiteral("サーバー%1のデータベース%2").arg(server, database);
}

} // namespace

QString followProblemText(const QString& uri, const QString& why)
{
    const QString reason = withoutPasswordOf(uri, why).simplified();
    const std::optional<PostgresTarget> target = parsePostgresUri(uri);
    if (!target)
        return QStringLiteral("フォロー先のURIの書き方が正しくありません: ") + reason;
    const QString head = QStringLiteral("フォロー先の%1に接続できません。").arg(targetOf(*target));
    for (const Reason& known : kReasons)
        if (QRegularExpression(QString::fromUtf8(known.pattern)).match(reason).hasMatch())
            return head + QString::fromUtf8(known.sentence);
    return head + QStringLiteral("PostgreSQLが知らせた理由: ") + reason;
}

QString withoutPasswordOf(const QString& uri, const QString& text)
{
    const QString written = uri.trimmed();
    QString hidden = text;
    if (!written.isEmpty())
        hidden.replace(written, withoutPassword(written));
    // Where withoutPassword finds them: between the user and the last '@' of the authority, and in parameters.
    static const QRegularExpression passwords(
        QStringLiteral(R"(^postgres(?:ql)?://[^:/?]*:([^/?]*)@|[?&]password=([^&]*))"),
        QRegularExpression::CaseInsensitiveOption);
    for (auto found = passwords.globalMatch(written); found.hasNext();) {
        const QRegularExpressionMatch match = found.next();
        const QString raw = match.captured(1) + match.captured(2);
        for (const QString& password : {raw, QUrl::fromPercentEncoding(raw.toUtf8())})
            if (!password.isEmpty())
                hidden.replace(password, QStringLiteral("***"));
    }
    return hidden;
}
