#include "calls/NumberExtraction.h"

namespace NumberExtraction {

namespace {

constexpr qsizetype kT1NumberStart = 9; // characters 1 to 9 are the frame's header
constexpr qsizetype kT1NumberLength = 20;

// Only the space character counts: the adapters pad the number field with spaces, and a
// tab or other blank in that field is part of what the adapter sent.
QString trimSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace

QString removeEvery(const QString& text, const QString& part)
{
    if (part.isEmpty())
        return text;
    QString rest = text;
    rest.remove(part, Qt::CaseSensitive);
    return rest;
}

std::optional<QString> isdnNumber(const QString& line, const QString& ring)
{
    QString rest = removeEvery(line, ring);
    rest.replace(u';', u' ');
    rest.replace(u'/', u' ');
    rest.replace(u'+', u' ');
    const qsizetype space = rest.indexOf(u' ');
    if (space < 0)
        return std::nullopt;
    return rest.left(space);
}

std::optional<QString> analogNumber(const QString& line, const QString& ring)
{
    const QString rest = removeEvery(line, ring);
    const qsizetype colon = rest.indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    return rest.left(colon);
}

QString t1Number(const QString& frame)
{
    return trimSpaces(frame.mid(kT1NumberStart, kT1NumberLength));
}

} // namespace NumberExtraction
