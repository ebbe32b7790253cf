#pragma once

#include "phonebook/PhoneBookEntry.h"

#include <QByteArray>
#include <QString>

#include <vector>

/// An entry read from a file, with the line of the file it begins on.
struct PhoneBookLine
{
    PhoneBookEntry entry;
    int line = 0;
};

/// A part of a file that gives no entry: the line it begins on, and why.
struct PhoneBookSkip
{
    int line = 0;
    QString why;

    bool operator==(const PhoneBookSkip&) const = default;
};

/// What a file holds: its entries in the order written, and what could not be read.
struct PhoneBookFile
{
    std::vector<PhoneBookLine> entries;
    std::vector<PhoneBookSkip> skipped;
};

/// Reads a phone book file's bytes: a vCard file (2.1, 3.0 or 4.0; one or more cards) or a
/// CSV file with a header row (UTF-8 with or without a BOM, or CP932), told apart by their
/// content.
PhoneBookFile readPhoneBookFile(const QByteArray& bytes);

/// The entries as CSV in UTF-8 with a BOM, with a header row that `readPhoneBookFile` reads.
QByteArray phoneBookCsv(const std::vector<PhoneBookEntry>& entries);
/// The entries as vCard 3.0, one card each.
QByteArray phoneBookVCard(const std::vector<PhoneBookEntry>& entries);
