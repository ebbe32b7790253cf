#pragma once

#include "phonebook/PhoneBookEntry.h"

#include <QHash>
#include <QString>

#include <unordered_map>
#include <vector>

/// The phone book in memory, each entry found by the normal form of any of its numbers
/// (`CallerNumber::normalForm`), so that a number typed in one notation is found from a call
/// in another. Two entries that share a number: the one stored first (the lower key) is
/// found. Not thread-safe: one thread builds it, one uses it.
class PhoneBookIndex
{
public:
    PhoneBookIndex() = default;
    explicit PhoneBookIndex(std::vector<PhoneBookEntry> entries);

    /// Adds the entry, or replaces the one with its key.
    void put(PhoneBookEntry entry);
    void remove(qint64 id);

    /// The entry whose numbers hold `number` in any notation; null when none does, or when
    /// `number` has no digits (a reason code, nothing).
    const PhoneBookEntry* find(const QString& number) const;
    const PhoneBookEntry* entry(qint64 id) const;
    /// The entries whose name, reading, company or note contains `text` (case and kana width
    /// ignored, hiragana and katakana alike), or one of whose numbers contains its digits;
    /// all for an empty text. Sorted by reading, then name, then key.
    std::vector<const PhoneBookEntry*> search(const QString& text) const;
    std::size_t size() const { return m_entries.size(); }

    /// Text folded for search: NFKC, lower case, katakana as hiragana.
    static QString folded(const QString& text);

private:
    void indexNumbers(const PhoneBookEntry& entry);
    void unindexNumbers(const PhoneBookEntry& entry);

    struct Held
    {
        PhoneBookEntry entry;
        /// The name, reading, company and note folded, one per line, and the numbers' normal
        /// forms, for search.
        QString text;
        QString digits;
    };

    std::unordered_map<qint64, Held> m_entries;
    /// Normal form to the keys of the entries holding it.
    QHash<QString, std::vector<qint64>> m_byNumber;
};
