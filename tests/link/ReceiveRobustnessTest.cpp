#include "ReceiveRig.h"

#include "support/StateCodePrinter.h"
#include "support/TraceCapture.h"

#include <QUrl>

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Routine = ReceiveRig::Routine;

class LineMaker
{
public:
    explicit LineMaker(std::uint32_t seed)
        : m_random(seed)
    {}

    template<typename T> const T& pick(const std::vector<T>& from)
    {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(m_random)];
    }
    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    /// Often begins with the profile's own vocabulary, so that every rule is reached.
    QString line(const ReceiveRig& rig)
    {
        const AdapterProfile& p = rig.state.adapterProfile;
        const int query = rig.reply.ctiQueryIndex;
        const QString cti = query >= 1 && query <= 5 ? p.ctiInfo[static_cast<std::size_t>(query)] : QString();
        const std::vector<QString> starts = {p.ring, p.ok, cti, cti + p.rsp1_Both, cti + p.rsp2_on};
        return number(0, 2) == 0 ? pick(starts) + anyLine() : anyLine();
    }

    QString anyLine()
    {
        // clang-format off
        static const std::vector<QString> pieces = {
            "RING", "ring", "NMBR=", "CALL", "*CTI:", "#P1:", "#P2:", "ON", "OF", "0", "3", "0312345678", ";", "/", "+",
            ":", " ", QString(20, u' '), "T1STAT001", "CTI-INS100", "着信ソラノ", "𝄞", QString(QChar(0xD800)),
            QString(QChar(0)), "\r\n\t", "$(id)\"'`",
        };
        // clang-format on
        const int shape = number(0, 199);
        if (shape == 0)
            return QString(64 * 1024, QChar(u'0' + number(0, 9)));
        if (shape == 1)
            return pick(pieces) + QString(64 * 1024, u';');
        if (shape < 20)
            return QString(QChar(number(0, 0xFFFF)));
        QString line;
        const int count = number(0, 6);
        for (int i = 0; i < count; ++i)
            line += pick(pieces);
        // Give control-code frames a fair chance of the one length that counts.
        if (number(0, 3) == 0)
            line = QString(line + QString(29, u' ')).left(29);
        return line;
    }

    void randomiseProfile(ReceiveRig& rig)
    {
        SharedState& state = rig.state;
        // clang-format off
        static const std::vector<QString> rings = {"", "R", "RING", "ring", "NMBR=", "CALL"};
        static const std::vector<QString> oks = {"", "0", "R"};
        static const std::vector<QString> prefixes = {"", "*CTI:", "#P1:", "R", "0312345678"};
        static const std::vector<QString> vocabularies = {"1", "2", "", "x", "99999999999999999999"};
        static const std::vector<QString> switches = {"True", "true", ""};
        static const std::vector<std::int16_t> queries = {0, 1, 2, 3, 4, 5, 6, -1, 32767, -32768};
        static const std::vector<QString> models = {"", "CTI-INS100", "0"};
        // clang-format on

        AdapterProfile& p = state.adapterProfile;
        p.ring = pick(rings);
        p.ok = pick(oks);
        for (int i = 1; i <= 5; ++i)
            p.ctiInfo[static_cast<std::size_t>(i)] = pick(prefixes);
        p.getCtiCommand = pick(vocabularies);
        p.rsp1_Both = pick(oks);
        p.rsp2_on = QStringLiteral("ON");
        p.rsp2_off = pick(oks);
        rig.reply.ctiQueryIndex = pick(queries);
        state.urlSettings.browse = pick(switches);
        state.urlSettings.history = pick(switches);
        state.adapterModels[static_cast<std::size_t>(number(1, 5))] = pick(models);
    }

private:
    std::mt19937 m_random;
};

bool isActiveMode(RcvMode mode)
{
    return mode == RcvMode::Initial || mode == RcvMode::GetAInfo || mode == RcvMode::Idle;
}

} // namespace

// Random and extreme lines through every routine, mode and broken profile: no crash, flags only as the rules allow.
TEST(ReceiveRobustness, RandomLinesKeepInvariants)
{
    LineMaker maker(20240607u);
    ReceiveRig rig;
    TraceCapture trace;
    const std::vector<StateNumber> modes = {0, 1, 2, 3, 999, -1, 32767};
    const std::vector<Routine> routines = {Routine::Isdn, Routine::Analog, Routine::T1};
    const QStringList labels = {"rcvProcess:", "rcvProcessA:", "rcvProcessT1:"};

    // How often each kind of outcome occurred, so the run is known to reach every rule.
    int calls = 0, traps = 0, malformed = 0, replies = 0, watchdogAnswers = 0, ctiChanges = 0;

    for (int round = 0; round < 20000; ++round) {
        if (round % 50 == 0)
            maker.randomiseProfile(rig);
        rig.state.rcvMode = maker.pick(modes);
        if (maker.number(0, 9) == 0)
            rig.reply.status = ReplyStatus::Waiting;
        const Routine routine = maker.pick(routines);
        const QString line = maker.line(rig);
        SCOPED_TRACE(testing::Message() << "round " << round << " mode " << rig.state.rcvMode << " routine "
                                        << int(routine) << " line length " << line.size());

        const ReceiveRig::Flags before = rig.flags();
        rig.boxes.shown.clear();
        rig.log.events.clear();
        trace.lines.clear();
        rig.feed(routine, line);
        const ReceiveRig::Flags after = rig.flags();

        if (!isActiveMode(rig.state.rcvMode)) {
            ASSERT_EQ((std::tuple{after, rig.boxes.shown.size(), rig.log.events, trace.lines}),
                      std::tuple(before, 0u, QStringList(), QStringList()));
            continue;
        }

        ASSERT_TRUE(after.replyStatus == before.replyStatus || after.replyStatus == ReplyStatus::Handled ||
                    after.replyStatus == ReplyStatus::Malformed);
        replies += after.replyStatus == ReplyStatus::Handled;
        malformed += after.replyStatus == ReplyStatus::Malformed && before.replyStatus != ReplyStatus::Malformed;
        watchdogAnswers += after.watchAck != before.watchAck;
        ctiChanges += after.cti1 != before.cti1 || after.cti2 != before.cti2 || after.cti3 != before.cti3;
        calls += !rig.log.events.isEmpty();
        traps += !rig.boxes.shown.empty() && rig.boxes.shown[0].text.startsWith(labels.at(int(routine)));

        if (after.replyStatus != before.replyStatus) {
            ASSERT_NE(rig.state.rcvMode, RcvMode::Idle);
        }
        if (after.replyStatus == ReplyStatus::Malformed && before.replyStatus != ReplyStatus::Malformed) {
            ASSERT_EQ(rig.boxes.shown.size(), 1u);
            ASSERT_EQ(routine, Routine::Isdn);
            ASSERT_EQ(rig.boxes.shown[0].text, QString("CTI設定応答データが異常です"));
        }

        ASSERT_TRUE(after.watchAck == before.watchAck || after.watchAck == WatchAck::Answered ||
                    after.watchAck == WatchAck::Outstanding);
        if (after.watchAck != before.watchAck) {
            ASSERT_EQ(rig.state.rcvMode, RcvMode::Idle);
        }

        ASSERT_GE(after.detectedModelIndex, 0);
        ASSERT_LE(after.detectedModelIndex, 5);
        if (after.detectedModelIndex != before.detectedModelIndex) {
            ASSERT_EQ(after.detectedModel, rig.state.adapterModels[static_cast<std::size_t>(after.detectedModelIndex)]);
        }

        for (const auto& [was, is] : {std::pair(before.cti1, after.cti1), std::pair(before.cti2, after.cti2),
                                      std::pair(before.cti3, after.cti3)}) {
            ASSERT_TRUE(is == was || is == QLatin1String("0") || is == QLatin1String("1"));
            if (is != was) {
                ASSERT_EQ(routine, Routine::Isdn);
                ASSERT_EQ(rig.state.rcvMode, RcvMode::GetAInfo);
            }
        }

        for (const auto& box : rig.boxes.shown) {
            const bool known = box.text.startsWith(labels.at(int(routine))) ||
                               box.text == QString("CTI設定応答データが異常です") ||
                               box.text.startsWith(QString("電話番号を取り出すことができませんでした\r"));
            ASSERT_TRUE(known) << box.text.left(80).toStdString();
        }

        // Call actions only in standby, always led by the display, then browser, then history.
        if (!rig.log.events.isEmpty()) {
            ASSERT_EQ(rig.state.rcvMode, RcvMode::Idle);
            ASSERT_TRUE(rig.log.events.first().startsWith(QLatin1String("display:")));
            const QString number = rig.log.events.first().mid(8);
            QStringList expected = {rig.log.events.first()};
            if (!(routine == Routine::T1 && number.isEmpty())) {
                if (rig.state.urlSettings.browse == QLatin1String("True"))
                    expected.append(QLatin1String("browser:") + rig.state.urlSettings.path1 +
                                    QString::fromLatin1(QUrl::toPercentEncoding(number)));
                if (rig.state.urlSettings.history == QLatin1String("True"))
                    expected.append(QLatin1String("history:") + number);
            }
            ASSERT_EQ(rig.log.events, expected);
        }
    }

    EXPECT_GT(calls, 0);
    EXPECT_GT(traps, 0);
    EXPECT_GT(malformed, 0);
    EXPECT_GT(replies, 0);
    EXPECT_GT(watchdogAnswers, 0);
    EXPECT_GT(ctiChanges, 0);
}
