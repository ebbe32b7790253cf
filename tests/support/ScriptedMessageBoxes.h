#pragma once

#include "app/MessageBoxes.h"

#include <deque>
#include <functional>
#include <vector>

/// Message boxes for tests: records every box and answers from a script (Ok when the
/// script is empty). `whileOpen` runs as if the box were open, so a test can let events
/// arrive during a modal box.
class ScriptedMessageBoxes final : public MessageBoxes
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons) override;

    std::vector<Shown> shown;
    std::deque<Answer> answers;
    std::function<void(const Shown&)> whileOpen;
};
