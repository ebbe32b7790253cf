#pragma once

#include "app/MessageBoxes.h"

#include <QStringList>

/// Nobody is there to answer: every box is answered OK and remembered, since any message
/// during a benchmark means a call went wrong.
class BenchMessageBoxes final : public MessageBoxes
{
public:
    Answer show(const QString& text, const QString& title, Icon, Buttons) override
    {
        shown << title + QStringLiteral(": ") + text;
        return Answer::Ok;
    }

    QStringList shown;
};
