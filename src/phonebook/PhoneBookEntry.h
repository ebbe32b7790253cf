#pragma once

#include <QString>
#include <QStringList>

/// One entry of the office's phone book (電話帳).
struct PhoneBookEntry
{
    /// Its key in the table; 0 for an entry not stored yet.
    qint64 id = 0;
    /// 名前.
    QString name;
    /// よみ: the name's reading in kana, for sorting and search.
    QString reading;
    /// 会社・部署.
    QString company;
    /// The entry's numbers as they were typed, in any notation; one or more.
    QStringList numbers;
    QString note;
    /// 迷惑: a nuisance caller.
    bool nuisance = false;

    bool operator==(const PhoneBookEntry&) const = default;
};
