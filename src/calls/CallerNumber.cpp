#include "calls/CallerNumber.h"

#include "history/HistoryFilter.h"

#include <phonenumbers/phonenumberutil.h>

#include <initializer_list>
#include <string>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

constexpr char kJapan[] = "81";
// Dialled from Japan before another country's code.
constexpr char kInternationalPrefix[] = "010";
// A national significant number longer than this is no number of any plan (E.164 allows 15
// digits in all), and it would not fit the library's 64-bit field.
constexpr qsizetype kLongestNationalNumber = 17;

// What the library's copy of the plan does not know yet, or knows only in part: each row a
// leading part and a length of the national number (with its 0), what such a number is, and
// its groups. Read only for numbers the library cannot place.
struct PlanRow
{
    const char* prefix;
    qsizetype length;
    NumberKind kind;
    std::initializer_list<int> groups;
};
// clang-format off
const PlanRow kNewerPlan[] = {
    {"060", 11, NumberKind::Mobile, {3, 4, 4}},
    {"070", 11, NumberKind::Mobile, {3, 4, 4}},
    {"080", 11, NumberKind::Mobile, {3, 4, 4}},
    {"090", 11, NumberKind::Mobile, {3, 4, 4}},
    {"050", 11, NumberKind::Ip, {3, 4, 4}},
    {"020", 11, NumberKind::Service, {3, 4, 4}},
    {"0120", 10, NumberKind::FreeDial, {4, 3, 3}},
    {"0800", 11, NumberKind::FreeDial, {4, 3, 4}},
    {"0570", 10, NumberKind::NaviDial, {4, 3, 3}},
    {"0180", 10, NumberKind::Service, {4, 2, 4}},
    {"0990", 10, NumberKind::Service, {4, 3, 3}},
};
// clang-format on

NumberKind kindOf(PhoneNumberUtil::PhoneNumberType type)
{
    switch (type) {
    case PhoneNumberUtil::FIXED_LINE:
    case PhoneNumberUtil::FIXED_LINE_OR_MOBILE:
        return NumberKind::Fixed;
    case PhoneNumberUtil::MOBILE:
        return NumberKind::Mobile;
    case PhoneNumberUtil::VOIP:
        return NumberKind::Ip;
    case PhoneNumberUtil::TOLL_FREE:
        return NumberKind::FreeDial;
    case PhoneNumberUtil::UAN:
        return NumberKind::NaviDial;
    case PhoneNumberUtil::PREMIUM_RATE:
    case PhoneNumberUtil::SHARED_COST:
    case PhoneNumberUtil::PERSONAL_NUMBER:
    case PhoneNumberUtil::PAGER:
    case PhoneNumberUtil::VOICEMAIL:
        return NumberKind::Service;
    case PhoneNumberUtil::UNKNOWN:
        break;
    }
    return NumberKind::Unplaced;
}

QString digitsOf(const QString& text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

// The library's text, if it holds exactly the digits it was given.
bool keepsDigits(const std::string& formatted, const QString& digits)
{
    return digitsOf(QString::fromStdString(formatted)) == digits;
}

QString grouped(const QString& digits, std::initializer_list<int> groups)
{
    QString text;
    qsizetype at = 0;
    for (const int size : groups) {
        if (!text.isEmpty())
            text += u'-';
        text += QStringView(digits).sliced(at, size);
        at += size;
    }
    return text;
}

} // namespace

CallerNumber::CallerNumber(const QString& sent)
    : m_sent(sent)
    , m_written(sent.trimmed())
    , m_reason(reasonOf(sent))
{
    if (m_reason)
        m_kind = NumberKind::Reason;
    else if (m_written.isEmpty())
        m_kind = NumberKind::Empty;
    else {
        m_normal = normalForm(sent);
        place();
    }
}

QString CallerNumber::normalForm(const QString& text)
{
    QString digits;
    digits.reserve(text.size());
    bool plus = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            digits += c;
        else if (u >= u'０' && u <= u'９')
            digits += QChar(u'0' + (u - u'０'));
        else if ((u == u'+' || u == u'＋') && digits.isEmpty())
            plus = true;
    }
    // Japan's own country code, however it was dialled: the national number with its 0 (which
    // "+81 (0)3 ..." writes already). No national number begins with 010, the prefix for abroad:
    // what would is left as it is.
    for (const QLatin1String prefix : {QLatin1String("81"), QLatin1String("0081"), QLatin1String("01081")}) {
        if ((plus == (prefix.size() == 2)) && digits.startsWith(prefix)) {
            const QString rest = digits.sliced(prefix.size());
            const QString national = rest.startsWith(u'0') ? rest : u'0' + rest;
            if (!national.startsWith(QLatin1String(kInternationalPrefix)))
                return national;
            break;
        }
    }
    return plus ? QLatin1String(kInternationalPrefix) + digits : digits;
}

QString CallerNumber::searchFragment(const QString& typed)
{
    const QString normal = normalForm(typed);
    return normal.isEmpty() ? numberFragment(typed) : normal;
}

const NoNumberReason* CallerNumber::reasonOf(const QString& sent)
{
    const QString code = sent.trimmed();
    if (code.size() != 1)
        return nullptr;
    for (const NoNumberReason& reason : kNoNumberReasons)
        if (code.front() == QLatin1Char(reason.code))
            return &reason;
    return nullptr;
}

bool CallerNumber::withoutNumber(const QString& sent)
{
    return sent.trimmed().isEmpty() || reasonOf(sent);
}

QString CallerNumber::shown() const
{
    switch (m_kind) {
    case NumberKind::Empty:
        return QStringLiteral("番号なし");
    case NumberKind::Reason:
        return QString::fromUtf8(m_reason->text);
    default:
        return m_written;
    }
}

void CallerNumber::place()
{
    if (m_normal.startsWith(QLatin1String(kInternationalPrefix)) && m_normal.size() > 3)
        return placeInternational();
    // A national number: one 0, then the national significant number.
    if (m_normal.size() < 3 || m_normal[0] != u'0' || m_normal[1] == u'0' ||
        m_normal.size() - 1 > kLongestNationalNumber)
        return;

    const PhoneNumberUtil& plan = *PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    number.set_country_code(81);
    number.set_national_number(m_normal.sliced(1).toULongLong());
    m_kind = kindOf(plan.GetNumberType(number));
    if (m_kind != NumberKind::Unplaced) {
        std::string formatted;
        plan.Format(number, PhoneNumberUtil::NATIONAL, &formatted);
        if (keepsDigits(formatted, m_normal))
            m_written = QString::fromStdString(formatted);
    } else {
        for (const PlanRow& row : kNewerPlan) {
            if (m_normal.size() == row.length && m_normal.startsWith(QLatin1String(row.prefix))) {
                m_kind = row.kind;
                m_written = grouped(m_normal, row.groups);
                break;
            }
        }
    }
    if (m_kind != NumberKind::Unplaced)
        m_e164 = u'+' + QLatin1String(kJapan) + m_normal.sliced(1);
}

void CallerNumber::placeInternational()
{
    m_kind = NumberKind::International;
    const QString digits = m_normal.sliced(3);
    m_e164 = u'+' + digits;
    m_written = m_e164;
    const PhoneNumberUtil& plan = *PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    if (plan.Parse(m_e164.toStdString(), "ZZ", &number) != PhoneNumberUtil::NO_PARSING_ERROR)
        return;
    std::string formatted;
    plan.Format(number, PhoneNumberUtil::INTERNATIONAL, &formatted);
    if (keepsDigits(formatted, digits))
        m_written = QString::fromStdString(formatted);
}
