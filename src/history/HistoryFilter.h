#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

/// The periods the history can be narrowed to, counted in local calendar days.
enum class HistoryPeriod
{
    All,
    Today,
    Yesterday,
    ThisWeek,  ///< from the week's first day (Sunday, as on a Japanese calendar) to today
    ThisMonth, ///< from the first of the month to today
    Between,   ///< two dates, both included
};

/// Which history rows are wanted: those whose number contains `fragment` (all when it is
/// empty; with the events table, a message's text or a person named in the call's events may
/// contain it too), whose day lies from `from` to `to`, both included (open where unset), and,
/// when `number` is set, whose number is exactly that (a reason code such as "P", or empty for
/// the calls that carried nothing).
struct HistoryFilter
{
    QString fragment{};
    std::optional<QDate> from{};
    std::optional<QDate> to{};
    std::optional<QString> number = {};
    /// With a `fragment`: rows whose stored name contains it match too, and so do those whose
    /// number is one of these (the numbers of the phone book's entries whose name or reading
    /// holds what was typed, as the history stores numbers).
    QStringList callerNumbers = {};
    /// Only the calls nobody has done anything with yet (未対応).
    bool openOnly = false;
    /// When set: only the calls with a message still open for this person.
    QString messagesFor = {};

    /// The filter for what a person typed into the search box and the period chosen;
    /// `first` and `last` are only read for `HistoryPeriod::Between` (either may be unset,
    /// and they may come in either order).
    static HistoryFilter of(const QString& typed, HistoryPeriod period, const QDate& today,
                            const std::optional<QDate>& first = {}, const std::optional<QDate>& last = {});

    bool operator==(const HistoryFilter&) const = default;
};

/// A number fragment as a person types it, in the form numbers are stored: full-width
/// digits and letters become ASCII; hyphens, dashes, the long-vowel mark and blanks of
/// either width are dropped. Anything else stays as typed.
QString numberFragment(const QString& typed);

/// A date written as YYYY-MM-DD; nothing for anything else.
std::optional<QDate> parseHistoryDate(const QString& text);
