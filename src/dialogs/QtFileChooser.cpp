#include "dialogs/QtFileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QPointer>

std::optional<QString> QtFileChooser::chooseFileToOpen(QWidget* parent)
{
    // On the heap and guarded: the asking window may be closed while the dialog runs its
    // own event loop (at program exit every window is), taking its children with it.
    QPointer<QFileDialog> dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("CommonDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    const int result = dialog->exec();
    if (!dialog)
        return std::nullopt;
    const QStringList chosen = dialog->selectedFiles();
    delete dialog;
    if (result != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}
