// chakushin-screenshots DIR: renders the main window (normal and debug height), the
// message popup, the adapter, CTI and URL dialogs with the serial-ports window, and the
// start-up's question, the call-history window and its message dialog as the program shows them, and saves them as PNG
// files in DIR. The dialogs talk to the adapter simulator. Run it on a real X server with the Japanese font installed
// (scripts/screenshots does both).

#include "AdapterSimulator.h"

#include "app/MessageBoxes.h"
#include "app/Pause.h"
#include "app/Settings.h"
#include "dialogs/HistoryWindow.h"
#include "dialogs/LeaveMessageDialog.h"
#include "dialogs/PhoneBookWindow.h"
#include "dialogs/QtFileChooser.h"
#include "dialogs/frmAdapter.h"
#include "dialogs/frmCti.h"
#include "dialogs/frmSerialPorts.h"
#include "dialogs/frmUrl.h"
#include "history/CallEventStore.h"
#include "history/SqliteHistoryStore.h"
#include "phonebook/PhoneBookDatabase.h"
#include "phonebook/PhoneBookStore.h"
#include "startup/Program.h"
#include "ui/ApplicationSetup.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TaskTray.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

// The pictures show the windows alone.
class NoTray final : public TaskTray
{
public:
    bool isAvailable() const override { return true; }
    bool isShown() const override { return false; }
    void show(const QIcon&, const QString&) override {}
    void hide() override {}
    void change(const QIcon&, const QString&) override {}
    void showMessage(const QString&, const QString&) override {}
};

class NoPause final : public Pauser
{
public:
    void pause(std::chrono::milliseconds) override {}
};

// The boxes the dialogs show (the notice after OK) go to the terminal, answered OK.
class NoBoxes final : public MessageBoxes
{
public:
    Answer show(const QString& text, const QString&, Icon, Buttons) override
    {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        return Answer::Ok;
    }
};

// The ports of a desk with the adapter on a USB serial converter that the user has no
// access to yet, beside the board's own port.
QList<SerialPortEntry> exampleDesk()
{
    SerialPortEntry usb;
    usb.device = QStringLiteral("/dev/ttyUSB0");
    usb.byIdPath = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    usb.description = QStringLiteral("FT232R USB UART");
    usb.manufacturer = QStringLiteral("FTDI");
    usb.vendorId = 0x0403;
    usb.productId = 0x6001;
    usb.accessible = false;
    usb.accessGroup = QStringLiteral("dialout");
    SerialPortEntry board;
    board.device = QStringLiteral("/dev/ttyS0");
    board.accessGroup = QStringLiteral("dialout");
    return {usb, board};
}

void settle()
{
    const QDeadlineTimer deadline(300);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget& window, const QString& path)
{
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    settle();
    const bool saved = window.screen()->grabWindow(window.winId()).save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// One main window as the program shows it, with the settings of `debugmode`.
bool shoot(const QString& outDir, bool debug)
{
    QTemporaryDir appDir;
    NoBoxes boxes;
    NoPause pauser;
    NoTray tray;
    Program program(appDir.path(), {boxes, pauser, tray});
    SharedState& state = program.state;
    WriteIni(state, QStringLiteral("SYSTEM"), QStringLiteral("appName"), QStringLiteral("着信"));
    WriteIni(state, QStringLiteral("SYSTEM"), QStringLiteral("debugmode"),
             debug ? QStringLiteral("True") : QStringLiteral("False"));
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    LoadSettings(state);
    frmTerminal& window = program.loadMainWindow();
    window.show();
    if (!debug)
        return save(window, outDir + QStringLiteral("/main-window.png"));

    window.setRecvData(QStringLiteral("0312345678"));
    window.setTerminalText(QStringLiteral("0\r\n\r\nRING0312345678/1\r\n\r\n"));
    if (!save(window, outDir + QStringLiteral("/main-window-debug.png")))
        return false;
    window.popup().ShowMessage(QString(), QStringLiteral("アダプタ設定を開きます。"), 0, true);
    return save(window.popup(), outDir + QStringLiteral("/popup.png"));
}

// The first start's dialogs: the adapter dialog after detecting the simulated CTI-INS100 on
// COM3, the serial-ports window opened from it, the CTI dialog after reading the adapter's
// settings out, and the URL dialog with a URL typed and both switches on.
bool shootDialogs(const QString& outDir)
{
    QTemporaryDir appDir(QDir::tempPath() + QStringLiteral("/chakushin-XXXXXX"));
    const QString settings = appDir.filePath(QStringLiteral("settings.ini"));
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/settings.ini"), settings);
    AdapterSimulator sim(AdapterSimProfile::load(settings, QStringLiteral("CTI-INS100")));
    const QString link = appDir.filePath(QStringLiteral("cti-ins100"));
    if (!sim.isValid() || !sim.makeLink(link)) {
        std::fprintf(stderr, "chakushin-screenshots: no simulated adapter: %s\n", qPrintable(sim.errorString()));
        return false;
    }
    sim.setCtiPorts({true, false, true});

    NoBoxes boxes;
    NoPause pauser;
    NoTray tray;
    Program program(appDir.path(), {boxes, pauser, tray});
    SharedState& state = program.state;
    WriteIni(state, QStringLiteral("SYSTEM"), QStringLiteral("appName"), QStringLiteral("着信"));
    WriteIni(state, QStringLiteral("PORTS"), QStringLiteral("COM3"), link);
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    LoadSettings(state);
    frmTerminal& window = program.loadMainWindow();
    window.move(80, 80);
    window.show();

    frmAdapter adapter(state, boxes, pauser, program.comm, window);
    adapter.setSerialPortLister(exampleDesk);
    adapter.show();
    adapter.cboPort->setCurrentIndex(2);
    adapter.cboAdapterName->setCurrentIndex(1);
    adapter.cmdAdapter->click();
    if (!save(adapter, outDir + QStringLiteral("/adapter-dialog.png")))
        return false;
    adapter.cmdDevice->click();
    frmSerialPorts* ports = adapter.serialPortsWindow();
    if (!ports)
        return false;
    ports->lstPorts->setCurrentItem(ports->lstPorts->topLevelItem(0));
    if (!save(*ports, outDir + QStringLiteral("/serial-ports.png")))
        return false;
    ports->close();
    adapter.cmdOK->click();

    frmCti cti(state, boxes, pauser, program.comm, window);
    cti.show();
    cti.cmdCti->click();
    if (!save(cti, outDir + QStringLiteral("/cti-dialog.png")))
        return false;
    cti.cmdOK->click();

    QtFileChooser chooser;
    frmUrl url(state, boxes, chooser, window);
    url.show();
    url.chkUrl->click();
    url.chkHist->click();
    url.txtUrl->setText(QStringLiteral("http://crm.example.jp/customer?tel="));
    return save(url, outDir + QStringLiteral("/url-dialog.png"));
}

// The start-up's last question, in the program's own message box, answered "はい" once
// the picture is taken.
bool shootQuestion(const QString& outDir)
{
    bool saved = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        saved = save(*box, outDir + QStringLiteral("/standby-question.png"));
        box->button(QMessageBox::Yes)->click();
    });
    poll.start();
    QtMessageBoxes boxes;
    boxes.show(QStringLiteral("待ち受けを開始しますか？"), QStringLiteral("着信"), MessageBoxes::Icon::None,
               MessageBoxes::Buttons::YesNo);
    return saved;
}

// Waits until `done` or five seconds have passed.
template<typename Condition> void waitFor(Condition done)
{
    const QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// What the office did with the newest of the calls `shown` (keys, newest first): one left alone, one taken, one with a
// message wanting a call-back, one with a message only, one done.
bool addEvents(const QString& history, const std::vector<qint64>& shown)
{
    using K = CallEvent::Kind;
    const std::vector<std::vector<CallEvent>> stories = {
        {},
        {{.kind = K::Claim, .person = QStringLiteral("田中")}},
        {{.kind = K::Claim, .person = QStringLiteral("佐藤")},
         {.kind = K::Message,
          .person = QStringLiteral("佐藤"),
          .to = QStringLiteral("田中"),
          .text = QStringLiteral("見積書の件で折り返しをお願いします。午後は在席とのことです。"),
          .callBack = true}},
        {{.kind = K::Message,
          .person = QStringLiteral("鈴木"),
          .to = QStringLiteral("佐藤"),
          .text = QStringLiteral("請求書を受け取ったとのご連絡")}},
        {{.kind = K::Claim, .person = QStringLiteral("田中")}, {.kind = K::Done, .person = QStringLiteral("田中")}},
    };
    CallEventStore store(history);
    for (std::size_t i = 0; i < stories.size() && i < shown.size(); ++i)
        for (CallEvent event : stories[i]) {
            event.callId = shown[i];
            if (!store.add(event))
                return false;
        }
    return store.seen(QStringLiteral("佐藤")) && store.seen(QStringLiteral("鈴木"));
}

// The call-history window over a history of a few weeks with the office's phone book and what people did with the
// calls, searched for a number fragment; the message dialog over it; then the phone book's window.
bool shootHistory(const QString& outDir)
{
    QTemporaryDir appDir;
    NoBoxes boxes;
    NoPause pauser;
    NoTray tray;
    Program program(appDir.path(), {boxes, pauser, tray});
    SharedState& state = program.state;
    state.urlSettings.path1 = QStringLiteral("http://crm.example.jp/customer?tel=");
    state.urlSettings.path3 = appDir.filePath(QStringLiteral("calls.db"));
    if (!createHistoryDatabase(state.urlSettings.path3, nullptr, PhoneBookDatabase::createStatements(false)))
        return false;
    PhoneBookStore book(state.urlSettings.path3);
    const std::vector<PhoneBookEntry> entries = {
        {0,
         QStringLiteral("山田 太郎"),
         QStringLiteral("やまだ たろう"),
         QStringLiteral("山田商事 総務部"),
         {QStringLiteral("03-1234-5678"), QStringLiteral("090-1234-8765")},
         QStringLiteral("月末に請求書"),
         false},
        {0,
         QStringLiteral("鈴木 花子"),
         QStringLiteral("すずき はなこ"),
         QStringLiteral("横浜支店"),
         {QStringLiteral("045-555-1234")},
         QString(),
         false},
        {0,
         QStringLiteral("大阪商会"),
         QStringLiteral("おおさかしょうかい"),
         QString(),
         {QStringLiteral("06-6333-1200")},
         QString(),
         false},
        {0,
         QStringLiteral("勧誘"),
         QStringLiteral("かんゆう"),
         QString(),
         {QStringLiteral("0120-111-222")},
         QStringLiteral("投資の勧誘"),
         true},
    };
    for (const PhoneBookEntry& entry : entries)
        if (!book.save(entry))
            return false;
    const QHash<QString, QString> names = {{QStringLiteral("0312345678"), QStringLiteral("山田 太郎")},
                                           {QStringLiteral("0455551234"), QStringLiteral("鈴木")},
                                           {QStringLiteral("09012348765"), QStringLiteral("山田 太郎")}};
    const QStringList numbers = {QStringLiteral("0312345678"),  QStringLiteral("0455551234"),
                                 QStringLiteral("09012348765"), QStringLiteral("0312345678"),
                                 QStringLiteral("0663331200"),  QStringLiteral("0312349000")};
    SqliteHistoryStore store(state.urlSettings.path3);
    const QDateTime first(QDate::currentDate().addDays(-20), QTime(9, 12, 5));
    std::vector<qint64> searched;
    for (int n = 0; n < 40; ++n) {
        HistoryRow row{numbers.at((n * 7 + n / 3) % numbers.size()), first.addSecs(n * 43210)};
        row.name = names.value(row.number);
        if (store.append(row) != HistoryStore::Outcome::Written)
            return false;
        // The keys of a new file's rows count from 1.
        if (row.number.startsWith(QStringLiteral("031234")))
            searched.insert(searched.begin(), n + 1);
    }
    if (!addEvents(state.urlSettings.path3, searched))
        return false;
    state.deskSettings.person = QStringLiteral("田中");
    program.openPhoneBookDatabase();
    const QDeadlineTimer loading(5000);
    while (!program.phoneBook.isLoaded() && !loading.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    HistoryWindow& window = program.openHistory();
    window.resize(1000, 420);
    waitFor([&] { return window.lstHistory->model()->rowCount() > 0; });
    window.txtSearch->setText(QStringLiteral("03-1234"));
    settle();
    if (!save(window, outDir + QStringLiteral("/history-window.png")))
        return false;
    waitFor([&] { return program.events.people().size() == 2; });
    LeaveMessageDialog* dialog = window.leaveMessage(0);
    if (!dialog)
        return false;
    dialog->cboTo->setCurrentIndex(0);
    dialog->txtMessage->setPlainText(QStringLiteral("明日の打ち合わせの時間を確認したいとのことです。"));
    if (!save(*dialog, outDir + QStringLiteral("/leave-message-dialog.png")))
        return false;
    dialog->cmdCancel->click();
    PhoneBookWindow& phoneBook = program.openPhoneBook();
    phoneBook.resize(900, 300);
    settle();
    return save(phoneBook, outDir + QStringLiteral("/phonebook-window.png"));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: chakushin-screenshots DIR\n");
        return 2;
    }
    prepareApplication(app);
    const QString outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outDir);
    return shoot(outDir, false) && shoot(outDir, true) && shootDialogs(outDir) && shootQuestion(outDir) &&
                   shootHistory(outDir)
               ? 0
               : 1;
}
