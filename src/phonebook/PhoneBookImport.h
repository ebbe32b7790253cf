#pragma once

#include "phonebook/PhoneBookEntry.h"
#include "phonebook/PhoneBookFile.h"

#include <QString>

#include <vector>

class PhoneBookIndex;

/// What importing a file does to the phone book: the entries to add (key 0), those of the
/// book to change (their own key) because an entry of the file shares a number with them
/// (by normal form), and what of the file is left out, with its line.
struct ImportPlan
{
    std::vector<PhoneBookEntry> added;
    std::vector<PhoneBookEntry> merged;
    std::vector<PhoneBookSkip> skipped;
};

/// Plans the import of `file` into the phone book `book` holds now.
ImportPlan planImport(const PhoneBookIndex& book, const PhoneBookFile& file);

/// The report of an import, for people: how many entries were added, merged and skipped, and
/// the line of each skip with why.
QString importReport(const ImportPlan& plan);
