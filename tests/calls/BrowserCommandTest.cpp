#include "calls/BrowserCommand.h"

#include <gtest/gtest.h>

namespace {

// clang-format off
struct ExpansionCase { const char* line; const char* url; const char* program; QStringList arguments; }; // no program: unusable
// clang-format on

void expectCommand(const BrowserCommand& command, const ExpansionCase& c)
{
    if (!c.program) {
        EXPECT_TRUE(command.program.isEmpty());
        return;
    }
    EXPECT_EQ(command.program, QString::fromUtf8(c.program));
    EXPECT_EQ(command.arguments, c.arguments);
}

} // namespace

// Exec lines (string values unescaped): quoting, field codes for the URL, codes that vanish, URL appended otherwise.
TEST(BrowserCommand, ExecLines)
{
    const QString url = QStringLiteral("http://crm.example/find?tel=0312345678");
    // clang-format off
    const std::vector<ExpansionCase> cases = {
        {"firefox %u", "U", "firefox", {"U"}},
        {"firefox %U", "U", "firefox", {"U"}},
        {"firefox %f", "U", "firefox", {"U"}},
        {"firefox %F", "U", "firefox", {"U"}},
        {"firefox", "U", "firefox", {"U"}},
        {"firefox --new-window", "U", "firefox", {"--new-window", "U"}},
        {"firefox %i %c %k --name %% %u", "U", "firefox", {"--name", "%", "U"}},
        {"firefox --url=%u", "U", "firefox", {"--url=U"}},
        {"firefox %d %D %n %N %v %m", "U", "firefox", {"U"}},
        {R"("/opt/My Browser/run" --profile "a \"b\" \$c \`d\` e\\f" %u)", "U", "/opt/My Browser/run", {"--profile", R"(a "b" $c `d` e\f)", "U"}},
        {R"(run "" %u)", "U", "run", {"", "U"}},
        {"run   --a\t--b  %U  ", "U", "run", {"--a", "--b", "U"}},
        {"run 100%% %u", "U", "run", {"100%", "U"}},
        {"firefox %u", "", "firefox", {}},
        {"firefox", "", "firefox", {}},
        {"firefox --url=%u", "", "firefox", {"--url="}},
        {"firefox \"unbalanced %u", "U", nullptr, {}},
        {"", "U", nullptr, {}},
        {"%i %u", "U", nullptr, {}},
        {"%u firefox", "U", nullptr, {}},
        {"\"\" %u", "U", nullptr, {}},
    };
    // clang-format on
    for (const ExpansionCase& c : cases) {
        SCOPED_TRACE(c.line);
        expectCommand(commandFromExec(QString::fromUtf8(c.line), QString::fromUtf8(c.url)), c);
    }
    // The URL is inserted, never re-read: codes inside it stay as they are.
    const BrowserCommand command = commandFromExec(QStringLiteral("run %u"), url + QStringLiteral("%u%%"));
    EXPECT_EQ(command.arguments, QStringList{url + QStringLiteral("%u%%")});
}

// BROWSER entries: %s stands for the URL wherever it is, otherwise the URL comes last.
TEST(BrowserCommand, BrowserEntries)
{
    const std::vector<ExpansionCase> cases = {
        {"w3m", "U", "w3m", {"U"}},
        {"w3m %s", "U", "w3m", {"U"}},
        {"chromium --app=%s --incognito", "U", "chromium", {"--app=U", "--incognito"}},
        {"'/opt/x y/br' -n", "U", "/opt/x y/br", {"-n", "U"}},
        {"br %s", "", "br", {}},
        {"br 50%% %d", "U", "br", {"50%", "%d", "U"}},
        {"%s", "U", nullptr, {}},
    };
    for (const ExpansionCase& c : cases) {
        SCOPED_TRACE(c.line);
        expectCommand(commandFromBrowserEntry(QString::fromUtf8(c.line), QString::fromUtf8(c.url)), c);
    }
}

// Desktop value escapes come off before the Exec quoting: four backslashes in the file are one in a quoted argument.
TEST(BrowserCommand, DesktopValueEscapes)
{
    EXPECT_EQ(unescapeDesktopValue(QStringLiteral(R"(a\sb\tc\nd\re\\f\qg)")), QStringLiteral("a b\tc\nd\re\\f\\qg"));
    const QString exec = unescapeDesktopValue(QStringLiteral(R"(run "x\\\\y" %u)"));
    EXPECT_EQ(commandFromExec(exec, QStringLiteral("U")).arguments, (QStringList{QStringLiteral("x\\y"), "U"}));
}
