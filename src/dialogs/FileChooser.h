#pragma once

#include <QString>

#include <optional>

class QWidget;

/// The file dialogs: the settings dialogs' and the phone book's file-open dialog
/// (`CommonDialog1`) and the history's and the phone book's save dialog. The program shows the
/// platform's file dialog; tests choose a file or cancel from a script.
class FileChooser
{
public:
    virtual ~FileChooser() = default;

    /// Asks the user, modally over `parent`, for an existing file to open, with the dialog's
    /// options at their defaults: no file-type filter, no initial folder, no title. The
    /// chosen file's full path, or nothing when the user cancelled or the dialog failed.
    virtual std::optional<QString> chooseFileToOpen(QWidget* parent) = 0;
    /// Asks, modally over `parent`, where to save a new file, starting from `suggested` (a
    /// file name, in the home folder). The full path, or nothing when the user cancelled.
    virtual std::optional<QString> chooseFileToSave(QWidget* parent, const QString& suggested) = 0;
    /// The same, offering the file types of `filters` (";;" between them, as QFileDialog takes
    /// them) where the other offers CSV only; a name typed without a suffix gets the chosen
    /// type's. A chooser that cannot offer types asks as `chooseFileToSave` does.
    virtual std::optional<QString> chooseFileToSaveAs(QWidget* parent, const QString& suggested, const QString& filters)
    {
        Q_UNUSED(filters);
        return chooseFileToSave(parent, suggested);
    }
};
