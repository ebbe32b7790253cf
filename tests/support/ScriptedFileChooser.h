#pragma once

#include "dialogs/FileChooser.h"

#include <deque>
#include <optional>

/// The file-open dialog for tests: answers from a script (cancelling when the script is
/// empty) and counts how often it was asked.
class ScriptedFileChooser final : public FileChooser
{
public:
    std::optional<QString> chooseFileToOpen(QWidget* parent) override
    {
        ++asked;
        lastParent = parent;
        if (answers.empty())
            return std::nullopt;
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    /// A path chooses that file; nothing cancels.
    std::deque<std::optional<QString>> answers;
    int asked = 0;
    QWidget* lastParent = nullptr;
};
