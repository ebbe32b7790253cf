#include "calls/CallCommand.h"

#include "app/Logging.h"
#include "calls/CallerNumber.h"
#include "calls/DetachedProcess.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX

// What the trace keeps of a command's output: its first lines, each cut short.
constexpr int kTracedLines = 10;
constexpr qsizetype kTracedChars = 200;
// Enough UTF-8 for kTracedChars characters.
constexpr qsizetype kTracedBytes = 4 * kTracedChars;
// What one read takes from the pipe before the event loop has its turn again.
constexpr qsizetype kReadSize = 64 * 1024;

// Reads a started command's output from the read end of its pipe whenever the event loop
// finds some there, never waiting: the first lines go to the trace, everything after them is
// read and dropped, so memory stays bounded however much the command prints. The pipe is
// drained rather than closed early because a command writing to a closed pipe ends with
// SIGPIPE: with the trace on, a command runs as it does without it (one that prints without
// end is read, a piece each turn of the event loop, as long as it runs). The reader goes when
// the output ends, or with the application, which leaves a command still running with a
// closed pipe.
class OutputTrace final : public QObject
{
public:
    OutputTrace(int readEnd, const QString& number)
        : QObject(QCoreApplication::instance())
        , m_fd(readEnd)
        , m_command(QStringLiteral("the command for the call of %1").arg(number))
        , m_notifier(readEnd, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &OutputTrace::readSome);
    }
    ~OutputTrace() override
    {
        m_notifier.setEnabled(false);
        ::close(m_fd);
    }

private:
    void readSome()
    {
        char buffer[kReadSize];
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got <= 0) {
            if (!m_line.isEmpty() && m_lines < kTracedLines)
                traceLine();
            trace(QStringLiteral("%1 printed %2 bytes in all").arg(m_command).arg(m_total));
            m_notifier.setEnabled(false);
            deleteLater();
            return;
        }
        m_total += got;
        for (ssize_t i = 0; i < got && m_lines < kTracedLines; ++i) {
            if (buffer[i] == '\n')
                traceLine();
            else if (m_line.size() <= kTracedBytes)
                m_line.append(buffer[i]);
        }
    }
    void traceLine()
    {
        const QString line = QString::fromUtf8(m_line);
        trace(m_command + QStringLiteral(" printed: ") +
              (line.size() > kTracedChars ? line.left(kTracedChars) + u'…' : line));
        m_line.clear();
        ++m_lines;
    }
    static void trace(const QString& text) { qCDebug(lcChakushin).noquote() << text; }

    const int m_fd;
    const QString m_command;
    QSocketNotifier m_notifier;
    QByteArray m_line;
    int m_lines = 0;
    qint64 m_total = 0;
};
#endif

// `caller` is the number read by the numbering plan, once a word asks for one of its forms.
QString expanded(const QString& word, const QString& number, const QDateTime& calldate, const QString& name,
                 std::optional<CallerNumber>& caller)
{
    const auto read = [&]() -> const CallerNumber& {
        if (!caller)
            caller.emplace(number);
        return *caller;
    };
    QString result;
    result.reserve(word.size());
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar code = i + 1 < word.size() && word[i] == u'%' ? word[i + 1] : QChar();
        if (code == u'n')
            result += number;
        else if (code == u'h')
            result += read().written();
        else if (code == u'e')
            result += read().e164();
        else if (code == u'N')
            result += name;
        else if (code == u'd')
            result += calldate.toString(QStringLiteral("yyyy-MM-dd"));
        else if (code == u't')
            result += calldate.toString(QStringLiteral("HH:mm:ss"));
        else if (code == u'%')
            result += u'%';
        else {
            result += word[i];
            continue;
        }
        ++i;
    }
    return result;
}

} // namespace

std::optional<BrowserCommand> callCommand(const QString& line, const QString& number, const QDateTime& calldate,
                                          const QString& name)
{
    const std::optional<QStringList> words = splitCommandLine(line);
    if (!words || words->isEmpty())
        return std::nullopt;
    // The program itself is taken as typed: a number never chooses what runs.
    BrowserCommand command{words->first(), {}};
    std::optional<CallerNumber> caller;
    for (const QString& word : words->sliced(1))
        command.arguments.append(expanded(word, number, calldate, name, caller));
    return command;
}

QString runCallCommand(const QString& line, const QString& number, const QDateTime& calldate, CommandOutput output,
                       const QString& name)
{
    if (line.trimmed().isEmpty())
        return {};
    const std::optional<BrowserCommand> command = callCommand(line, number, calldate, name);
    if (!command)
        return QStringLiteral("the command line cannot be read (unbalanced quotes?): ") + line;
    ProcessOutput to{ProcessOutput::Kind::Discarded};
#ifdef Q_OS_UNIX
    int pipe[2] = {-1, -1};
    if (output == CommandOutput::FirstLinesTraced && QCoreApplication::instance() && ::pipe2(pipe, O_CLOEXEC) == 0) {
        // The write end stays blocking for the command; only this side never waits.
        ::fcntl(pipe[0], F_SETFL, ::fcntl(pipe[0], F_GETFL) | O_NONBLOCK);
        to = {ProcessOutput::Kind::ToFile, pipe[1]};
    }
#else
    Q_UNUSED(output); // no trace of a command's output on this platform
#endif
    const QString failure = startDetachedProcess(command->program, command->arguments, to);
    const bool started = failure.isEmpty();
#ifdef Q_OS_UNIX
    if (pipe[1] >= 0) {
        // From now on only the command holds the write end, so its end is the pipe's end.
        ::close(pipe[1]);
        if (started)
            new OutputTrace(pipe[0], number);
        else
            ::close(pipe[0]);
    }
#endif
    if (!started)
        return QStringLiteral("cannot start %1: %2").arg(command->program, failure);
    return {};
}
