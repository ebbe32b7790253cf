#include "dialogs/PhoneBookWindow.h"

#include "app/MessageBoxes.h"
#include "dialogs/FileChooser.h"
#include "dialogs/PhoneBookEntryDialog.h"
#include "phonebook/PhoneBook.h"
#include "phonebook/PhoneBookFile.h"
#include "phonebook/PhoneBookImport.h"
#include "ui/JapaneseFont.h"
#include "ui/PhoneBookTableModel.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace {

const QString kTitle = QStringLiteral("電話帳");

QString count(std::size_t n)
{
    return QLocale(QLocale::Japanese, QLocale::Japan).toString(qulonglong(n)) + QStringLiteral("件");
}

} // namespace

PhoneBookWindow::PhoneBookWindow(PhoneBook& book, MessageBoxes& boxes, FileChooser& chooser, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_book(book)
    , m_boxes(boxes)
    , m_chooser(chooser)
{
    setObjectName(QStringLiteral("PhoneBookWindow"));
    setWindowTitle(kTitle);
    setFont(japaneseFont(kTextBoxPointSize));
    createControls();
    connect(&m_book, &PhoneBook::changed, this, &PhoneBookWindow::refresh);
    connect(&m_book, &PhoneBook::statusChanged, this, [this] {
        updateStatus();
        updateButtons();
    });
    refresh();
}

PhoneBookWindow::~PhoneBookWindow() = default;

void PhoneBookWindow::createControls()
{
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setPlaceholderText(QStringLiteral("名前・よみ・会社・メモ・電話番号"));
    txtSearch->setClearButtonEnabled(true);
    txtSearch->setMinimumWidth(txtSearch->fontMetrics().horizontalAdvance(QStringLiteral("名前・よみ・会社・メモ")) +
                               48);

    const auto button = [this](const char* name, const QString& text) {
        auto* made = new QPushButton(text, this);
        made->setObjectName(QLatin1String(name));
        made->setAutoDefault(false);
        return made;
    };
    cmdAdd = button("cmdAdd", QStringLiteral("追加…"));
    cmdEdit = button("cmdEdit", QStringLiteral("編集…"));
    cmdDelete = button("cmdDelete", QStringLiteral("削除"));
    cmdNuisance = button("cmdNuisance", QStringLiteral("迷惑電話にする"));
    // Wide enough for either text, so that the row does not move as the choice changes.
    cmdNuisance->setMinimumWidth(cmdNuisance->fontMetrics().horizontalAdvance(QStringLiteral("迷惑電話を解除")) + 32);
    cmdImport = button("cmdImport", QStringLiteral("読み込み…"));
    cmdExport = button("cmdExport", QStringLiteral("書き出し…"));

    m_model = new PhoneBookTableModel(this);
    lstEntries = new QTableView(this);
    lstEntries->setObjectName(QStringLiteral("lstEntries"));
    lstEntries->setModel(m_model);
    lstEntries->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstEntries->setSelectionMode(QAbstractItemView::SingleSelection);
    lstEntries->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstEntries->verticalHeader()->hide();
    lstEntries->verticalHeader()->setDefaultSectionSize(lstEntries->fontMetrics().height() + 6);
    lstEntries->horizontalHeader()->setStretchLastSection(true);
    const int wide = lstEntries->fontMetrics().horizontalAdvance(QStringLiteral("株式会社ながいなまえ")) + 24;
    lstEntries->setColumnWidth(PhoneBookTableModel::Name, wide);
    lstEntries->setColumnWidth(PhoneBookTableModel::Reading, wide);
    lstEntries->setColumnWidth(PhoneBookTableModel::Company, wide);
    lstEntries->setColumnWidth(PhoneBookTableModel::Numbers,
                               lstEntries->fontMetrics().horizontalAdvance(QStringLiteral("090-1234-5678")) + 24);
    lstEntries->installEventFilter(this);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);

    auto* controls = new QHBoxLayout;
    controls->addWidget(txtSearch, 1);
    for (QPushButton* each : {cmdAdd, cmdEdit, cmdDelete, cmdNuisance, cmdImport, cmdExport})
        controls->addWidget(each);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(lstEntries, 1);
    layout->addWidget(lblStatus);
    resize(960, 560);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        txtSearch->setFocus(Qt::ShortcutFocusReason);
        txtSearch->selectAll();
    });
    connect(txtSearch, &QLineEdit::textChanged, this, &PhoneBookWindow::refresh);
    connect(lstEntries->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &PhoneBookWindow::updateButtons);
    connect(lstEntries, &QTableView::doubleClicked, this, &PhoneBookWindow::editEntry);
    connect(cmdAdd, &QPushButton::clicked, this, &PhoneBookWindow::addEntry);
    connect(cmdEdit, &QPushButton::clicked, this, &PhoneBookWindow::editEntry);
    connect(cmdDelete, &QPushButton::clicked, this, &PhoneBookWindow::deleteEntry);
    connect(cmdNuisance, &QPushButton::clicked, this, &PhoneBookWindow::toggleNuisance);
    connect(cmdImport, &QPushButton::clicked, this, &PhoneBookWindow::importFile);
    connect(cmdExport, &QPushButton::clicked, this, &PhoneBookWindow::exportEntries);
}

const PhoneBookEntry* PhoneBookWindow::currentEntry() const
{
    const QModelIndex current = lstEntries->currentIndex();
    return current.isValid() ? &m_model->entry(current.row()) : nullptr;
}

void PhoneBookWindow::refresh()
{
    const PhoneBookEntry* chosen = currentEntry();
    const qint64 id = chosen ? chosen->id : 0;
    m_model->setEntries(m_book.index().search(txtSearch->text()));
    // An entry just added is chosen once the copy has it (the save may report before or after).
    if (m_model->rowOf(m_added) >= 0)
        select(std::exchange(m_added, 0));
    else
        select(id);
    updateButtons();
    updateStatus();
}

void PhoneBookWindow::select(qint64 id)
{
    if (const int row = id == 0 ? -1 : m_model->rowOf(id); row >= 0) {
        lstEntries->setCurrentIndex(m_model->index(row, 0));
        lstEntries->scrollTo(m_model->index(row, 0));
    }
}

void PhoneBookWindow::updateButtons()
{
    const PhoneBookEntry* chosen = currentEntry();
    const bool usable = m_book.status() != PhoneBook::Status::Off;
    cmdAdd->setEnabled(usable);
    cmdImport->setEnabled(usable && !m_importing);
    cmdEdit->setEnabled(usable && chosen);
    cmdDelete->setEnabled(usable && chosen);
    cmdNuisance->setEnabled(usable && chosen);
    cmdNuisance->setText(chosen && chosen->nuisance ? QStringLiteral("迷惑電話を解除")
                                                    : QStringLiteral("迷惑電話にする"));
}

void PhoneBookWindow::updateStatus()
{
    QString text;
    if (m_book.isLoaded()) {
        const std::size_t all = m_book.index().size();
        const auto shown = std::size_t(m_model->rowCount());
        text = txtSearch->text().trimmed().isEmpty() ? count(all)
                                                     : QStringLiteral("%1（全%2）").arg(count(shown), count(all));
    }
    const auto add = [&text](const QString& line) {
        text = text.isEmpty() ? line : text + QStringLiteral("　") + line;
    };
    switch (m_book.status()) {
    case PhoneBook::Status::Off:
        add(QStringLiteral("電話帳のデータベースがありません（URL設定の着信履歴）"));
        break;
    case PhoneBook::Status::Loading:
        add(QStringLiteral("読み込み中…"));
        break;
    case PhoneBook::Status::Away:
        add(QStringLiteral("データベースに接続できません。最後に読んだ内容を表示しています"));
        break;
    case PhoneBook::Status::Ready:
        break;
    }
    lblStatus->setText(text);
}

void PhoneBookWindow::showProblem(const QString& text)
{
    m_boxes.show(text, kTitle, MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
}

std::function<void(qint64, const QString&)> PhoneBookWindow::reportingFailure(const QString& what)
{
    return [window = QPointer(this), what](qint64, const QString& error) {
        if (window && !error.isEmpty())
            window->showProblem(QStringLiteral("%1できませんでした。\n%2").arg(what, error));
    };
}

void PhoneBookWindow::addEntry()
{
    PhoneBookEntryDialog* dialog = PhoneBookEntryDialog::showFor(m_book, m_boxes, PhoneBookEntry{}, this);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        m_added = dialog->savedId();
        if (m_model->rowOf(m_added) >= 0)
            select(std::exchange(m_added, 0));
    });
}

void PhoneBookWindow::editEntry()
{
    if (const PhoneBookEntry* chosen = currentEntry(); chosen && cmdEdit->isEnabled())
        PhoneBookEntryDialog::showFor(m_book, m_boxes, *chosen, this);
}

void PhoneBookWindow::deleteEntry()
{
    const PhoneBookEntry* chosen = currentEntry();
    if (!chosen || !cmdDelete->isEnabled())
        return;
    const qint64 id = chosen->id;
    const QString name = chosen->name.isEmpty() ? chosen->numbers.value(0) : chosen->name;
    if (m_boxes.show(QStringLiteral("「%1」を電話帳から削除しますか？").arg(name), kTitle, MessageBoxes::Icon::Question,
                     MessageBoxes::Buttons::YesNo) != MessageBoxes::Answer::Yes)
        return;
    m_book.remove(id, reportingFailure(QStringLiteral("削除")));
}

void PhoneBookWindow::toggleNuisance()
{
    if (const PhoneBookEntry* chosen = currentEntry(); chosen && cmdNuisance->isEnabled())
        m_book.setNuisance(chosen->id, !chosen->nuisance, reportingFailure(QStringLiteral("変更")));
}

void PhoneBookWindow::importFile()
{
    const std::optional<QString> path = m_chooser.chooseFileToOpen(this);
    if (!path)
        return;
    // A phone book file is small and local: read here, planned and stored on the book's thread.
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        showProblem(QStringLiteral("ファイルを読めません: %1\n%2").arg(*path, file.errorString()));
        return;
    }
    m_importing = true;
    cmdImport->setEnabled(false);
    m_book.import(readPhoneBookFile(file.readAll()),
                  [window = QPointer(this)](const ImportPlan& plan, const QString& error) {
                      if (!window)
                          return;
                      window->m_importing = false;
                      window->updateButtons();
                      if (!error.isEmpty())
                          window->showProblem(QStringLiteral("読み込めませんでした。\n%1").arg(error));
                      else
                          window->m_boxes.show(importReport(plan), kTitle, MessageBoxes::Icon::Information,
                                               MessageBoxes::Buttons::Ok);
                  });
}

void PhoneBookWindow::exportEntries()
{
    const QString suggested =
        QStringLiteral("電話帳-%1.csv").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    const std::optional<QString> path =
        m_chooser.chooseFileToSaveAs(this, suggested, QStringLiteral("CSV (*.csv);;vCard (*.vcf)"));
    if (!path)
        return;
    std::vector<PhoneBookEntry> entries;
    entries.reserve(std::size_t(m_model->rowCount()));
    for (int row = 0; row < m_model->rowCount(); ++row)
        entries.push_back(m_model->entry(row));
    const bool vCard = QFileInfo(*path).suffix().compare(QLatin1String("vcf"), Qt::CaseInsensitive) == 0;
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(vCard ? phoneBookVCard(entries) : phoneBookCsv(entries)) < 0 ||
        !file.commit()) {
        showProblem(QStringLiteral("書き出せませんでした: %1\n%2").arg(*path, file.errorString()));
        return;
    }
    lblStatus->setText(QStringLiteral("%1を書き出しました: %2").arg(count(entries.size()), *path));
}

bool PhoneBookWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstEntries && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            editEntry();
            return true;
        }
        if (key == Qt::Key_Delete) {
            deleteEntry();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
