#include "support/ScriptedMessageBoxes.h"

MessageBoxes::Answer ScriptedMessageBoxes::show(const QString& text, const QString& title, Icon icon, Buttons buttons)
{
    shown.push_back({text, title, icon, buttons});
    if (whileOpen)
        whileOpen(shown.back());
    if (answers.empty())
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}
