#pragma once

#include <QString>

/// Every modal message box of the program goes through this interface. The windows
/// provide the real one; tests script the answers and read the texts.
class MessageBoxes
{
public:
    enum class Icon
    {
        None,
        Information,
        Exclamation,
        Critical,
        Question
    };
    enum class Buttons
    {
        Ok,
        OkCancel,
        YesNo
    };
    enum class Answer
    {
        Ok,
        Cancel,
        Yes,
        No,
        Closed
    };

    virtual ~MessageBoxes() = default;

    /// Shows the box modally and returns the button the user chose (`Closed` when the box
    /// went away without one).
    virtual Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons) = 0;
};
