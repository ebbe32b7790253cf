#include "startup/FollowCommand.h"

#include "app/Settings.h"
#include "history/HistoryDatabase.h"
#include "history/PostgresUri.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cstdio>

namespace {

// Whether the history at `uri` can be followed now; empty when it can, else why not.
QString followingProblem(const QString& uri)
{
    const QString name = QStringLiteral("chakushin-follow-check-") + QUuid::createUuid().toString(QUuid::Id128);
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid())
            problem = QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
        else if (!HistoryDatabase::configurePostgresConnection(db, uri, problem)) {
        } else if (!db.open()) {
            problem = QStringLiteral("cannot reach it now: ") + db.lastError().text();
        } else {
            QSqlQuery check(db);
            if (!check.exec(
                    QStringLiteral("SELECT to_regclass('history') IS NOT NULL, EXISTS (SELECT 1 FROM pg_trigger "
                                   "WHERE tgname = 'history_announce_call' AND tgrelid = to_regclass('history'))")) ||
                !check.next())
                problem = check.lastError().text();
            else if (!check.value(0).toBool())
                problem = QStringLiteral("it has no table \"history\" (chakushin --create-history-db URI makes it)");
            else if (!check.value(1).toBool())
                problem =
                    QStringLiteral("its table \"history\" does not announce its calls yet: add the trigger as the "
                                   "README shows (\"Following the office's calls\")");
            check.clear();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

} // namespace

int setFollowingFromCommandLine(const QString& appDir, const QString& value)
{
    const bool off = value == QLatin1String("off");
    QString why;
    if (!off && (!isPostgresUri(value) || !parsePostgresUri(value, &why))) {
        std::fprintf(stderr, "chakushin: --follow needs off or a postgresql:// URI%s%s\n", why.isEmpty() ? "" : ": ",
                     qPrintable(why));
        return 2;
    }
    SharedState state(appDir);
    const QString section = QStringLiteral("FOLLOW");
    const bool written = (off || WriteIni(state, section, QStringLiteral("uri"), value) != 0) &&
                         WriteIni(state, section, QStringLiteral("enabled"),
                                  off ? QStringLiteral("False") : QStringLiteral("True")) != 0;
    if (!written) {
        std::fprintf(stderr, "chakushin: cannot write %s\n", qPrintable(settingsFilePath(state)));
        return 1;
    }
    if (off) {
        std::printf("This desk stops following the office's calls from the next start of chakushin\n");
        return 0;
    }
    std::printf("This desk follows the office's calls at %s from the next start of chakushin\n",
                qPrintable(withoutPassword(value)));
    if (const QString problem = followingProblem(value); !problem.isEmpty())
        std::fprintf(stderr, "chakushin: %s: %s\n", qPrintable(withoutPassword(value)), qPrintable(problem));
    return 0;
}
