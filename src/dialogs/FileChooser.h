#pragma once

#include <QString>

#include <optional>

class QWidget;

/// The file-open dialog of the settings dialogs (`CommonDialog1`). The program shows the
/// platform's file dialog; tests choose a file or cancel from a script.
class FileChooser
{
public:
    virtual ~FileChooser() = default;

    /// Asks the user, modally over `parent`, for an existing file to open, with the dialog's
    /// options at their defaults: no file-type filter, no initial folder, no title. The
    /// chosen file's full path, or nothing when the user cancelled or the dialog failed.
    virtual std::optional<QString> chooseFileToOpen(QWidget* parent) = 0;
};
