#include "link/TerminalText.h"

#include <algorithm>

QString appendToTerminalText(const QString& box, const QString& text)
{
    QString result = box;
    if (result.size() > kTerminalLimit)
        result.remove(0, kTerminalTrim);

    constexpr QChar kBackspace(8);
    QString added = text;
    qsizetype boxDeletions = 0;
    qsizetype i = 0;
    while ((i = added.indexOf(kBackspace, i)) >= 0) {
        if (i == 0) {
            added.remove(0, 1);
            ++boxDeletions;
        } else {
            added.remove(i - 1, 2);
            // The character now at i - 1 may be the next backspace of a run ("ab\b\b").
            --i;
        }
    }
    result.chop(std::min(boxDeletions, result.size()));
    return result + added;
}
