#include "history/HistoryFilter.h"

#include <utility>

namespace {

// What people type between the groups of a number: ASCII and full-width hyphens, the
// dashes a Japanese input method offers for "-", and the long-vowel mark it gives for the
// key beside zero.
bool separatesGroups(QChar c)
{
    switch (c.unicode()) {
    case u'-':
    case u'\u2010': // hyphen
    case u'\u2011': // non-breaking hyphen
    case u'\u2012': // figure dash
    case u'\u2013': // en dash
    case u'\u2014': // em dash
    case u'\u2015': // horizontal bar
    case u'\u2212': // minus sign
    case u'\u30FC': // katakana long-vowel mark
    case u'\uFF0D': // full-width hyphen-minus
    case u'\uFF70': // half-width long-vowel mark
        return true;
    default:
        return c.isSpace();
    }
}

} // namespace

QString numberFragment(const QString& typed)
{
    // Compatibility composition maps the full-width forms (digits, letters, "＋", "＃") to
    // ASCII and leaves kana alone.
    const QString narrow = typed.normalized(QString::NormalizationForm_KC);
    QString fragment;
    fragment.reserve(narrow.size());
    for (const QChar c : narrow)
        if (!separatesGroups(c))
            fragment.append(c);
    return fragment;
}

HistoryFilter HistoryFilter::of(const QString& typed, HistoryPeriod period, const QDate& today,
                                const std::optional<QDate>& first, const std::optional<QDate>& last)
{
    HistoryFilter filter{numberFragment(typed), {}, {}};
    switch (period) {
    case HistoryPeriod::All:
        break;
    case HistoryPeriod::Today:
        filter.from = filter.to = today;
        break;
    case HistoryPeriod::Yesterday:
        filter.from = filter.to = today.addDays(-1);
        break;
    case HistoryPeriod::ThisWeek:
        // dayOfWeek: Monday 1 ... Sunday 7.
        filter.from = today.addDays(-(today.dayOfWeek() % 7));
        filter.to = today;
        break;
    case HistoryPeriod::ThisMonth:
        filter.from = QDate(today.year(), today.month(), 1);
        filter.to = today;
        break;
    case HistoryPeriod::Between:
        filter.from = first;
        filter.to = last;
        if (filter.from && filter.to && *filter.to < *filter.from)
            std::swap(filter.from, filter.to);
        break;
    }
    return filter;
}

std::optional<QDate> parseHistoryDate(const QString& text)
{
    const QDate date = QDate::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return std::nullopt;
    return date;
}
