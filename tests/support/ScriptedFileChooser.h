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
        // Taken apart rather than copied: GCC's -O2 flow analysis reports a copied
        // optional<QString> as maybe uninitialised.
        const bool chosen = answers.front().has_value();
        const QString path = answers.front().value_or(QString());
        answers.pop_front();
        if (!chosen)
            return std::nullopt;
        return path;
    }

    /// Saves where the script says: a path, or nothing (cancel) when it is empty.
    std::optional<QString> chooseFileToSave(QWidget* parent, const QString& suggested) override
    {
        lastParent = parent;
        lastSuggested = suggested;
        if (saveAnswers.empty())
            return std::nullopt;
        const QString path = saveAnswers.front();
        saveAnswers.pop_front();
        return path;
    }

    /// A path chooses that file; nothing cancels.
    std::deque<std::optional<QString>> answers;
    std::deque<QString> saveAnswers;
    QString lastSuggested;
    int asked = 0;
    QWidget* lastParent = nullptr;
};
