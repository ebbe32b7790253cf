#include "dialogs/QtFileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QRegularExpression>

namespace {

// On the heap and guarded: the asking window may be closed while the dialog runs its own
// event loop (at program exit every window is), taking its children with it.
std::optional<QString> ask(QFileDialog* made)
{
    QPointer<QFileDialog> dialog = made;
    const int result = dialog->exec();
    if (!dialog)
        return std::nullopt;
    const QStringList chosen = dialog->selectedFiles();
    delete dialog;
    if (result != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}

} // namespace

std::optional<QString> QtFileChooser::chooseFileToOpen(QWidget* parent)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("CommonDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    return ask(dialog);
}

std::optional<QString> QtFileChooser::chooseFileToSave(QWidget* parent, const QString& suggested)
{
    return chooseFileToSaveAs(parent, suggested, QStringLiteral("CSV (*.csv)"));
}

std::optional<QString> QtFileChooser::chooseFileToSaveAs(QWidget* parent, const QString& suggested,
                                                         const QString& filters)
{
    auto* dialog = new QFileDialog(parent, QString(), QDir::home().filePath(suggested), filters);
    dialog->setObjectName(QStringLiteral("SaveDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The suffix of the type chosen ("vcf" of "vCard (*.vcf)"), for a name typed without one.
    const auto suffixOf = [](const QString& filter) {
        const QRegularExpressionMatch found = QRegularExpression(QStringLiteral(R"(\*\.(\w+))")).match(filter);
        return found.hasMatch() ? found.captured(1) : QString();
    };
    dialog->setDefaultSuffix(suffixOf(filters.section(QStringLiteral(";;"), 0, 0)));
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog,
                     [dialog, suffixOf](const QString& filter) { dialog->setDefaultSuffix(suffixOf(filter)); });
    return ask(dialog);
}
