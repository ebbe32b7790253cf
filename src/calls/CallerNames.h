#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// Who a caller is, as the office's phone book knows the number.
struct Caller
{
    /// Whether the phone book has the number; the rest is empty when it does not.
    bool listed = false;
    QString name;
    /// 会社・部署.
    QString company;
    /// Marked as a nuisance caller (迷惑電話).
    bool nuisance = false;

    /// What people read for the caller: the name, or 「未登録」 for a number the book lacks.
    QString shownName() const { return listed ? name : QStringLiteral("未登録"); }
    /// What people are told of the caller, a line each: 「迷惑電話」 for a nuisance, the shown
    /// name, and the company when there is one.
    QStringList lines() const
    {
        QStringList told;
        if (nuisance)
            told << QStringLiteral("迷惑電話");
        told << shownName();
        if (!company.isEmpty())
            told << company;
        return told;
    }

    bool operator==(const Caller&) const = default;
};

/// Looks a caller's number up, in memory: no database is asked during a call.
class CallerNames
{
public:
    virtual ~CallerNames() = default;
    /// `number` as the adapter sent it, in any notation. Nothing while there is no phone book
    /// to ask (none set up, or none read yet): the caller is then shown without a name.
    virtual std::optional<Caller> callerOf(const QString& number) const = 0;
};
