#include "ui/frmTerminal.h"

#include "app/MessageBoxes.h"
#include "app/Pause.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "calls/CallDispatch.h"
#include "calls/CallFollower.h"
#include "history/CallEvents.h"
#include "link/AdapterConversation.h"
#include "link/frmComm.h"
#include "phonebook/PhoneBook.h"
#include "ui/FormControls.h"
#include "ui/JapaneseFont.h"
#include "ui/MainWindowHeight.h"
#include "ui/Pictures.h"
#include "ui/TaskTray.h"
#include "ui/Twips.h"
#include "ui/frmCutting.h"
#include "ui/frmMessage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

namespace {

constexpr int kClientWidth = 9360;

// The settings buttons' captions break their line with a carriage return, as the dialog
// names are written without it. Qt lays text out by LF, so that is what the button shows.
QString shownCaption(QString caption)
{
    return caption.replace(u'\r', u'\n');
}

QString dialogName(const QPushButton& button)
{
    QString name = button.text();
    name.remove(u'\r').remove(u'\n');
    return name;
}

} // namespace

frmTerminal::frmTerminal(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm,
                         CallDispatch& dispatch, TaskTray& tray, DialogOpeners& openers, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_state(state)
    , m_messageBoxes(messageBoxes)
    , m_pauser(pauser)
    , m_comm(comm)
    , m_dispatch(dispatch)
    , m_tray(tray)
{
    setObjectName(QStringLiteral("frmTerminal"));
    createControls();
    m_popup = new frmMessage(pauser, openers, this);
    // A start that checks the adapter shows the popup before anything else.
    connect(m_popup, &frmMessage::firstPainted, this,
            [this] { DebugLog(m_state, QStringLiteral("frmMessage shown")); });
    Form_Load();

    m_comm.setTerminalWindow(this);
    m_dispatch.setDisplay(this);
    m_tray.setActivationHandler([this](QSystemTrayIcon::ActivationReason reason) { Form_MouseMove(reason); });
    m_attached = true;
}

frmTerminal::~frmTerminal()
{
    detach();
}

void frmTerminal::detach()
{
    if (!m_attached)
        return;
    m_attached = false;
    m_comm.setTerminalWindow(nullptr);
    m_dispatch.setDisplay(nullptr);
    m_tray.setActivationHandler({});
}

void frmTerminal::createControls()
{
    ImgCti = new QLabel(this);
    ImgCti->setObjectName(QStringLiteral("ImgCti"));
    ImgCti->setGeometry(twipsRect(240, 120, 1500, 1500));
    ImgCti->setPixmap(builtInCtiPicture());
    ImgCti->setAlignment(Qt::AlignCenter);
    ImgCti->installEventFilter(this);

    cbMachiuke = makeButton(this, "cbMachiuke", kStandbyOffCaption, twipsRect(2160, 120, 1455, 1335));
    cbSetting[1] = makeButton(this, "cbSetting1", QStringLiteral("アダプタ設定"), twipsRect(4320, 120, 1455, 615));
    cbSetting[2] = makeButton(this, "cbSetting2", QStringLiteral("CTI設定"), twipsRect(5760, 120, 1455, 615));
    cbSetting[3] = makeButton(this, "cbSetting3", QStringLiteral("URL設定"), twipsRect(7200, 120, 1455, 615));
    cbMenteEnd = makeButton(this, "cbMenteEnd", QStringLiteral("画面を閉じる"), twipsRect(4320, 840, 1455, 615));
    cbExit = makeButton(this, "cbExit", QStringLiteral("終了"), twipsRect(7200, 840, 1455, 615));

    connect(cbMachiuke, &QPushButton::clicked, this, &frmTerminal::cbMachiuke_Click);
    for (int index = 1; index <= 3; ++index)
        connect(cbSetting[index], &QPushButton::clicked, this, [this, index] { cbSetting_Click(index); });
    connect(cbMenteEnd, &QPushButton::clicked, this, &frmTerminal::cbMenteEnd_Click);
    connect(cbExit, &QPushButton::clicked, this, &frmTerminal::cbExit_Click);

    txtRecvData = new QLineEdit(this);
    txtRecvData->setObjectName(QStringLiteral("txtRecvData"));
    txtRecvData->setGeometry(twipsRect(120, 1920, 3135, 375));
    txtRecvData->setFont(japaneseFont(kTextBoxPointSize));

    txtTerm = new QPlainTextEdit(this);
    txtTerm->setObjectName(QStringLiteral("txtTerm"));
    txtTerm->setGeometry(twipsRect(3360, 1920, 5775, 1410));
    txtTerm->setFont(japaneseFont(kTextBoxPointSize));
    txtTerm->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtTerm->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTerm->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTerm->installEventFilter(this);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(kStartTimerInterval);
    connect(&Timer1, &QTimer::timeout, this, &frmTerminal::Timer1_Timer);
    waitTimer.setObjectName(QStringLiteral("waitTimer"));
    waitTimer.setInterval(kIdentificationGuard);
    connect(&waitTimer, &QTimer::timeout, this, &frmTerminal::waitTimer_Timer);

    mnuContext = new QMenu(QStringLiteral("コンテキストメニュー"), this);
    mnuContext->setObjectName(QStringLiteral("mnuContext"));
    mnuOpenCalls = mnuContext->addAction(QString());
    mnuOpenCalls->setObjectName(QStringLiteral("mnuOpenCalls"));
    mnuOpenCalls->setVisible(false);
    mnuMessages = mnuContext->addAction(QString());
    mnuMessages->setObjectName(QStringLiteral("mnuMessages"));
    mnuMessages->setVisible(false);
    connect(mnuOpenCalls, &QAction::triggered, this, &frmTerminal::openCallsRequested);
    connect(mnuMessages, &QAction::triggered, this, &frmTerminal::messagesRequested);
    mnuMachiuke = mnuContext->addAction(kStandbyOffCaption);
    mnuMachiuke->setObjectName(QStringLiteral("mnuMachiuke"));
    mnuSettings = mnuContext->addAction(QStringLiteral("設定"));
    mnuSettings->setObjectName(QStringLiteral("mnuSettings"));
    mnuHistory = mnuContext->addAction(QStringLiteral("着信履歴"));
    mnuHistory->setObjectName(QStringLiteral("mnuHistory"));
    mnuHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    // The menu only pops up from the tray; the shortcut belongs to this window.
    mnuHistory->setShortcutContext(Qt::WindowShortcut);
    addAction(mnuHistory);
    mnuFollow = mnuContext->addAction(QStringLiteral("着信のフォロー"));
    mnuFollow->setObjectName(QStringLiteral("mnuFollow"));
    mnuPhoneBook = mnuContext->addAction(QStringLiteral("電話帳"));
    mnuPhoneBook->setObjectName(QStringLiteral("mnuPhoneBook"));
    mnuPhoneBook->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuPhoneBook->setShortcutContext(Qt::WindowShortcut);
    addAction(mnuPhoneBook);
    mnuExit = mnuContext->addAction(QStringLiteral("終了"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuMachiuke, &QAction::triggered, this, &frmTerminal::mnuMachiuke_Click);
    connect(mnuSettings, &QAction::triggered, this, &frmTerminal::mnuSettings_Click);
    connect(mnuHistory, &QAction::triggered, this, &frmTerminal::historyRequested);
    connect(mnuFollow, &QAction::triggered, this, &frmTerminal::followSettingsRequested);
    connect(mnuPhoneBook, &QAction::triggered, this, &frmTerminal::phoneBookRequested);
    connect(mnuExit, &QAction::triggered, this, &frmTerminal::mnuExit_Click);
}

void frmTerminal::attachFollower(CallFollower& follower)
{
    m_follower = &follower;
    connect(&follower, &CallFollower::stateChanged, this, &frmTerminal::refreshTray);
    connect(&follower, &CallFollower::notice, this, [this](const QString& text) {
        refreshTray();
        m_tray.showMessage(m_state.systemSettings.appName, text);
    });
}

void frmTerminal::attachPhoneBook(PhoneBook& book)
{
    m_phoneBook = &book;
    connect(&book, &PhoneBook::statusChanged, this, &frmTerminal::refreshTray);
}

void frmTerminal::attachCallEvents(CallEvents& events)
{
    m_events = &events;
    const auto update = [this] {
        const bool on = m_events->isOn();
        const CallCounts& counts = m_events->counts();
        mnuOpenCalls->setText(QStringLiteral("未対応 %1件").arg(counts.open));
        mnuMessages->setText(QStringLiteral("伝言 %1件").arg(counts.messages));
        mnuOpenCalls->setVisible(on);
        mnuMessages->setVisible(on);
        refreshTray();
    };
    connect(&events, &CallEvents::countsChanged, this, update);
    connect(&events, &CallEvents::statusChanged, this, update);
    update();
}

void frmTerminal::setCaller(const std::optional<Caller>& caller)
{
    txtRecvData->setToolTip(caller ? caller->lines().join(u'\n') : QString());
}

void frmTerminal::Form_Load()
{
    setWindowIcon(iconFromFile(pathInAppDir(m_state.appDir, m_state.systemSettings.iconFile), builtInWindowIcon()));
    InitMainWindow();
    m_popup->placeAbove(*this);
    // Top-most is a window flag here, set when the window was made.
    waitTimer.start();
}

void frmTerminal::InitMainWindow()
{
    // The application title is `appName` itself: message boxes and the tray tip are given
    // it explicitly, so only the caption is set here.
    setWindowTitle(m_state.systemSettings.appName);

    const int width = twipsToPixels(kClientWidth);
    setFixedSize(width, mainWindowClientHeight(false, 0));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height()) / 2);
    }
    // The window keeps its top edge when it grows to debug height.
    fitHeightToFrame();

    cbSetting[3]->setText(shownCaption(QStringLiteral("着信時の\r動作設定")));
}

void frmTerminal::fitHeightToFrame()
{
    // The frame is the window manager's, known once the window is on the screen; until then
    // (and where there is none) the height counts none.
    const QWindow* window = windowHandle();
    const QMargins frame = window && isVisible() ? window->frameMargins() : QMargins();
    const int height = mainWindowClientHeight(isDebugMode(m_state), frame.top() + frame.bottom());
    if (height != this->height())
        setFixedHeight(height);
}

void frmTerminal::EnableCommandButtons(bool enabled)
{
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setEnabled(enabled);
}

void frmTerminal::cbMachiuke_Click()
{
    EnableCommandButtons(false);
    txtTerm->clear();

    AdapterConversation conversation(m_state, m_comm, m_pauser);
    const QString caption = cbMachiuke->text();
    if (m_follower && m_follower->standsInForAdapter() &&
        (caption == kStandbyOnCaption || caption == kStandbyOffCaption)) {
        // Nothing to open or ask: standing by is listening for the office's calls.
        const bool on = caption == kStandbyOffCaption;
        m_state.appState = on ? AppStateCode::StandbyOn : AppStateCode::StandbyOff;
        setWindowIconFile(pathInAppDir(m_state.appDir,
                                       on ? m_state.systemSettings.iconFile_on : m_state.systemSettings.iconFile_off));
        cbMachiuke->setText(on ? kStandbyOnCaption : kStandbyOffCaption);
    } else if (caption == kStandbyOnCaption) {
        conversation.stopStandby();
        cbMachiuke->setText(kStandbyOffCaption);
    } else if (caption == kStandbyOffCaption) {
        switch (conversation.startStandby()) {
        case AdapterConversation::StandbyStart::Started:
            cbMachiuke->setText(kStandbyOnCaption);
            break;
        case AdapterConversation::StandbyStart::NotConfigured:
            m_messageBoxes.show(QStringLiteral("アダプタ設定が完了していません。"), m_state.systemSettings.appName,
                                MessageBoxes::Icon::Critical, MessageBoxes::Buttons::Ok);
            break;
        case AdapterConversation::StandbyStart::PortOpenFailed: {
            // What stands in the way goes on a line of its own under the message.
            const QString why = m_comm.openFailure();
            m_messageBoxes.show(QStringLiteral("ポートオープンエラー") + (why.isEmpty() ? QString() : u'\n' + why),
                                m_state.systemSettings.appName, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
            break;
        }
        }
    }

    mnuMachiuke->setText(cbMachiuke->text());
    followStandby();
    removeTaskTray();
    setTaskTray(mnuMachiuke->text());
    EnableCommandButtons(true);
}

void frmTerminal::followSettingsChanged()
{
    if (m_follower && !m_follower->settingsChanged(cbMachiuke->text() == kStandbyOnCaption, m_comm.IsPortOpen())) {
        m_state.appState = AppStateCode::StandbyOff;
        cbMachiuke->setText(kStandbyOffCaption);
        mnuMachiuke->setText(kStandbyOffCaption);
    }
    refreshTray();
}

void frmTerminal::setMachiukeCaption(const QString& caption)
{
    cbMachiuke->setText(caption);
    followStandby();
}

void frmTerminal::followStandby()
{
    if (m_follower)
        m_follower->followStandby(cbMachiuke->text() == kStandbyOnCaption);
}

void frmTerminal::cbSetting_Click(int Index)
{
    if (Index < 1 || Index > 3)
        return;
    const QString name = dialogName(*cbSetting[Index]);
    if (cbMachiuke->text() == kStandbyOnCaption) {
        m_popup->ShowMessage(name, QStringLiteral("しばらくお待ちください・・・"), kDialogDelayMs, true);
        cbMachiuke_Click();
    } else {
        m_popup->ShowMessage(name, name + QStringLiteral("を開きます。"), kDialogDelayMs, true);
        m_popup->repaint();
    }
}

void frmTerminal::cbMenteEnd_Click()
{
    // Without a notification area a hidden window could never be brought back.
    if (m_tray.isAvailable())
        hide();
    else
        showMinimized();
    mnuMachiuke->setText(cbMachiuke->text());
    setTaskTray(cbMachiuke->text());
}

void frmTerminal::cbExit_Click()
{
    EnableCommandButtons(false);
    m_popup->ShowMessage(QString(), QStringLiteral("終了しています・・・"), kNoticeMs, true);
    close();
}

void frmTerminal::mnuSettings_Click()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
}

void frmTerminal::ImgCti_DblClick()
{
    const bool altHeld = QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier);
    DebugLog(m_state, QString::number(altHeld ? 1 : 0));
    if (!altHeld)
        return;

    // The value in memory stays as loaded: the switch always writes its opposite, and the
    // new mode takes effect at the next start.
    const bool debugNow = isDebugMode(m_state);
    const QString value = debugNow ? QStringLiteral("False") : QStringLiteral("True");
    if (WriteIni(m_state, QStringLiteral("SYSTEM"), QStringLiteral("debugmode"), value) == 0) {
        // Announcing a switch that was not saved would mislead the service engineer.
        m_messageBoxes.show(QStringLiteral("INIファイルの書き込みに失敗しました。"), m_state.systemSettings.appName,
                            MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
        return;
    }
    m_popup->ShowMessage(QString(),
                         debugNow ? QStringLiteral("次回起動時に通常モードに戻します。")
                                  : QStringLiteral("次回起動時にデバッグモードにします。"),
                         kNoticeMs, true);
}

bool frmTerminal::txtTerm_KeyPress(const QString& typed)
{
    if (typed.isEmpty() || !m_comm.IsPortOpen())
        return false;
    for (const QChar character : typed)
        m_comm.SendRawChar(character.unicode());
    txtTerm->moveCursor(QTextCursor::End);
    return true;
}

void frmTerminal::Timer1_Timer()
{
    if (m_state.appState != AppStateCode::StandbyOn)
        return;
    m_comm.ClosePort();
    cbMachiuke_Click();
    Timer1.stop();
}

void frmTerminal::waitTimer_Timer()
{
    if (m_state.rcvMode == RcvMode::Initial)
        m_state.rcvMode = RcvMode::Guarded;
    waitTimer.stop();
}

void frmTerminal::Form_MouseMove(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Context)
        return;
    mnuContext->popup(QCursor::pos());
}

void frmTerminal::setWindowIconFile(const QString& path)
{
    setWindowIcon(iconFromFile(path, builtInWindowIcon()));
}

void frmTerminal::setTerminalText(const QString& text)
{
    txtTerm->setPlainText(text);
    txtTerm->moveCursor(QTextCursor::End);
}

QIcon frmTerminal::offIcon()
{
    if (!m_offIconHolder)
        m_offIconHolder =
            std::make_unique<frmCutting>(pathInAppDir(m_state.appDir, m_state.systemSettings.iconFile_off));
    return m_offIconHolder->windowIcon();
}

QIcon frmTerminal::trayIcon(const QString& caption)
{
    const QIcon icon = standbyIcon(caption);
    if (!m_events || !m_events->isOn())
        return icon;
    return withBadge(icon, m_events->counts().open + m_events->counts().messages);
}

void frmTerminal::setTaskTray(const QString& caption)
{
    DebugLog(m_state, QStringLiteral("setTaskTray") + caption);
    // Adding an icon that is already there changes nothing.
    if (m_tray.isShown())
        return;
    m_tray.show(trayIcon(caption), trayTip());
}

QIcon frmTerminal::standbyIcon(const QString& caption)
{
    if (caption == kStandbyOnCaption && m_follower && !m_follower->standsBy())
        return offIcon();
    if (caption == kStandbyOffCaption)
        return offIcon();
    if (caption == kStandbyOnCaption)
        return builtInStandbyOnIcon();
    return {};
}

QString frmTerminal::trayTip() const
{
    const QString tip = m_follower ? m_follower->trayTip() : m_state.systemSettings.appName;
    QStringList lines{tip};
    if (m_events && m_events->isOn())
        lines << QStringLiteral("未対応 %1件・伝言 %2件").arg(m_events->counts().open).arg(m_events->counts().messages);
    if (const QString book = m_phoneBook ? m_phoneBook->trayLine() : QString(); !book.isEmpty())
        lines << book;
    return lines.join(u'\n');
}

void frmTerminal::refreshTray()
{
    if (m_tray.isShown())
        m_tray.change(trayIcon(mnuMachiuke->text()), trayTip());
}

void frmTerminal::removeTaskTray()
{
    DebugLog(m_state, QStringLiteral("removeTaskTray"));
    if (m_tray.isShown())
        m_tray.hide();
}

void frmTerminal::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!m_painted) {
        // The moment the user first sees the window; the start-up benchmark waits for it.
        m_painted = true;
        DebugLog(m_state, QStringLiteral("frmTerminal shown"));
    }
    Form_Paint();
}

void frmTerminal::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    fitHeightToFrame();
}

void frmTerminal::moveEvent(QMoveEvent* event)
{
    // A window manager that frames the window moves it into the frame, so the frame is
    // known by the time the move arrives.
    QWidget::moveEvent(event);
    fitHeightToFrame();
}

void frmTerminal::Form_Paint()
{
    if (m_popup)
        m_popup->placeAbove(*this);
}

void frmTerminal::closeEvent(QCloseEvent* event)
{
    // Closing cannot be refused: whatever asked for it, the program ends.
    event->accept();
    if (!m_unloading)
        Form_Unload();
}

void frmTerminal::endAtOnce()
{
    m_endingAtOnce = true;
    close();
}

void frmTerminal::Form_Unload()
{
    m_unloading = true;
    // Calls of other desks open nothing more here.
    if (m_follower)
        m_follower->stop();
    removeTaskTray();
    // The session is going (a logout, a shutdown): its tray needs no time to take the icon away.
    if (!m_endingAtOnce)
        m_pauser.pause(kUnloadPause);
    setWindowIcon(QIcon());

    Timer1.stop();
    waitTimer.stop();
    m_popup->Timer1.stop();
    m_popup->close();
    m_offIconHolder.reset();
    mnuContext->close();
    // Dialogs and message boxes still open go too.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible())
            window->close();
    }
    // The serial link last: closing the port lets pending output drain first. Calls read
    // and not yet handled open no page now; their rows are in the spool.
    m_comm.dropWaitingLines();
    m_comm.ClosePort();

    hide();
    detach();
    emit unloaded();
}

bool frmTerminal::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImgCti && event->type() == QEvent::MouseButtonDblClick) {
        ImgCti_DblClick();
        return true;
    }
    if (watched == txtTerm) {
        if (event->type() == QEvent::KeyPress) {
            // Delete is an editing key like the arrows, though X11 gives it a character.
            const auto* key = static_cast<QKeyEvent*>(event);
            return key->key() != Qt::Key_Delete && txtTerm_KeyPress(key->text());
        }
        if (event->type() == QEvent::InputMethod) {
            // Characters composed with an input method arrive here rather than as keys.
            auto* input = static_cast<QInputMethodEvent*>(event);
            if (!input->commitString().isEmpty() && txtTerm_KeyPress(input->commitString())) {
                input->setCommitString(QString());
                return false;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
