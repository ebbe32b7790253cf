// The real program asked the usual questions of a command-line user, without any display.

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct Answer
{
    int exitCode = -1;
    QString out;
    QString err;
};

Answer runWithoutDisplay(const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(CHAKUSHIN_EXECUTABLE), arguments);
    program.waitForFinished(10000);
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromLocal8Bit(program.readAllStandardOutput()),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

} // namespace

// --help and --version answer on standard output; a start that would need a window says in
// one line why it cannot, and a wrong option gets the usage on standard error.
TEST(ProgramCommandLine, AnswersWithoutADisplay)
{
    const Answer help = runWithoutDisplay({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.err.isEmpty()) << qPrintable(help.err);
    for (const char* option : {"--app-dir", "--create-history-db", "--autostart", "--help", "--version"}) {
        const QRegularExpression line(QStringLiteral("^  %1 .*\\S$").arg(QLatin1String(option)),
                                      QRegularExpression::MultilineOption);
        EXPECT_TRUE(line.match(help.out).hasMatch()) << option << " has no line in\n" << qPrintable(help.out);
    }

    const Answer version = runWithoutDisplay({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("chakushin " CHAKUSHIN_VERSION "\n"));

    for (const QStringList& start : {QStringList{}, QStringList{"--app-dir", "/nonexistent/desk"}}) {
        const Answer refused = runWithoutDisplay(start);
        EXPECT_EQ(refused.exitCode, 1) << qPrintable(start.join(' '));
        EXPECT_TRUE(refused.err.startsWith("chakushin: needs a desktop session")) << qPrintable(refused.err);
        EXPECT_EQ(refused.err.count(u'\n'), 1) << qPrintable(refused.err);
    }

    for (const QStringList& wrong : {QStringList{"--bogus"}, QStringList{"--help", "--autostart", "maybe"}}) {
        const Answer usage = runWithoutDisplay(wrong);
        EXPECT_EQ(usage.exitCode, 2) << qPrintable(wrong.join(' '));
        EXPECT_TRUE(usage.out.isEmpty());
        EXPECT_TRUE(usage.err.contains(help.out)) << qPrintable(usage.err);
    }
}
