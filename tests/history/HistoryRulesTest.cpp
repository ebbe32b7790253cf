// The history window's rules without a window or a database: what a typed number fragment
// means, which days a period covers, and how a CSV field is written.

#include "history/HistoryCsv.h"
#include "history/HistoryFilter.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

// Typed as a person types a number: groups, blanks and widths do not matter.
TEST(HistoryRules, NumberFragment)
{
    // clang-format off
    const struct { const char* typed; const char* fragment; } rows[] = {
        {"03-1234-5678", "0312345678"}, {"０３－１２３４", "031234"}, {" 03 1234\t", "031234"},
        {"03　1234", "031234"}, {"03ー1234ｰ5", "0312345"}, {"03‐1234—5−6", "03123456"},
        {"+81 3", "+813"}, {"ＡＢ＃", "AB#"}, {"非通知", "非通知"}, {"", ""},
    };
    // clang-format on
    for (const auto& row : rows)
        EXPECT_EQ(numberFragment(QString::fromUtf8(row.typed)), QString::fromUtf8(row.fragment)) << row.typed;
}

// The days of each period, counted from a Wednesday and from the Sunday that starts a week.
TEST(HistoryRules, Periods)
{
    const QDate wednesday(2026, 12, 9);
    const QDate sunday(2026, 12, 6);
    using P = HistoryPeriod;
    const auto days = [](const HistoryFilter& f) {
        return std::pair{f.from, f.to};
    };
    // clang-format off
    const struct { P period; QDate today; std::optional<QDate> from, to; } rows[] = {
        {P::All, wednesday, {}, {}},
        {P::Today, wednesday, wednesday, wednesday},
        {P::Yesterday, QDate(2027, 1, 1), QDate(2026, 12, 31), QDate(2026, 12, 31)},
        {P::ThisWeek, wednesday, sunday, wednesday},
        {P::ThisWeek, sunday, sunday, sunday},
        {P::ThisMonth, wednesday, QDate(2026, 12, 1), wednesday},
    };
    // clang-format on
    for (const auto& row : rows)
        EXPECT_EQ(days(HistoryFilter::of("", row.period, row.today)), std::pair(row.from, row.to)) << int(row.period);

    // Two dates in either order, or one of them only.
    const QDate may(2026, 5, 1);
    EXPECT_EQ(days(HistoryFilter::of("", P::Between, wednesday, wednesday, may)),
              std::pair(std::optional(may), std::optional(wednesday)));
    EXPECT_EQ(days(HistoryFilter::of("", P::Between, wednesday, may, {})),
              std::pair(std::optional(may), std::optional<QDate>()));
    EXPECT_EQ(HistoryFilter::of("03-12", P::Today, wednesday, may, may).fragment, "0312");
}

// RFC 4180 quoting, and fields a spreadsheet would run as a formula made inert, full-width signs included.
TEST(HistoryRules, CsvFields)
{
    // clang-format off
    const struct { const char* value; const char* field; } fields[] = {
        {"0312345678", "0312345678"}, {"", ""}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""}, {"cr\r", "\"cr\r\""}, {" pad", "\" pad\""}, {"日時", "日時"},
    };
    const struct { const char* value; const char* cell; } cells[] = {
        {"0312345678", "0312345678"}, {"+81312345678", "+81312345678"}, {"-110", "-110"},
        {"=1+2", "'=1+2"}, {"+cmd|x", "'+cmd|x"}, {"-1+2", "'-1+2"}, {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "'\t=1"}, {"\r=1", "'\r=1"}, {"+", "'+"}, {"", ""},
        {"＝1+2", "'＝1+2"}, {"＋81312345678", "'＋81312345678"}, {"－1", "'－1"}, {"＠SUM(A1)", "'＠SUM(A1)"},
        {"2026-12-01 09:00:00", "2026-12-01 09:00:00"}, {"12", "12"}, {"日時", "日時"}, {"0=1", "0=1"},
    };
    // clang-format on
    for (const auto& row : fields)
        EXPECT_EQ(csvField(QString::fromUtf8(row.value)), QString::fromUtf8(row.field)) << row.value;
    for (const auto& row : cells)
        EXPECT_EQ(spreadsheetSafe(QString::fromUtf8(row.value)), QString::fromUtf8(row.cell)) << row.value;
}
