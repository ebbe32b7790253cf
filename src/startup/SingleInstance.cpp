#include "startup/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr char kForward[] = "forward\n";
constexpr char kHistory[] = "history\n";
constexpr char kPhoneBook[] = "phonebook\n";
constexpr char kDone[] = "done\n";

QString userId()
{
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

} // namespace

SingleInstance::SingleInstance(const QString& appName, QObject* parent)
    : QObject(parent)
    , m_basePath(QDir(runtimeDirectory()).filePath(instanceName(appName)))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
            answer(socket);
        }
    });
}

SingleInstance::~SingleInstance()
{
    m_server.close();
}

QString SingleInstance::instanceName(const QString& appName)
{
    // The title may hold anything, a path separator included; its digest is a safe name.
    const QByteArray digest = QCryptographicHash::hash(appName.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("chakushin-%1-%2").arg(QString::fromLatin1(digest), userId());
}

QString SingleInstance::runtimeDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

SingleInstance::Role SingleInstance::claim(Request request)
{
    m_lock = std::make_unique<QLockFile>(m_basePath + QStringLiteral(".lock"));
    // The lock is held for the program's whole life: only a lock whose holder has gone is stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return Role::First;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        // The lock cannot be made at all (no writable directory): run alone rather than not at all.
        qWarning("chakushin: cannot make the instance lock %s", qPrintable(m_basePath));
        listen();
        return Role::First;
    }
    m_lock.reset();
    ask(m_basePath + QStringLiteral(".socket"), request);
    return Role::HandedOver;
}

void SingleInstance::release()
{
    m_server.close();
    m_lock.reset();
}

void SingleInstance::listen()
{
    const QString path = m_basePath + QStringLiteral(".socket");
    // Whoever held the name before is gone: the lock is ours.
    QLocalServer::removeServer(path);
    if (!m_server.listen(path))
        qWarning("chakushin: cannot listen on %s: %s", qPrintable(path), qPrintable(m_server.errorString()));
}

void SingleInstance::answer(QLocalSocket* socket)
{
    if (!socket->canReadLine())
        return;
    const QByteArray request = socket->readLine();
    if (request == kForward || request == kHistory || request == kPhoneBook) {
        if (request == kForward)
            emit forwardRequested();
        else if (request == kHistory)
            emit historyRequested();
        else
            emit phoneBookRequested();
        socket->write(kDone);
        socket->flush();
    }
    socket->disconnectFromServer();
}

void SingleInstance::ask(const QString& serverPath, Request request)
{
    // The running instance may have taken the lock an instant ago and not listen yet.
    const QDeadlineTimer deadline(kReachWait);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(serverPath);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return;
        QThread::msleep(50);
    }
    socket.write(request == Request::History ? kHistory : request == Request::PhoneBook ? kPhoneBook : kForward);
    socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    // The running instance may be inside a blocking pause; it answers once it is through.
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
}
