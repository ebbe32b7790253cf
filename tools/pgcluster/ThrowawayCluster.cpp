#include "ThrowawayCluster.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>

#include <algorithm>

#include <cerrno>
#include <csignal>

#include <unistd.h>

namespace {

constexpr int kPort = 5432; // names the socket file only: the server listens on no TCP port

// The newest PostgreSQL whose server programs Debian installed; CHAKUSHIN_PG_BINDIR wins.
QString serverBinDir()
{
    const QString given = qEnvironmentVariable("CHAKUSHIN_PG_BINDIR");
    if (!given.isEmpty())
        return given;
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(*it);
        if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return {};
}

} // namespace

ThrowawayCluster::ThrowawayCluster()
    : m_dir(std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/chakushin-pg-XXXXXX")))
    , m_binDir(serverBinDir())
    , m_asPostgresUser(::geteuid() == 0)
{}

ThrowawayCluster::~ThrowawayCluster()
{
    if (m_running)
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

QString ThrowawayCluster::socketDirectory() const
{
    return m_dir->filePath(QStringLiteral("socket"));
}

bool ThrowawayCluster::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = m_binDir + QLatin1Char('/') + program;
    if (m_asPostgresUser)
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QString::fromLatin1(kSuperuser), QStringLiteral("--"), path} +
                          arguments);
    else
        process.start(path, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()).trimmed());
        if (m_error.endsWith(QLatin1Char(':')) || process.error() != QProcess::UnknownError)
            m_error += QLatin1Char(' ') + process.errorString();
        return false;
    }
    return true;
}

bool ThrowawayCluster::start()
{
    if (m_running)
        return true;
    if (m_binDir.isEmpty()) {
        m_error = QStringLiteral("no PostgreSQL server programs under /usr/lib/postgresql (package postgresql)");
        return false;
    }
    if (!m_dir->isValid()) {
        m_error = m_dir->errorString();
        return false;
    }
    const QString data = m_dir->filePath(QStringLiteral("data"));
    if (!m_made) {
        if (!QDir(m_dir->path()).mkpath(QStringLiteral("socket"))) {
            m_error = QStringLiteral("cannot make %1").arg(socketDirectory());
            return false;
        }
        if (m_asPostgresUser) {
            QProcess chown;
            chown.start(QStringLiteral("chown"),
                        {QStringLiteral("-R"), QString::fromLatin1(kSuperuser), m_dir->path()});
            if (!chown.waitForFinished() || chown.exitCode() != 0) {
                m_error = QStringLiteral("cannot give %1 to the postgres user").arg(m_dir->path());
                return false;
            }
        }
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-U"), QString::fromLatin1(kSuperuser),
                  QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C"), QStringLiteral("--no-sync")}))
            return false;
        m_made = true;
    }
    const QString options = QStringLiteral("-k %1 -p %2 -c listen_addresses=''").arg(socketDirectory()).arg(kPort);
    if (!run(QStringLiteral("pg_ctl"),
             {QStringLiteral("-D"), data, QStringLiteral("-o"), options, QStringLiteral("-l"),
              m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("start")}))
        return false;
    m_running = true;
    return true;
}

bool ThrowawayCluster::stop()
{
    if (!m_running)
        return true;
    if (!run(QStringLiteral("pg_ctl"),
             {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
              QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")}))
        return false;
    m_running = false;
    return true;
}

bool ThrowawayCluster::freeze()
{
    return signalAll(SIGSTOP);
}

bool ThrowawayCluster::thaw()
{
    return signalAll(SIGCONT);
}

// The server's processes: the postmaster (the first line of postmaster.pid) and its children.
bool ThrowawayCluster::signalAll(int signal)
{
    QFile pidFile(m_dir->filePath(QStringLiteral("data/postmaster.pid")));
    if (!m_running || !pidFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("the server is not running");
        return false;
    }
    const QByteArray postmaster = pidFile.readLine().trimmed();
    QList<pid_t> pids = {pid_t(postmaster.toInt())};
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...: the name may hold blanks, so count from its closing bracket.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == postmaster)
            pids.append(pid_t(entry.toInt()));
    }
    for (const pid_t pid : pids) {
        // A session's process may have ended since the list was made.
        if (pid <= 0 || (::kill(pid, signal) != 0 && (errno != ESRCH || pid == pids.front()))) {
            m_error = QStringLiteral("cannot signal process %1").arg(pid);
            return false;
        }
    }
    return true;
}

QString ThrowawayCluster::uri(const QString& database) const
{
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(QString::fromLatin1(kSuperuser), QString::fromLatin1(QUrl::toPercentEncoding(socketDirectory())),
             QString::number(kPort), QString::fromLatin1(QUrl::toPercentEncoding(database)));
}

bool ThrowawayCluster::createDatabase(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return query(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(quoted));
}

bool ThrowawayCluster::query(const QString& database, const QString& sql, QList<QStringList>* rows)
{
    const QString name = QStringLiteral("throwaway-") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(socketDirectory());
        db.setPort(kPort);
        db.setUserName(QString::fromLatin1(kSuperuser));
        db.setDatabaseName(database);
        if (!db.open()) {
            m_error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            ok = q.exec(sql);
            if (!ok)
                m_error = q.lastError().text();
            while (ok && rows && q.next()) {
                QStringList row;
                for (int i = 0; i < q.record().count(); ++i)
                    row << q.value(i).toString();
                rows->append(row);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
