#pragma once

#include <QString>

#include <memory>

class QLockFile;

/// The one program that owns a spool: held from the start to the end of a run, on a lock
/// file of its own beside the spool, so that two programs started on one application
/// directory never both write the rows that wait in it. The system drops the lock when its
/// holder ends, however it ends.
class SpoolLock
{
public:
    enum class State
    {
        Held,          ///< this program owns the spool
        HeldElsewhere, ///< another program does; `holder()` names it where it could be read
        NoLock,        ///< no lock can be made there (no such directory, no right to write)
    };

    /// Tries once, without waiting, to own the spool at `spoolPath`.
    explicit SpoolLock(const QString& spoolPath);
    ~SpoolLock();

    SpoolLock(const SpoolLock&) = delete;
    SpoolLock& operator=(const SpoolLock&) = delete;

    State state() const { return m_state; }
    /// The lock file's name.
    const QString& path() const { return m_path; }
    /// Who holds it elsewhere ("pid 1234 on desk-3"), or why none could be made.
    const QString& holder() const { return m_holder; }

private:
    QString m_path;
    State m_state = State::NoLock;
    QString m_holder;
    int m_descriptor = -1;
    std::unique_ptr<QLockFile> m_lockFile;
};
