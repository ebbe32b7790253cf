#include "link/CtiCommands.h"

#include "app/SharedState.h"
#include "support/StateCodePrinter.h"

#include <gtest/gtest.h>

namespace {

// The shipped single-query profile's setting commands, with a third command for both ports.
AdapterProfile singleQueryProfile()
{
    AdapterProfile p;
    p.getCtiCommand = QStringLiteral("1");
    p.cti_both = {QString(), QStringLiteral("AT*CTI=3"), QStringLiteral("AT&W"), QStringLiteral("ATZ")};
    p.cti_p1 = {QString(), QStringLiteral("AT*CTI=1"), QStringLiteral("AT&W"), QString()};
    p.cti_p2 = {QString(), QStringLiteral("AT*CTI=2"), QString(), QStringLiteral("ignored")};
    p.cti_p3 = {QString(), QStringLiteral("AT*CTI=4"), QString(), QString()};
    p.cti_non = {QString(), QString(), QStringLiteral("AT&W"), QString()};
    return p;
}

AdapterProfile perPortProfile()
{
    AdapterProfile p;
    p.getCtiCommand = QStringLiteral("2");
    p.cti_p1[1] = QStringLiteral("AT#P1=");
    p.cti_p2[1] = QStringLiteral("AT#P2=");
    p.cti_p3[1] = QString();
    return p;
}

} // namespace

// getCtiCommand as a number: 1 is the single-query scheme, other numbers per-port, no number no scheme.
TEST(CtiScheme, FromGetCtiCommand)
{
    const std::pair<const char*, std::optional<CtiScheme>> rows[] = {
        {"1", CtiScheme::SingleQuery}, {" 1 ", CtiScheme::SingleQuery},
        {"2", CtiScheme::PerPort},     {"0", CtiScheme::PerPort},
        {"-1", CtiScheme::PerPort},    {"", std::nullopt},
        {"one", std::nullopt},         {"1a", std::nullopt},
    };
    for (const auto& [text, scheme] : rows) {
        AdapterProfile p;
        p.getCtiCommand = QString::fromUtf8(text);
        EXPECT_EQ(ctiScheme(p), scheme) << text;
    }
}

// Queries run to the first empty one, at most three per port or five single; query 1 always goes out.
TEST(CtiQueries, LastQuery)
{
    // clang-format off
    struct Row { std::array<const char*, 5> queries; int singleQuery; int perPort; };
    const Row rows[] = {
        {{"", "", "", "", ""}, 1, 1},       {{"Q1", "", "", "", ""}, 1, 1},         {{"Q1", "Q2", "", "Q4", ""}, 2, 2},
        {{"Q1", "Q2", "Q3", "", ""}, 3, 3}, {{"Q1", "Q2", "Q3", "Q4", "Q5"}, 5, 3}, {{"", "Q2", "Q3", "", ""}, 3, 3},
    };
    // clang-format on
    for (const Row& row : rows) {
        AdapterProfile p;
        for (std::size_t i = 0; i < row.queries.size(); ++i)
            p.getCtiInfo[i + 1] = QString::fromUtf8(row.queries[i]);
        SCOPED_TRACE(p.getCtiInfo[1].toStdString() + p.getCtiInfo[2].toStdString() + p.getCtiInfo[3].toStdString());
        EXPECT_EQ(lastCtiQuery(p, CtiScheme::SingleQuery), row.singleQuery);
        EXPECT_EQ(lastCtiQuery(p, CtiScheme::PerPort), row.perPort);
    }
}

// Single-query send: the group by ports 1 and 2 (3 ignored); command 1 always, 2 when set, 3 only after 2.
TEST(CtiSend, SingleQueryScheme)
{
    // clang-format off
    struct Row { std::array<bool, 3> notify; QStringList commands; std::array<const char*, 3> values; };
    const Row rows[] = {
        {{true, true, false}, {"AT*CTI=3", "AT&W", "ATZ"}, {"1", "1", "0"}},
        {{true, true, true}, {"AT*CTI=3", "AT&W", "ATZ"}, {"1", "1", "0"}},
        {{true, false, true}, {"AT*CTI=1", "AT&W"}, {"1", "0", "0"}},
        {{false, true, false}, {"AT*CTI=2"}, {"0", "1", "0"}},
        {{false, false, true}, {"", "AT&W"}, {"0", "0", "0"}},
    };
    // clang-format on
    const AdapterProfile p = singleQueryProfile();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.notify[0] << row.notify[1] << row.notify[2]);
        const CtiSend send = ctiSendFor(p, CtiScheme::SingleQuery, row.notify);
        EXPECT_EQ(send.commands, row.commands);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(send.values[i], QString::fromUtf8(row.values[i])) << i;
    }
}

// Per-port send: each port's first command with "1" or "0", ports 1 to 3, also one without a command.
TEST(CtiSend, PerPortScheme)
{
    const CtiSend send = ctiSendFor(perPortProfile(), CtiScheme::PerPort, {false, true, false});
    EXPECT_EQ(send.commands, QStringList({"AT#P1=0", "AT#P2=1", "0"}));
    EXPECT_EQ(send.values, (std::array<QString, 3>{"0", "1", "0"}));

    const CtiSend all = ctiSendFor(perPortProfile(), CtiScheme::PerPort, {true, true, true});
    EXPECT_EQ(all.commands, QStringList({"AT#P1=1", "AT#P2=1", "1"}));
    EXPECT_EQ(all.values, (std::array<QString, 3>{"1", "1", "1"}));
}

// The read-out's closing status.
TEST(CtiQueries, ReadOutCaption)
{
    EXPECT_EQ(ctiReadOutCaption(true, ReplyStatus::Handled), QStringLiteral("CTI設定検出完了"));
    EXPECT_EQ(ctiReadOutCaption(false, ReplyStatus::TimedOut), QStringLiteral("CTI設定検出タイムアウト"));
    for (ReplyStatus status : {ReplyStatus::Malformed, ReplyStatus::Waiting, ReplyStatus::Handled})
        EXPECT_EQ(ctiReadOutCaption(false, status), QStringLiteral("CTI設定検出エラー")) << status;
}
