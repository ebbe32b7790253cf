#include "phonebook/PhoneBookIndex.h"

#include "calls/CallerNumber.h"

#include <algorithm>

namespace {

// Katakana U+30A1..U+30F6 sit 0x60 above their hiragana.
constexpr char16_t kKatakanaFirst = 0x30A1;
constexpr char16_t kKatakanaLast = 0x30F6;
constexpr char16_t kKanaDistance = 0x60;

bool isKey(const QString& normalForm)
{
    return !normalForm.isEmpty();
}

} // namespace

PhoneBookIndex::PhoneBookIndex(std::vector<PhoneBookEntry> entries)
{
    m_entries.reserve(entries.size());
    m_byNumber.reserve(qsizetype(entries.size()));
    for (PhoneBookEntry& entry : entries)
        put(std::move(entry));
}

void PhoneBookIndex::put(PhoneBookEntry entry)
{
    remove(entry.id);
    QStringList text{folded(entry.name), folded(entry.reading), folded(entry.company), folded(entry.note)};
    QStringList digits;
    for (const QString& number : entry.numbers)
        digits << CallerNumber::normalForm(number);
    const qint64 id = entry.id;
    const auto [at, added] = m_entries.emplace(id, Held{std::move(entry), text.join(u'\n'), digits.join(u' ')});
    indexNumbers(at->second.entry);
}

void PhoneBookIndex::remove(qint64 id)
{
    const auto at = m_entries.find(id);
    if (at == m_entries.end())
        return;
    unindexNumbers(at->second.entry);
    m_entries.erase(at);
}

void PhoneBookIndex::indexNumbers(const PhoneBookEntry& entry)
{
    for (const QString& number : entry.numbers) {
        const QString key = CallerNumber::normalForm(number);
        if (!isKey(key))
            continue;
        std::vector<qint64>& ids = m_byNumber[key];
        // Kept in order, so that the first is the one found.
        const auto place = std::lower_bound(ids.begin(), ids.end(), entry.id);
        if (place == ids.end() || *place != entry.id)
            ids.insert(place, entry.id);
    }
}

void PhoneBookIndex::unindexNumbers(const PhoneBookEntry& entry)
{
    for (const QString& number : entry.numbers) {
        const auto at = m_byNumber.find(CallerNumber::normalForm(number));
        if (at == m_byNumber.end())
            continue;
        std::erase(at.value(), entry.id);
        if (at.value().empty())
            m_byNumber.erase(at);
    }
}

const PhoneBookEntry* PhoneBookIndex::find(const QString& number) const
{
    const QString key = CallerNumber::normalForm(number);
    if (!isKey(key))
        return nullptr;
    const auto at = m_byNumber.constFind(key);
    return at == m_byNumber.cend() ? nullptr : entry(at.value().front());
}

const PhoneBookEntry* PhoneBookIndex::entry(qint64 id) const
{
    const auto at = m_entries.find(id);
    return at == m_entries.end() ? nullptr : &at->second.entry;
}

QString PhoneBookIndex::folded(const QString& text)
{
    QString result = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar& c : result)
        if (c.unicode() >= kKatakanaFirst && c.unicode() <= kKatakanaLast)
            c = QChar(char16_t(c.unicode() - kKanaDistance));
    return result;
}

std::vector<const PhoneBookEntry*> PhoneBookIndex::search(const QString& text) const
{
    const QString wanted = folded(text.trimmed());
    // Digits are looked for in the numbers' normal forms, whatever notation either is in.
    const QString digits = CallerNumber::searchFragment(text.trimmed());
    const bool byNumber = !digits.isEmpty() && std::ranges::all_of(digits, [](QChar c) { return c.isDigit(); });
    std::vector<const PhoneBookEntry*> found;
    for (const auto& [id, held] : m_entries)
        if (wanted.isEmpty() || held.text.contains(wanted) || (byNumber && held.digits.contains(digits)))
            found.push_back(&held.entry);
    std::ranges::sort(found, [](const PhoneBookEntry* a, const PhoneBookEntry* b) {
        return std::tie(a->reading, a->name, a->id) < std::tie(b->reading, b->name, b->id);
    });
    return found;
}
