// A caller's number as the line may send it, or a person type it: any text, read by the
// numbering plan. Checks that the normal form holds ASCII digits only, that the written form
// never drops a digit of what was placed, that what cannot be placed is shown as sent, and
// that the E.164 form is "+" and digits or nothing.

#include "calls/CallerNumber.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool digitsOnly(QStringView text)
{
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

QString digitsOf(const QString& text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString sent = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const CallerNumber number(sent);
    check(number.sent() == sent, "what was sent is kept");
    check(digitsOnly(number.normal()), "the normal form is ASCII digits");
    check(!number.shown().isEmpty(), "something is shown");
    const QString& e164 = number.e164();
    check(e164.isEmpty() || (e164.startsWith(u'+') && e164.size() > 1 && digitsOnly(QStringView(e164).sliced(1))),
          "E.164 is + and digits");
    switch (number.kind()) {
    case NumberKind::Empty:
    case NumberKind::Reason:
    case NumberKind::Unplaced:
        check(number.written() == sent.trimmed() && e164.isEmpty(), "what is not placed is written as sent");
        break;
    case NumberKind::International:
        check(digitsOf(number.written()) == number.normal().sliced(3), "no digit dropped abroad");
        break;
    default:
        check(digitsOf(number.written()) == number.normal(), "no digit dropped");
        check(e164 == u"+81" + number.normal().sliced(1), "E.164 of a national number");
        break;
    }
    check(CallerNumber::normalForm(number.written()) == number.normal() || number.kind() == NumberKind::Unplaced ||
              number.kind() == NumberKind::Reason,
          "the written form reads back to the same digits");
    return 0;
}
