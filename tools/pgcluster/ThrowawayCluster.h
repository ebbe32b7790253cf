#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

/// A private PostgreSQL server for tests and benchmarks: a fresh cluster in a temporary
/// directory, reached only through a Unix socket in that directory (no TCP), removed again
/// with the object. Debian keeps initdb and pg_ctl in the version's own library directory;
/// the newest one there is used. initdb refuses to run as root, so under root the cluster
/// belongs to the "postgres" user and its programs run through runuser.
class ThrowawayCluster
{
public:
    ThrowawayCluster();
    ~ThrowawayCluster();

    ThrowawayCluster(const ThrowawayCluster&) = delete;
    ThrowawayCluster& operator=(const ThrowawayCluster&) = delete;

    /// Makes the cluster (once) and starts the server. False, with `error()` saying why, when
    /// PostgreSQL is not installed or the server does not come up.
    bool start();
    /// Stops the server at once ("fast" shutdown: sessions are ended, nothing is lost).
    bool stop();
    bool isRunning() const { return m_running; }
    /// Stops (SIGSTOP) or continues (SIGCONT) the server and every process of it, so that it
    /// neither answers nor refuses: a paused virtual machine, a storage stall. False when the
    /// server is not running or a process could not be signalled.
    bool freeze();
    bool thaw();

    /// Creates a database owned by the superuser.
    bool createDatabase(const QString& name);
    /// A connection URI for `database` on this server, in libpq's form.
    QString uri(const QString& database) const;

    /// Runs `sql` in `database` on a connection of its own; each row comes back as its
    /// values' text. False, with `error()` set, when the statement fails.
    bool query(const QString& database, const QString& sql, QList<QStringList>* rows = nullptr);

    QString socketDirectory() const;
    QString error() const { return m_error; }

    static constexpr const char* kSuperuser = "postgres";

private:
    bool run(const QString& program, const QStringList& arguments);
    bool signalAll(int signal);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_binDir;
    bool m_made = false;
    bool m_running = false;
    bool m_asPostgresUser = false;
    QString m_error;
};
