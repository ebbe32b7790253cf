#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

/// One running instance per user and application title. The first start holds a lock file
/// and listens on a local socket, both named after the title and the user and kept in the
/// user's runtime directory; a later start finds the lock taken, asks the running instance
/// to come forward and ends. A lock left by a crashed instance is taken over, and its
/// socket name removed.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    enum class Role
    {
        /// This is the running instance now.
        First,
        /// Another instance runs; it has been asked to come forward.
        HandedOver
    };

    /// What a later start asks of the running instance.
    enum class Request
    {
        /// Come forward.
        Forward,
        /// Open the call-history window.
        History,
        /// Open the phone book's window.
        PhoneBook
    };

    /// How long a second start tries to reach the running instance.
    static constexpr auto kReachWait = std::chrono::milliseconds(3000);

    explicit SingleInstance(const QString& appName, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// The socket's and lock's base name: the program, a digest of `appName` and the user.
    static QString instanceName(const QString& appName);
    /// Where the lock and the socket live: $XDG_RUNTIME_DIR, else the temporary directory.
    static QString runtimeDirectory();

    /// Becomes the running instance, or hands `request` to the one that runs.
    Role claim(Request request = Request::Forward);
    /// Gives the instance up again (after `claim` made this one the first): a later start
    /// runs on its own.
    void release();

Q_SIGNALS:
    /// Another start of the program asked this one to come forward.
    void forwardRequested();
    /// Another start asked for the call-history window.
    void historyRequested();
    /// Another start asked for the phone book's window.
    void phoneBookRequested();

private:
    void listen();
    void answer(QLocalSocket* socket);
    static void ask(const QString& serverPath, Request request);

    QString m_basePath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
