#include "phonebook/PhoneBookImport.h"

#include "calls/CallerNumber.h"
#include "phonebook/PhoneBookIndex.h"

#include <QHash>

#include <optional>

namespace {

/// Where an entry of the file goes: into `added` or into `merged`, at `index`.
struct Target
{
    bool added = false;
    std::size_t index = 0;
};

bool holdsNumber(const PhoneBookEntry& entry, const QString& number)
{
    const QString key = CallerNumber::normalForm(number);
    for (const QString& held : entry.numbers)
        if (key.isEmpty() ? held == number : CallerNumber::normalForm(held) == key)
            return true;
    return false;
}

/// What the file adds to an entry: numbers it lacks (as the file types them), the fields it
/// leaves empty, a note of its own on a line of its own, and the nuisance mark. The name is
/// the entry's own once it has one.
void mergeInto(PhoneBookEntry& into, const PhoneBookEntry& from)
{
    for (const QString& number : from.numbers)
        if (!holdsNumber(into, number))
            into.numbers << number;
    for (auto field : {&PhoneBookEntry::name, &PhoneBookEntry::reading, &PhoneBookEntry::company})
        if ((into.*field).isEmpty())
            into.*field = from.*field;
    // A note the entry already has as a line of its own is not written twice, so that
    // importing one file again changes nothing.
    if (into.note.isEmpty())
        into.note = from.note;
    else if (!from.note.isEmpty() && !QString(u'\n' + into.note + u'\n').contains(u'\n' + from.note + u'\n'))
        into.note += u'\n' + from.note;
    into.nuisance = into.nuisance || from.nuisance;
}

} // namespace

// An entry of the book that the file meets counts as merged even when the file brings
// nothing new to it: the report then tells how many entries of the file were already there.
ImportPlan planImport(const PhoneBookIndex& book, const PhoneBookFile& file)
{
    ImportPlan plan;
    plan.skipped = file.skipped;
    QHash<qint64, std::size_t> mergedById;
    // The numbers planned so far (normal form), so that two entries of the file with one
    // number become one, and a number a merge gave an entry of the book is found there.
    QHash<QString, Target> planned;
    for (const PhoneBookLine& line : file.entries) {
        std::optional<Target> target;
        for (const QString& number : line.entry.numbers) {
            if (const PhoneBookEntry* found = book.find(number)) {
                const auto at = mergedById.constFind(found->id);
                if (at != mergedById.cend()) {
                    target = Target{false, *at};
                } else {
                    mergedById.insert(found->id, plan.merged.size());
                    target = Target{false, plan.merged.size()};
                    plan.merged.push_back(*found);
                }
                break;
            }
            const auto at = planned.constFind(CallerNumber::normalForm(number));
            if (at != planned.cend()) {
                target = *at;
                break;
            }
        }
        if (!target) {
            target = Target{true, plan.added.size()};
            plan.added.push_back(PhoneBookEntry{});
        }
        PhoneBookEntry& into = target->added ? plan.added[target->index] : plan.merged[target->index];
        mergeInto(into, line.entry);
        for (const QString& number : line.entry.numbers)
            if (const QString key = CallerNumber::normalForm(number); !key.isEmpty())
                planned.insert(key, *target);
    }
    return plan;
}

QString importReport(const ImportPlan& plan)
{
    QStringList lines{QStringLiteral("追加 %1件、統合 %2件、スキップ %3件")
                          .arg(plan.added.size())
                          .arg(plan.merged.size())
                          .arg(plan.skipped.size())};
    for (const PhoneBookSkip& skip : plan.skipped)
        lines << QStringLiteral("%1行目: %2").arg(skip.line).arg(skip.why);
    return lines.join(u'\n');
}
