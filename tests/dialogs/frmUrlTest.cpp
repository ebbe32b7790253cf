#include "dialogs/frmUrl.h"

#include "app/Settings.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Answer = MessageBoxes::Answer;
using enum AppStateCode;

// A user whose URL is registered, with the browser on and no history.
const QByteArray kSettings = "[SYSTEM]\nappName=着信\nURLinit=True\nCommPort=3\niconFile_on=\\on.png\n\n"
                             "[URL]\nbrowse=True\nhistory=\npath1=http://old.example/\npath2=http://crm.example/\n"
                             "path3=\n";

struct UrlRig
{
    explicit UrlRig(AppStateCode appState, const QByteArray& settings = kSettings)
    {
        dir.writeSettings(settings);
        state = dir.makeState();
        LoadSettings(state);
        state.appState = appState;
        mainWindow.move(140, 90);
        dialog = std::make_unique<frmUrl>(state, boxes, chooser, mainWindow);
        dialog->show();
    }
    QString file(const char* key, const char* section = "URL") const
    {
        return ReadIni(state, QLatin1String(section), QLatin1String(key));
    }
    QString defaultPath() const { return dir.path() + QStringLiteral("/mdb/cti.mdb"); }
    QString lastMessage() const { return boxes.shown.empty() ? QString() : boxes.shown.back().text; }

    TempAppDir dir;
    SharedState state;
    ScriptedMessageBoxes boxes;
    ScriptedFileChooser chooser;
    QWidget mainWindow;
    std::unique_ptr<frmUrl> dialog;
};

} // namespace

// Only an exact "True" checks a box and enables its text box; an empty path3 becomes the
// default path, in the box and in memory, joined once even to a root and keeping a backslash,
// an ordinary character in a Linux directory name.
TEST(frmUrlOpening, ShowsTheSettings)
{
    UrlRig rig(UrlStep, "[URL]\nbrowse=true\nhistory=True\npath3=\n");
    EXPECT_FALSE(rig.dialog->chkUrl->isChecked() || rig.dialog->txtUrl->isEnabled());
    EXPECT_TRUE(rig.dialog->chkHist->isChecked() && rig.dialog->txtDbPath->isEnabled());
    EXPECT_EQ(rig.dialog->txtDbPath->text(), rig.defaultPath());
    EXPECT_EQ(rig.state.urlSettings.path3, rig.defaultPath());
    EXPECT_EQ(rig.state.urlSettings.browse, QStringLiteral("true"));
    EXPECT_EQ(rig.dialog->lbUrlExm->text(), QStringLiteral("例："));
    EXPECT_EQ(frmUrl::defaultDatabasePath(QStringLiteral("/srv/a\\b")), QStringLiteral("/srv/a\\b/mdb/cti.mdb"));
    EXPECT_EQ(frmUrl::defaultDatabasePath(QStringLiteral("/")), QStringLiteral("/mdb/cti.mdb"));
}

// The example line for a 60-character path2 fits the label's width, and its ink ends above
// the URL box.
TEST(frmUrlOpening, ExampleLineReadable)
{
    UrlRig rig(StandbyOff, "[URL]\npath2=http://crm.example.jp/customer/search?tel=&source=phone&v=12\n");
    QLabel& label = *rig.dialog->lbUrlExm;
    EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(label.text()), label.contentsRect().width());
    const QImage ink = label.grab().toImage();
    int lowest = -1;
    for (int i = 0; i < ink.width() * ink.height(); ++i)
        lowest = qGray(ink.pixel(i % ink.width(), i / ink.width())) < 128 ? i / ink.width() : lowest;
    EXPECT_TRUE(lowest >= 0 && label.y() + lowest < rig.dialog->txtUrl->y());
}

// Both boxes empty: No writes nothing and keeps the dialog open; Yes registers URLinit
// "False", browse and history as the boxes left them, and empties path1 and path3 only where
// their box is checked.
TEST(frmUrlOk, BothBoxesEmpty)
{
    for (const auto& [url, hist] : std::vector<std::pair<bool, bool>>{{false, false}, {true, false}, {false, true}}) {
        UrlRig rig(UrlStep, QByteArray(kSettings).replace("path3=", "path3=/old.mdb"));
        rig.dialog->chkUrl->setChecked(url);
        rig.dialog->chkHist->setChecked(hist);
        rig.dialog->txtUrl->clear();
        rig.dialog->txtDbPath->clear();
        const QByteArray before = rig.dir.settingsBytes();
        rig.boxes.answers = {Answer::No, Answer::Yes};
        rig.dialog->cmdOK->click();
        EXPECT_EQ(rig.lastMessage(),
                  QStringLiteral("\r設定が完了していません。\rこのまま設定ファイルに書き込みますか？"));
        EXPECT_EQ(rig.dir.settingsBytes(), before);
        EXPECT_TRUE(rig.dialog->isVisible());
        EXPECT_EQ(rig.state.appState, UrlStep);

        rig.dialog->cmdOK->click();
        EXPECT_EQ(rig.lastMessage(), QStringLiteral("未設定で登録しました。"));
        EXPECT_EQ(rig.boxes.shown.back().icon, MessageBoxes::Icon::None);
        EXPECT_EQ(rig.file("path1"), url ? QString() : QStringLiteral("http://old.example/"));
        EXPECT_EQ(rig.file("path3"), hist ? QString() : QStringLiteral("/old.mdb"));
        EXPECT_EQ(rig.file("browse"), url ? QStringLiteral("True") : QStringLiteral("False"));
        EXPECT_EQ(rig.file("history"), hist ? QStringLiteral("True") : QString());
        EXPECT_EQ(rig.file("URLinit", "SYSTEM"), QStringLiteral("False"));
        EXPECT_FALSE(rig.dialog->isVisible());
        EXPECT_EQ(rig.state.appState, AskStandby);
    }
}

// From the main window, a URL typed and then switched off: the file keeps its path1, gets
// browse "False" and is otherwise byte for byte as it was; appState stays.
TEST(frmUrlOk, UrlTypedThenSwitchedOff)
{
    UrlRig rig(StandbyOff);
    rig.dialog->txtUrl->setText(QStringLiteral("http://new.example/"));
    rig.dialog->chkUrl->click();
    rig.dialog->cmdOK->click();
    EXPECT_EQ(rig.lastMessage(), QStringLiteral("設定を登録しました。"));
    EXPECT_EQ(rig.boxes.shown.back().icon, MessageBoxes::Icon::None);
    EXPECT_EQ(rig.dir.settingsBytes(), QByteArray(kSettings).replace("browse=True", "browse=False"));
    EXPECT_EQ(rig.state.urlSettings.path1, QStringLiteral("http://new.example/"));
    EXPECT_EQ(rig.state.appState, StandbyOff);
}

// Nothing typed over an empty path3: the proposed path alone registers URLinit "True" and
// reaches the file only with chkHist checked; a "true" left alone is written back as it was.
TEST(frmUrlOk, DefaultPathAndValuesLeftAlone)
{
    for (const bool checkHistory : {false, true}) {
        UrlRig rig(UrlStep, "[URL]\nbrowse=true\nhistory=true\n");
        if (checkHistory)
            rig.dialog->chkHist->click();
        rig.dialog->cmdOK->click();
        EXPECT_EQ(rig.file("path3"), checkHistory ? rig.defaultPath() : QString());
        EXPECT_EQ(rig.file("history"), checkHistory ? QStringLiteral("True") : QStringLiteral("true"));
        EXPECT_EQ(rig.file("browse"), QStringLiteral("true"));
        EXPECT_EQ(rig.file("URLinit", "SYSTEM"), QStringLiteral("True"));
    }
}

// A failed write: its message, URLinit "False" in memory, the start-up moving on. A read-only
// file takes nothing; a path the file's code page (CP932 here) cannot hold stops the writes
// after path1.
TEST(frmUrlOk, FailedWrite)
{
    UrlRig readOnly(UrlStep);
    ASSERT_TRUE(QFile::setPermissions(readOnly.dir.settingsPath(), QFile::ReadOwner));
    readOnly.dialog->cmdOK->click();
    EXPECT_EQ(readOnly.dir.settingsBytes(), kSettings);

    UrlRig cp932(UrlStep, "[SYSTEM]\nappName=\x92\x85\x90\x4d\nURLinit=True\n[URL]\nbrowse=True\npath1=\n");
    cp932.dialog->txtUrl->setText(QStringLiteral("http://new.example/"));
    cp932.dialog->chkHist->click();
    cp932.dialog->txtDbPath->setText(QStringLiteral("/\U0001F600.mdb"));
    cp932.dialog->cmdOK->click();
    EXPECT_EQ(cp932.file("path1"), QStringLiteral("http://new.example/"));
    EXPECT_EQ(cp932.file("history"), QString());

    for (UrlRig* rig : {&readOnly, &cp932}) {
        EXPECT_EQ(rig->lastMessage(), QStringLiteral("設定ファイルの書き込みに失敗しました。"));
        EXPECT_EQ(rig->boxes.shown.back().icon, MessageBoxes::Icon::None);
        EXPECT_EQ(rig->state.systemSettings.URLinit, QStringLiteral("False"));
        EXPECT_EQ(rig->file("URLinit", "SYSTEM"), QStringLiteral("True"));
        EXPECT_EQ(rig->state.appState, AskStandby);
        EXPECT_FALSE(rig->dialog->isVisible());
    }
}

// Cancel asks only in the start-up step. Unasked or confirmed, it reloads every setting
// (undoing the check box and the proposed path) and closes; unconfirmed, everything stays.
// Closed by the window manager, the dialog reloads without asking or moving appState.
TEST(frmUrlCancel, ReloadsOrStays)
{
    struct Row
    {
        StateNumber appState;
        bool byCancel;
        Answer answer;
        StateNumber after;
    };
    for (const Row& row : std::vector<Row>{{StandbyOff, true, Answer::Ok, StandbyOff},
                                           {UrlStep, true, Answer::Cancel, UrlStep},
                                           {UrlStep, true, Answer::Ok, Quit},
                                           {UrlStep, false, Answer::Ok, UrlStep}}) {
        UrlRig rig(row.appState);
        rig.dialog->chkUrl->click();
        rig.state.systemSettings.CommPort.clear();
        rig.boxes.answers = {row.answer};
        row.byCancel ? rig.dialog->cmdCancel->click() : void(rig.dialog->close());
        const bool closes = row.answer == Answer::Ok;
        EXPECT_EQ(rig.lastMessage(),
                  row.byCancel && row.appState == UrlStep ? QStringLiteral("終了します。よろしいですか？") : QString());
        EXPECT_EQ(rig.dialog->isVisible(), !closes);
        EXPECT_EQ(rig.state.appState, row.after);
        EXPECT_EQ(rig.state.urlSettings.browse, closes ? QStringLiteral("True") : QStringLiteral("False"));
        EXPECT_EQ(rig.state.urlSettings.path3, closes ? QString() : rig.defaultPath());
        EXPECT_EQ(rig.state.systemSettings.CommPort, closes ? QStringLiteral("3") : QString());
        EXPECT_EQ(rig.dir.settingsBytes(), kSettings);
    }
}

// The browse button takes a chosen file into the box; a cancel or a failed dialog changes
// nothing and shows nothing.
TEST(frmUrlBrowse, ChooseCancelFail)
{
    for (const auto& answer : {std::optional<QString>(QStringLiteral("/data/calls.mdb")), std::optional<QString>(),
                               std::optional<QString>(QString())}) {
        UrlRig rig(StandbyOff);
        rig.chooser.answers = {answer};
        rig.dialog->cbBrowse->click();
        EXPECT_EQ(rig.chooser.lastParent, rig.dialog.get());
        EXPECT_EQ(rig.dialog->txtDbPath->text(), answer.value_or(QString()).isEmpty() ? rig.defaultPath() : *answer);
        EXPECT_TRUE(rig.boxes.shown.empty());
    }
}

// Modal in the start-up step, exec() ends on OK with 104. Modeless with delete-on-close, as
// the popup opens it, it sits on the main window's corner with the iconFile_on picture and
// OK deletes it.
TEST(frmUrlRun, ModalAndModeless)
{
    UrlRig rig(UrlStep);
    rig.dialog->hide();
    QTimer::singleShot(0, rig.dialog.get(), [&] { rig.dialog->cmdOK->click(); });
    EXPECT_EQ(rig.dialog->exec(), QDialog::Accepted);
    EXPECT_EQ(rig.state.appState, AskStandby);

    QImage green(16, 16, QImage::Format_ARGB32);
    green.fill(Qt::green);
    ASSERT_TRUE(green.save(rig.dir.filePath(QStringLiteral("on.png"))));
    QPointer<frmUrl> modeless = new frmUrl(rig.state, rig.boxes, rig.chooser, rig.mainWindow);
    modeless->setAttribute(Qt::WA_DeleteOnClose);
    modeless->show();
    EXPECT_EQ(modeless->pos(), rig.mainWindow.pos());
    EXPECT_EQ(modeless->windowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32), green);
    modeless->cmdOK->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(modeless.isNull());
}

// Ending the program closes every window: a modeless dialog deleted under its own message box
// must not be touched afterwards.
TEST(frmUrlRun, DeletedUnderItsMessageBox)
{
    UrlRig rig(StandbyOff);
    QPointer<frmUrl> modeless = new frmUrl(rig.state, rig.boxes, rig.chooser, rig.mainWindow);
    modeless->setAttribute(Qt::WA_DeleteOnClose);
    modeless->show();
    rig.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        modeless->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    modeless->cmdOK->click();
    EXPECT_TRUE(modeless.isNull());
    EXPECT_EQ(rig.lastMessage(), QStringLiteral("設定を登録しました。"));
}
