// The real program asked the usual questions of a command-line user, without any display.

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <tuple>

// --help and --version answer on standard output; a start that needs a window says in one
// line why it cannot, and a wrong option gets the usage on standard error.
TEST(ProgramCommandLine, AnswersWithoutADisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    const auto run = [&](const QStringList& arguments) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(CHAKUSHIN_EXECUTABLE), arguments);
        program.waitForFinished(10000);
        return std::tuple{program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                          QString::fromLocal8Bit(program.readAllStandardOutput()),
                          QString::fromLocal8Bit(program.readAllStandardError())};
    };
    const auto [helpExit, help, helpErr] = run({"--help"});
    EXPECT_EQ(helpExit, 0);
    EXPECT_EQ(helpErr, QString());
    for (const char* option : {"--app-dir", "--create-history-db", "--autostart", "--help", "--version"}) {
        const QRegularExpression line(QStringLiteral("^  %1 .*\\S$").arg(option), QRegularExpression::MultilineOption);
        EXPECT_TRUE(line.match(help).hasMatch()) << option << " has no line in\n" << qPrintable(help);
    }

    const QString noDesktop = QStringLiteral("chakushin: needs a desktop session");
    const QString wrong = QStringLiteral("chakushin: unknown or incomplete option: ");
    const struct
    {
        QStringList arguments;
        int exitCode;
        QString out, errStart;
        qsizetype errLines;
    } rows[] = {
        {{"--version"}, 0, "chakushin " CHAKUSHIN_VERSION "\n", {}, 0},
        {{}, 1, "", noDesktop, 1},
        {{"--app-dir", "/nonexistent/desk"}, 1, "", noDesktop, 1},
        {{"--bogus"}, 2, "", wrong + "--bogus\n" + help, help.count(u'\n') + 1},
        {{"--help", "--autostart", "maybe"}, 2, "", wrong + "--autostart\n" + help, help.count(u'\n') + 1},
    };
    for (const auto& row : rows) {
        const auto [exitCode, out, err] = run(row.arguments);
        SCOPED_TRACE(qPrintable(row.arguments.join(u' ') + u'\n' + err));
        EXPECT_EQ(exitCode, row.exitCode);
        EXPECT_EQ(out, row.out);
        EXPECT_TRUE(err.startsWith(row.errStart));
        EXPECT_EQ(err.count(u'\n'), row.errLines);
    }
}
