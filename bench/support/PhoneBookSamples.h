#pragma once

#include "phonebook/PhoneBookEntry.h"

#include <QString>
#include <QStringList>

#include <vector>

/// An office phone book as people fill one: Japanese names with their readings, a company for
/// some, a note for a few, one to three numbers each in the notations people type (hyphens,
/// "+81", parentheses, full-width digits). The same `seed` gives the same book. No number is
/// held by two entries, and none begins "0300": that range is left to the benches' own
/// callers (`benchCallerNumber`). Entry i has key i + 1, as a fresh table numbers them.
std::vector<PhoneBookEntry> samplePhoneBook(int count, quint32 seed = 7);

/// `count` numbers, as a line sends them (digits only), that no entry of `book` holds.
QStringList unlistedNumbers(const std::vector<PhoneBookEntry>& book, int count, quint32 seed = 11);

/// Writes `entries` into the phone book table of the history `target` (a file or a
/// postgresql:// URI) in one transaction, after creating the table when `createTable`. Empty
/// on success, otherwise why not.
QString writePhoneBook(const QString& target, const std::vector<PhoneBookEntry>& entries, bool createTable);
