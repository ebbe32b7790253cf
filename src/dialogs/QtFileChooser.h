#pragma once

#include "dialogs/FileChooser.h"

/// The file-open dialog on QFileDialog. The dialog is a child of the window that asks, so
/// it stays above that window even when it is top-most, and is named `CommonDialog1`.
class QtFileChooser final : public FileChooser
{
public:
    std::optional<QString> chooseFileToOpen(QWidget* parent) override;
    std::optional<QString> chooseFileToSave(QWidget* parent, const QString& suggested) override;
    std::optional<QString> chooseFileToSaveAs(QWidget* parent, const QString& suggested,
                                              const QString& filters) override;
};
