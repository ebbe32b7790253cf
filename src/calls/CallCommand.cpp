#include "calls/CallCommand.h"

#include <QProcess>

namespace {

QString expanded(const QString& word, const QString& number, const QDateTime& calldate)
{
    QString result;
    result.reserve(word.size());
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar code = i + 1 < word.size() && word[i] == u'%' ? word[i + 1] : QChar();
        if (code == u'n')
            result += number;
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

std::optional<BrowserCommand> callCommand(const QString& line, const QString& number, const QDateTime& calldate)
{
    const std::optional<QStringList> words = splitCommandLine(line);
    if (!words || words->isEmpty())
        return std::nullopt;
    // The program itself is taken as typed: a number never chooses what runs.
    BrowserCommand command{words->first(), {}};
    for (const QString& word : words->sliced(1))
        command.arguments.append(expanded(word, number, calldate));
    return command;
}

QString runCallCommand(const QString& line, const QString& number, const QDateTime& calldate)
{
    if (line.trimmed().isEmpty())
        return {};
    const std::optional<BrowserCommand> command = callCommand(line, number, calldate);
    if (!command)
        return QStringLiteral("the command line cannot be read (unbalanced quotes?): ") + line;
    QProcess process;
    process.setProgram(command->program);
    process.setArguments(command->arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return QStringLiteral("cannot start %1: %2").arg(command->program, process.errorString());
    return {};
}
