// The caller's number read for people, as each call reads it: its kind, its written and
// E.164 forms, and what the notification shows, from numbers of every kind in the notations
// a line or a person gives them. Beside it, its floor: the normal form alone (our own
// character work, without the numbering plan).

#include "Samples.h"
#include "TextTable.h"

#include "calls/CallerNumber.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>

#include <chrono>
#include <map>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultNumbers = 20000;
constexpr int kQuickNumbers = 2000;
constexpr int kWarmUp = 200;
constexpr auto kTarget = std::chrono::microseconds(20);

struct Sample
{
    QString group;
    QString sent;
};

QString digits(QRandomGenerator& random, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar(u'0' + random.bounded(10));
    return text;
}

// Numbers of every kind the unit tells apart, each group as often as the others.
std::vector<Sample> samples(int count)
{
    QRandomGenerator random(41);
    const QStringList areas = {"03", "06", "011", "042", "045", "092", "0422", "0476", "0123", "04992", "01267"};
    std::vector<Sample> all;
    for (int i = 0; i < count; ++i) {
        const QString local = QChar(u'2' + random.bounded(8));
        switch (i % 8) {
        case 0: {
            const QString area = areas.at(random.bounded(areas.size()));
            all.push_back({"fixed line", area + local + digits(random, 9 - area.size())});
            break;
        }
        case 1:
            all.push_back({"mobile (060 from the table)",
                           QStringList({"090", "080", "070", "060"}).at(random.bounded(4)) + digits(random, 8)});
            break;
        case 2:
            all.push_back(
                {"IP, free dial, navi dial", QStringList({"050" + digits(random, 8), "0120" + digits(random, 6),
                                                          "0800" + digits(random, 7), "0570" + digits(random, 6)})
                                                 .at(random.bounded(4))});
            break;
        case 3:
            all.push_back({"+81, hyphens, full-width",
                           QStringList({"+81 3 " + local + digits(random, 3) + " 5678",
                                        "03-" + local + digits(random, 3) + "-5678", "０３１２３４５６７８"})
                               .at(random.bounded(3))});
            break;
        case 4:
            all.push_back({"international", "+1212" + local + digits(random, 6)});
            break;
        case 5:
            all.push_back({"reason code, empty", QStringList({"P", "O", "C", "S", ""}).at(random.bounded(5))});
            break;
        case 6:
            all.push_back({"unplaced", QStringList({"110", "0312", "0910" + digits(random, 6)}).at(random.bounded(3))});
            break;
        default:
            all.push_back({"fixed line", "03" + local + digits(random, 7)});
            break;
        }
    }
    return all;
}

QString microseconds(std::chrono::nanoseconds value)
{
    return QString::number(double(value.count()) / 1000.0, 'f', 2);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The cost of reading a caller's number per call."));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"), QStringLiteral("Fewer numbers, for a check."));
    parser.addOption(quick);
    parser.process(app);
    const int count = parser.isSet(quick) ? kQuickNumbers : kDefaultNumbers;

    const std::vector<Sample> numbers = samples(count);
    // The numbering plan is loaded on first use, once per program: a start-up cost, not a call's.
    qsizetype sink = 0;
    for (int i = 0; i < kWarmUp; ++i)
        sink += CallerNumber(numbers[std::size_t(i) % numbers.size()].sent).shown().size();

    std::map<QString, Samples> byGroup;
    Samples all;
    Samples floor;
    for (const Sample& sample : numbers) {
        auto start = Clock::now();
        const CallerNumber number(sample.sent);
        sink += number.shown().size() + number.e164().size();
        const auto took = Clock::now() - start;
        all.add(took);
        byGroup[sample.group].add(took);
        start = Clock::now();
        sink += CallerNumber::normalForm(sample.sent).size();
        floor.add(Clock::now() - start);
    }

    TextTable table({QStringLiteral("numbers"), QStringLiteral("count"), QStringLiteral("p50 µs"),
                     QStringLiteral("p99 µs"), QStringLiteral("max µs")});
    const auto row = [&](const QString& name, const Samples& samples) {
        table.addRow({name, QString::number(samples.count()), microseconds(samples.p50()), microseconds(samples.p99()),
                      microseconds(samples.max())});
    };
    for (const auto& [group, samples] : byGroup)
        row(group, samples);
    row(QStringLiteral("all"), all);
    row(QStringLiteral("floor: the normal form alone"), floor);
    table.print(QStringLiteral("A caller's number read per call (kind, written and E.164 forms, what is shown)"));

    std::chrono::nanoseconds worst{0};
    QString worstGroup;
    for (const auto& [group, samples] : byGroup) {
        if (samples.p99() > worst) {
            worst = samples.p99();
            worstGroup = group;
        }
    }
    printLine(QStringLiteral("SUMMARY caller number: p99 %1 µs over %2 numbers (target %3 µs, %4), worst kind %5 "
                             "p99 %6 µs; floor (normal form alone) p99 %7 µs")
                  .arg(microseconds(all.p99()))
                  .arg(count)
                  .arg(kTarget.count())
                  .arg(all.p99() <= kTarget ? QStringLiteral("met") : QStringLiteral("MISSED"), worstGroup,
                       microseconds(worst), microseconds(floor.p99())));
    // What was read is kept, so that none of the reading can be left out.
    volatile qsizetype kept = sink;
    return kept < 0 ? 1 : 0;
}
