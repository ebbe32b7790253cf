#pragma once

#include "app/MessageBoxes.h"
#include "history/DatabaseCallHistory.h"

/// The program's message boxes, each shown only once the calls read before it are durably in
/// the history's journal: a box may be the last thing before the program is killed, and
/// nothing it could show may be lost then.
class JournalFirstBoxes final : public MessageBoxes
{
public:
    explicit JournalFirstBoxes(MessageBoxes& boxes)
        : m_boxes(boxes)
    {}

    void setHistory(DatabaseCallHistory* history) { m_history = history; }

    Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons) override
    {
        if (m_history)
            m_history->awaitJournal();
        return m_boxes.show(text, title, icon, buttons);
    }

private:
    MessageBoxes& m_boxes;
    DatabaseCallHistory* m_history = nullptr;
};
