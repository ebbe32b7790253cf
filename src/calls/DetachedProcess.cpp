#include "calls/DetachedProcess.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;
#else
#include <QProcess>
#endif

#ifdef Q_OS_UNIX

namespace {

// Frees what posix_spawn was given, however it ends.
struct SpawnSetup
{
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

QString startDetachedProcess(const QString& program, const QStringList& arguments, ProcessOutput output)
{
    if (program.isEmpty())
        return QStringLiteral("no program");
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        words.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    int failed = posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output.kind == ProcessOutput::Kind::Discarded) {
        failed = failed || posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        failed = failed || posix_spawn_file_actions_adddup2(&setup.actions, STDOUT_FILENO, STDERR_FILENO);
    } else if (output.kind == ProcessOutput::Kind::ToFile) {
        failed = failed || posix_spawn_file_actions_adddup2(&setup.actions, output.fd, STDOUT_FILENO);
        failed = failed || posix_spawn_file_actions_adddup2(&setup.actions, output.fd, STDERR_FILENO);
    }
    // A session of its own: the end of this program's terminal or session does not end it.
    failed = failed || posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID);
    if (failed)
        return QString::fromLocal8Bit(std::strerror(failed));

    pid_t pid = 0;
    // glibc's posix_spawn reports a program that cannot be run (missing, not executable) here.
    if (const int error = posix_spawnp(&pid, argv.front(), &setup.actions, &setup.attributes, argv.data(), environ))
        return QString::fromLocal8Bit(std::strerror(error));
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return {};
}

#else

QString startDetachedProcess(const QString& program, const QStringList& arguments, ProcessOutput output)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (output.kind != ProcessOutput::Kind::Inherited) {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }
    return process.startDetached() ? QString() : process.errorString();
}

#endif
