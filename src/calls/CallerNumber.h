#pragma once

#include <QString>

#include <array>

/// What a caller's number is, by Japan's numbering plan.
enum class NumberKind
{
    Empty,         ///< nothing was sent
    Reason,        ///< a code saying why there is no number (`kNoNumberReasons`)
    Fixed,         ///< a fixed line with an area code
    Mobile,        ///< 060, 070, 080, 090
    Ip,            ///< 050
    FreeDial,      ///< 0120, 0800
    NaviDial,      ///< 0570
    Service,       ///< the other service numbers (0180, 0990, 020, ...)
    International, ///< a number abroad ("+", or 010 dialled from Japan)
    Unplaced,      ///< none of the above: too short, unassigned, or not a number at all
};

/// A code the line sends in place of the number, and what it means.
struct NoNumberReason
{
    char code;
    const char* text; ///< UTF-8
};
inline constexpr std::array<NoNumberReason, 4> kNoNumberReasons{{
    {'P', "非通知"},
    {'O', "表示圏外"},
    {'C', "公衆電話"},
    {'S', "サービス競合"},
}};

/// A caller's number as the adapter sent it, read for people: its kind, the digits to match
/// it by, and the form it is written in. Pure and without windows; the numbering plan is
/// libphonenumber's, with a small table of our own for the ranges newer than its copy.
///
/// What the adapter sent is never changed: the history, `{number}` and `%n` keep it. What
/// cannot be placed is written as sent, never with a digit dropped.
class CallerNumber
{
public:
    explicit CallerNumber(const QString& sent);

    /// The digits to match a number by, whatever its notation: ASCII digits only. Full-width
    /// digits become ASCII; hyphens, blanks, parentheses and anything else that is not a digit
    /// are dropped; "+81", "0081" and "010 81" become a leading 0 (unless that would begin
    /// 010, which no national number does), and another country's "+" becomes 010, as it is
    /// dialled from Japan. Two notations of one number give one form.
    static QString normalForm(const QString& text);
    /// What a person typed to search the history by number, in the form numbers are stored:
    /// the normal form when it holds a digit, else the text with full-width letters made
    /// ASCII and separators dropped (so that "P" still finds what was sent as "P").
    static QString searchFragment(const QString& typed);
    /// Whether `sent` is no number at all: empty, blank or a reason code. Cheap: it needs no
    /// numbering plan.
    static bool withoutNumber(const QString& sent);
    /// The reason `sent` is, if it is one of `kNoNumberReasons`' codes (blanks around it
    /// allowed); null otherwise.
    static const NoNumberReason* reasonOf(const QString& sent);
    /// `CallerNumber(sent).shown()`, for whoever needs a plain function.
    static QString shownOf(const QString& sent) { return CallerNumber(sent).shown(); }

    NumberKind kind() const { return m_kind; }
    const QString& sent() const { return m_sent; }
    const QString& normal() const { return m_normal; }
    /// Grouped as the numbering plan groups it ("03-1234-5678", "+1 212-555-1234"); what
    /// cannot be placed, a reason code among it, as sent (without blanks around it).
    const QString& written() const { return m_written; }
    /// "+81312345678"; empty for what cannot be placed.
    const QString& e164() const { return m_e164; }
    /// What people read: the written form, the reason's text (非通知, ...), or 「番号なし」.
    QString shown() const;

private:
    void place();
    void placeInternational();

    QString m_sent;
    QString m_written;
    const NoNumberReason* m_reason = nullptr;
    NumberKind m_kind = NumberKind::Unplaced;
    QString m_normal;
    QString m_e164;
};
