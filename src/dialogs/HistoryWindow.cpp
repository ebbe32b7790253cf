#include "dialogs/HistoryWindow.h"

#include "app/MessageBoxes.h"
#include "app/SharedState.h"
#include "calls/BrowserLauncher.h"
#include "calls/CallerNumber.h"
#include "calls/CallerPage.h"
#include "dialogs/FileChooser.h"
#include "dialogs/LeaveMessageDialog.h"
#include "dialogs/PhoneBookEntryDialog.h"
#include "history/HistoryDatabase.h"
#include "history/PostgresUri.h"
#include "phonebook/PhoneBook.h"
#include "ui/HistoryTableModel.h"
#include "ui/JapaneseFont.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

// The entries of cboProgress.
enum ProgressChoice
{
    AllCalls,
    OpenCalls,
    MessagesForMe,
};

} // namespace

HistoryWindow::HistoryWindow(const SharedState& state, BrowserLauncher& launcher, FileChooser& fileChooser,
                             QWidget* parent, PhoneBook* book, MessageBoxes* boxes)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_launcher(launcher)
    , m_fileChooser(fileChooser)
    , m_book(book && boxes ? book : nullptr)
    , m_boxes(boxes)
    , m_browser(state.urlSettings.path3)
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("着信履歴"));
    setFont(japaneseFont(kTextBoxPointSize));
    createControls();

    connect(&m_browser, &HistoryBrowser::unreachable, this, [this] {
        lblStatus->setText(m_browser.target().isEmpty()
                               ? QStringLiteral("着信履歴のデータベースが設定されていません（URL設定）。")
                               : QStringLiteral("着信履歴を読めません（%1）。接続し直しています…")
                                     .arg(withoutPassword(m_browser.target())));
    });
    connect(&m_browser, &HistoryBrowser::reachable, lblStatus, &QLabel::clear);
    connect(&m_browser, &HistoryBrowser::exported, this, [this](const QString& path, const HistoryExport& result) {
        cmdExport->setEnabled(true);
        lblStatus->setText(result.ok ? QStringLiteral("%1件を書き出しました: %2").arg(result.rows).arg(path)
                                     : QStringLiteral("書き出せませんでした: %1").arg(result.error));
    });
    if (m_book)
        connect(m_book, &PhoneBook::changed, this, [this] {
            updateBookActions();
            // The names typed may now be other numbers' (the rows' own names show as the model draws them).
            if (!(filter() == m_browser.filter()))
                search();
        });
    search();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::createControls()
{
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setClearButtonEnabled(true);
    txtSearch->setMinimumWidth(txtSearch->fontMetrics().horizontalAdvance(QStringLiteral("+81 3 1234 5678")) + 48);

    cboReason = new QComboBox(this);
    cboReason->setObjectName(QStringLiteral("cboReason"));
    cboReason->addItem(QStringLiteral("すべての着信"));
    for (const NoNumberReason& reason : kNoNumberReasons)
        cboReason->addItem(QString::fromUtf8(reason.text), QString(QLatin1Char(reason.code)));
    cboReason->addItem(QStringLiteral("番号なし"), QStringLiteral(""));

    cboProgress = new QComboBox(this);
    cboProgress->setObjectName(QStringLiteral("cboProgress"));
    cboProgress->addItems({QStringLiteral("すべて"), QStringLiteral("未対応"), QStringLiteral("自分宛ての伝言")});
    cboProgress->setToolTip(QStringLiteral("対応の状態で絞り込む"));
    cboProgress->setVisible(false);

    cboPeriod = new QComboBox(this);
    cboPeriod->setObjectName(QStringLiteral("cboPeriod"));
    cboPeriod->addItems({QStringLiteral("すべて"), QStringLiteral("今日"), QStringLiteral("昨日"),
                         QStringLiteral("今週"), QStringLiteral("今月"), QStringLiteral("期間指定")});

    const auto dateEdit = [this](const char* name) {
        auto* edit = new QDateEdit(QDate::currentDate(), this);
        edit->setObjectName(QLatin1String(name));
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-31")) + 48);
        return edit;
    };
    dtFrom = dateEdit("dtFrom");
    dtTo = dateEdit("dtTo");

    cmdExport = new QPushButton(QStringLiteral("CSVに書き出す"), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    cmdExport->setAutoDefault(false);

    m_model = new HistoryTableModel(m_browser, this);
    m_model->setPhoneBook(m_book);
    lstHistory = new QTableView(this);
    lstHistory->setObjectName(QStringLiteral("lstHistory"));
    lstHistory->setModel(m_model);
    lstHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    lstHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstHistory->verticalHeader()->hide();
    lstHistory->verticalHeader()->setDefaultSectionSize(lstHistory->fontMetrics().height() + 6);
    lstHistory->horizontalHeader()->setSectionResizeMode(HistoryTableModel::Name, QHeaderView::Stretch);
    lstHistory->setColumnWidth(HistoryTableModel::Number,
                               lstHistory->fontMetrics().horizontalAdvance(QStringLiteral("+81 3 1234 5678")) + 24);
    lstHistory->setColumnWidth(HistoryTableModel::DateTime,
                               lstHistory->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-31 23:59:59")) + 24);
    lstHistory->setColumnWidth(HistoryTableModel::Calls,
                               lstHistory->fontMetrics().horizontalAdvance(QStringLiteral("着信回数")) + 24);
    lstHistory->installEventFilter(this);

    auto* openAction = new QAction(QStringLiteral("ページを開く"), lstHistory);
    openAction->setObjectName(QStringLiteral("mnuOpenPage"));
    auto* copyAction = new QAction(QStringLiteral("番号をコピー"), lstHistory);
    copyAction->setObjectName(QStringLiteral("mnuCopyNumber"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lstHistory->addActions({openAction, copyAction});
    if (m_book) {
        auto* separator = new QAction(lstHistory);
        separator->setSeparator(true);
        mnuPhoneBook = new QAction(QStringLiteral("電話帳に登録"), lstHistory);
        mnuPhoneBook->setObjectName(QStringLiteral("mnuPhoneBook"));
        mnuNuisance = new QAction(QStringLiteral("迷惑電話にする"), lstHistory);
        mnuNuisance->setObjectName(QStringLiteral("mnuNuisance"));
        lstHistory->addActions({separator, mnuPhoneBook, mnuNuisance});
        connect(mnuPhoneBook, &QAction::triggered, this, [this] { registerCaller(currentRow()); });
        connect(mnuNuisance, &QAction::triggered, this, [this] { toggleNuisance(currentRow()); });
        connect(lstHistory->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                &HistoryWindow::updateBookActions);
        connect(m_model, &QAbstractItemModel::modelReset, this, &HistoryWindow::updateBookActions);
        connect(m_model, &QAbstractItemModel::rowsInserted, this, &HistoryWindow::updateBookActions);
        updateBookActions();
    }
    m_eventsSeparator = new QAction(lstHistory);
    m_eventsSeparator->setSeparator(true);
    const auto eventAction = [this](const char* name, const QString& text) {
        auto* action = new QAction(text, lstHistory);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    mnuClaim = eventAction("mnuClaim", QStringLiteral("対応します"));
    mnuLeaveMessage = eventAction("mnuLeaveMessage", QStringLiteral("伝言を残す…"));
    mnuCalledBack = eventAction("mnuCalledBack", QStringLiteral("折り返し済みにする"));
    mnuDone = eventAction("mnuDone", QStringLiteral("完了にする"));
    lstHistory->addActions({m_eventsSeparator, mnuClaim, mnuLeaveMessage, mnuCalledBack, mnuDone});
    connect(mnuClaim, &QAction::triggered, this, [this] { claim(currentRow()); });
    connect(mnuLeaveMessage, &QAction::triggered, this, [this] { leaveMessage(currentRow()); });
    connect(mnuCalledBack, &QAction::triggered, this, [this] { markCalledBack(currentRow()); });
    connect(mnuDone, &QAction::triggered, this, [this] { markDone(currentRow()); });
    lstHistory->setContextMenuPolicy(Qt::ActionsContextMenu);
    lstHistory->setColumnWidth(HistoryTableModel::State,
                               lstHistory->fontMetrics().horizontalAdvance(QStringLiteral("折り返し待ち")) + 24);
    lstHistory->setColumnWidth(HistoryTableModel::Claimer,
                               lstHistory->fontMetrics().horizontalAdvance(QStringLiteral("長谷川 太郎")) + 24);
    lstHistory->horizontalHeader()->setSectionResizeMode(HistoryTableModel::Memo, QHeaderView::Stretch);
    updateEventControls();

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);

    auto* filters = new QHBoxLayout;
    filters->addWidget(txtSearch, 1);
    filters->addWidget(cboReason);
    filters->addWidget(cboProgress);
    filters->addWidget(cboPeriod);
    filters->addWidget(dtFrom);
    filters->addWidget(new QLabel(QStringLiteral("〜"), this));
    filters->addWidget(dtTo);
    filters->addWidget(cmdExport);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(lstHistory, 1);
    layout->addWidget(lblStatus);
    resize(m_book ? 900 : 760, 560);

    connect(txtSearch, &QLineEdit::textChanged, this, &HistoryWindow::search);
    connect(cboReason, &QComboBox::currentIndexChanged, this, &HistoryWindow::search);
    connect(cboProgress, &QComboBox::currentIndexChanged, this, &HistoryWindow::search);
    connect(cboPeriod, &QComboBox::currentIndexChanged, this, [this] {
        const bool between = kPeriods[cboPeriod->currentIndex()] == HistoryPeriod::Between;
        dtFrom->setEnabled(between);
        dtTo->setEnabled(between);
        search();
    });
    connect(dtFrom, &QDateEdit::dateChanged, this, &HistoryWindow::search);
    connect(dtTo, &QDateEdit::dateChanged, this, &HistoryWindow::search);
    connect(cmdExport, &QPushButton::clicked, this, &HistoryWindow::exportRows);
    connect(lstHistory, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { openPage(index.row()); });
    connect(openAction, &QAction::triggered, this, [this] { openPage(currentRow()); });
    connect(copyAction, &QAction::triggered, this, [this] { copyNumber(currentRow()); });
}

HistoryFilter HistoryWindow::filter() const
{
    const int period = std::clamp(cboPeriod->currentIndex(), 0, int(std::size(kPeriods)) - 1);
    HistoryFilter filter = HistoryFilter::of(CallerNumber::searchFragment(txtSearch->text()), kPeriods[period],
                                             QDate::currentDate(), dtFrom->date(), dtTo->date());
    // The first entry, all calls, carries no code.
    if (const QVariant code = cboReason->currentData(); code.isValid())
        filter.number = code.toString();
    if (eventsOn()) {
        filter.openOnly = cboProgress->currentIndex() == OpenCalls;
        if (cboProgress->currentIndex() == MessagesForMe)
            filter.messagesFor = m_events->person();
    }
    const QString typed = txtSearch->text().trimmed();
    const QString fragment = CallerNumber::searchFragment(typed);
    const bool aNumber = std::ranges::all_of(fragment, [](QChar c) { return c.isDigit(); });
    if (m_book && !typed.isEmpty() && !aNumber) {
        // The calls of the entries whose name or reading holds what was typed. Bounded, since
        // they travel in the query as bound values: a text that short finds too many entries
        // to narrow much, and the stored names still match it.
        constexpr int kMostNumbers = 500;
        for (const PhoneBookEntry* entry : m_book->index().search(typed)) {
            for (const QString& number : entry->numbers)
                if (const QString normal = CallerNumber::normalForm(number);
                    !normal.isEmpty() && !filter.callerNumbers.contains(normal))
                    filter.callerNumbers << normal;
            if (filter.callerNumbers.size() >= kMostNumbers) {
                filter.callerNumbers.resize(kMostNumbers);
                break;
            }
        }
    }
    return filter;
}

void HistoryWindow::search()
{
    m_browser.search(filter());
}

int HistoryWindow::currentRow() const
{
    return lstHistory->currentIndex().isValid() ? lstHistory->currentIndex().row() : -1;
}

void HistoryWindow::openPage(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const HistoryEntry& entry = m_model->entry(row);
    // A call without a number that opened no page opens none now either, nor does a caller the
    // phone book marks as a nuisance.
    const UrlSettings& url = m_state.urlSettings;
    if (url.openwithheld == QLatin1String("False") && CallerNumber::withoutNumber(entry.number))
        return;
    const std::optional<Caller> caller = m_book ? m_book->callerOf(entry.number) : std::nullopt;
    if (url.opennuisance == QLatin1String("False") && caller && caller->nuisance)
        return;
    // The name the call was shown with, as its page got it.
    m_launcher.OpenUrlInBrowser(
        callerPageUrl(url.path1, entry.number, HistoryDatabase::dateTimeFromText(entry.calldate), entry.name));
}

void HistoryWindow::copyNumber(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    QGuiApplication::clipboard()->setText(m_model->entry(row).number);
}

const PhoneBookEntry* HistoryWindow::listed(int row) const
{
    if (!m_book || row < 0 || row >= m_model->rowCount())
        return nullptr;
    return m_book->index().find(m_model->entry(row).number);
}

void HistoryWindow::updateBookActions()
{
    if (!m_book)
        return;
    const int row = currentRow();
    const bool withNumber =
        row >= 0 && row < m_model->rowCount() && !CallerNumber::withoutNumber(m_model->entry(row).number);
    const PhoneBookEntry* entry = listed(row);
    mnuPhoneBook->setVisible(withNumber);
    mnuNuisance->setVisible(withNumber);
    mnuPhoneBook->setText(entry ? QStringLiteral("電話帳を編集") : QStringLiteral("電話帳に登録"));
    mnuNuisance->setText(entry && entry->nuisance ? QStringLiteral("迷惑電話を解除")
                                                  : QStringLiteral("迷惑電話にする"));
}

void HistoryWindow::registerCaller(int row)
{
    if (!m_book || row < 0 || row >= m_model->rowCount() || CallerNumber::withoutNumber(m_model->entry(row).number))
        return;
    if (const PhoneBookEntry* entry = listed(row))
        PhoneBookEntryDialog::showFor(*m_book, *m_boxes, *entry, this);
    else
        PhoneBookEntryDialog::showNew(*m_book, *m_boxes, m_model->entry(row).number, this);
}

void HistoryWindow::toggleNuisance(int row)
{
    if (!m_book || row < 0 || row >= m_model->rowCount() || CallerNumber::withoutNumber(m_model->entry(row).number))
        return;
    const auto done = [window = QPointer(this)](qint64, const QString& error) {
        if (window && !error.isEmpty())
            window->m_boxes->show(QStringLiteral("電話帳を変更できませんでした。\n%1").arg(error),
                                  window->m_state.systemSettings.appName, MessageBoxes::Icon::Exclamation,
                                  MessageBoxes::Buttons::Ok);
    };
    if (const PhoneBookEntry* entry = listed(row)) {
        m_book->setNuisance(entry->id, !entry->nuisance, done);
        return;
    }
    PhoneBookEntry entry;
    entry.numbers = {CallerNumber(m_model->entry(row).number).written()};
    entry.nuisance = true;
    m_book->save(entry, done);
}

void HistoryWindow::setCallEvents(CallEvents* events)
{
    if (m_events)
        disconnect(m_events, nullptr, this, nullptr);
    m_events = events;
    if (m_events) {
        connect(m_events, &CallEvents::arrived, this, [this](const CallEvent& event) {
            m_model->addEvent(event);
            // A call taken or a message closed may leave the rows the filter asks for, another's message may join
            // them: they are read again.
            if (m_browser.filter().openOnly || !m_browser.filter().messagesFor.isEmpty())
                search();
        });
        // On or off, and whose messages, as the events' database is found and the person set.
        connect(m_events, &CallEvents::statusChanged, this, &HistoryWindow::updateEventControls);
    }
    if (m_events && !isVisible())
        resize(std::max(width(), 1000), height());
    updateEventControls();
}

bool HistoryWindow::eventsOn() const
{
    return m_events && m_events->isOn();
}

void HistoryWindow::updateEventControls()
{
    const bool on = eventsOn();
    for (const int column : {HistoryTableModel::State, HistoryTableModel::Claimer, HistoryTableModel::Memo})
        lstHistory->setColumnHidden(column, !on);
    for (QAction* action : {m_eventsSeparator, mnuClaim, mnuLeaveMessage, mnuCalledBack, mnuDone})
        action->setVisible(on);
    cboProgress->setVisible(on);
    const bool withPerson = on && !m_events->person().isEmpty();
    if (auto* items = qobject_cast<QStandardItemModel*>(cboProgress->model()))
        items->item(MessagesForMe)->setEnabled(withPerson);
    if (!withPerson && cboProgress->currentIndex() == MessagesForMe)
        cboProgress->setCurrentIndex(AllCalls);
    const QString searched = m_book ? QStringLiteral("電話番号の一部・名前・よみ") : QStringLiteral("電話番号の一部");
    txtSearch->setPlaceholderText(on ? searched + QStringLiteral("・メモ") : searched);
    if (!(filter() == m_browser.filter()))
        search();
}

CallEvents::Done HistoryWindow::reporter()
{
    return [window = QPointer(this)](const CallEvents::Written& written) {
        if (!window || !window->m_boxes || written.ok())
            return;
        const QString& title = window->m_state.systemSettings.appName;
        if (!written.claimer.isEmpty())
            window->m_boxes->show(QStringLiteral("%1が対応中です。").arg(honorific(written.claimer)), title,
                                  MessageBoxes::Icon::Information, MessageBoxes::Buttons::Ok);
        else
            window->m_boxes->show(QStringLiteral("記録できませんでした。\n%1").arg(written.error), title,
                                  MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
    };
}

void HistoryWindow::record(int row, void (CallEvents::*write)(const CallEvents::CallRef&, CallEvents::Done))
{
    if (!eventsOn() || row < 0 || row >= m_model->rowCount())
        return;
    // The row shows the event when it arrives, as it would another desk's.
    (m_events->*write)({m_model->entry(row).id}, reporter());
}

void HistoryWindow::claim(int row)
{
    record(row, &CallEvents::claim);
}

void HistoryWindow::markCalledBack(int row)
{
    record(row, &CallEvents::markCalledBack);
}

void HistoryWindow::markDone(int row)
{
    record(row, &CallEvents::markDone);
}

LeaveMessageDialog* HistoryWindow::leaveMessage(int row)
{
    if (!eventsOn() || row < 0 || row >= m_model->rowCount())
        return nullptr;
    const HistoryEntry& entry = m_model->entry(row);
    QStringList call{CallerNumber::shownOf(entry.number)};
    if (!entry.name.isEmpty())
        call << entry.name;
    call << entry.calldate;
    auto* dialog =
        LeaveMessageDialog::showFor(call.join(QStringLiteral("　")), m_events->people(), m_events->person(), this);
    // The call by its key: rows may arrive above it while the dialog is open.
    connect(dialog, &QDialog::accepted, this, [this, dialog, id = entry.id] {
        if (eventsOn())
            m_events->leaveMessage({id}, dialog->to(), dialog->text(), dialog->callBack(), reporter());
    });
    return dialog;
}

void HistoryWindow::showMessagesForMe()
{
    if (eventsOn() && !m_events->person().isEmpty())
        showProgress(MessagesForMe, HistoryPeriod::All);
}

void HistoryWindow::showOpenCalls()
{
    if (eventsOn())
        showProgress(OpenCalls, HistoryPeriod::Today);
}

void HistoryWindow::showProgress(int progress, HistoryPeriod period)
{
    // Every such call, whatever was searched before.
    txtSearch->clear();
    cboReason->setCurrentIndex(0);
    cboPeriod->setCurrentIndex(
        int(std::distance(std::begin(kPeriods), std::find(std::begin(kPeriods), std::end(kPeriods), period))));
    cboProgress->setCurrentIndex(progress);
}

void HistoryWindow::exportRows()
{
    const QString suggested =
        QStringLiteral("着信履歴-%1.csv").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    const std::optional<QString> path = m_fileChooser.chooseFileToSave(this, suggested);
    if (!path)
        return;
    cmdExport->setEnabled(false);
    lblStatus->setText(QStringLiteral("書き出しています…"));
    m_browser.exportTo(*path, &CallerNumber::shownOf);
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstHistory && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openPage(currentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
