#include "dialogs/frmUrl.h"
#include "dialogs/FollowDialog.h"

#include "app/Settings.h"

#include "support/QStringPrinter.h"
#include "support/TestDesk.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

namespace {

using Answer = MessageBoxes::Answer;
using enum AppStateCode;

// A user whose URL is registered, with the browser on and no history.
const QByteArray kSettings = "[SYSTEM]\nappName=着信\nURLinit=True\nCommPort=3\niconFile_on=\\on.png\n\n"
                             "[URL]\nbrowse=True\nhistory=\npath1=http://old.example/\npath2=http://crm.example/\n"
                             "path3=\n";

// The URL dialog shown over exactly `settings`, in `appState`.
struct UrlDialog
{
    explicit UrlDialog(AppStateCode appState, const QByteArray& settings = kSettings)
        : desk({.ini = settings, .adapter = {}, .shipped = false})
    {
        desk.state().appState = appState;
        dialog = std::make_unique<frmUrl>(desk.state(), desk.boxes, desk.chooser, desk.window());
        dialog->show();
    }
    QString file(const char* key, const char* section = "URL")
    {
        return ReadIni(desk.state(), QLatin1String(section), QLatin1String(key));
    }
    /// path1, path3, browse, history and URLinit as the file has them.
    QStringList files()
    {
        return {file("path1"), file("path3"), file("browse"), file("history"), file("URLinit", "SYSTEM")};
    }
    QString defaultPath() const { return desk.dir.path() + QStringLiteral("/mdb/cti.mdb"); }
    AppStateCode appState() { return desk.state().appState; }
    QString lastMessage() const { return desk.boxes.shown.empty() ? QString() : desk.boxes.shown.back().text; }

    TestDesk desk;
    std::unique_ptr<frmUrl> dialog;
};

} // namespace

// Only an exact "True" checks a box; an empty path3 becomes the default path, joined once, a backslash kept.
TEST(frmUrlOpening, ShowsTheSettings)
{
    UrlDialog u(UrlStep, "[URL]\nbrowse=true\nhistory=True\npath3=\n");
    EXPECT_EQ(std::tuple(u.dialog->chkUrl->isChecked(), u.dialog->txtUrl->isEnabled(), u.dialog->chkHist->isChecked(),
                         u.dialog->txtDbPath->isEnabled()),
              std::tuple(false, false, true, true));
    EXPECT_EQ(QStringList({u.dialog->txtDbPath->text(), u.desk.state().urlSettings.path3,
                           u.desk.state().urlSettings.browse, u.dialog->lbUrlExm->text()}),
              QStringList({u.defaultPath(), u.defaultPath(), "true", "例："}));
    EXPECT_EQ(frmUrl::defaultDatabasePath(QStringLiteral("/srv/a\\b")), QStringLiteral("/srv/a\\b/mdb/cti.mdb"));
    EXPECT_EQ(frmUrl::defaultDatabasePath(QStringLiteral("/")), QStringLiteral("/mdb/cti.mdb"));
}

// A URL read cut at the file's limit is told under the form, which grows to hold it; a URL that fits is not.
TEST(frmUrlOpening, CutUrlIsTold)
{
    const QByteArray longUrl = "path1=http://old.example/?q=" + QByteArray(1100, 'x');
    UrlDialog cut(StandbyOff, QByteArray(kSettings).replace("path1=http://old.example/", longUrl) +
                                  "[FOLLOW]\nuri=postgresql://db/office?application_name=" + QByteArray(1100, 'x'));
    ASSERT_NE(cut.dialog->lbCutValues, nullptr);
    EXPECT_TRUE(cut.dialog->lbCutValues->text().contains("[URL] path1"));
    EXPECT_GE(cut.dialog->height(), cut.dialog->lbCutValues->geometry().bottom());
    EXPECT_EQ(UrlDialog(StandbyOff).dialog->lbCutValues, nullptr);
    const FollowDialog follow(cut.desk.state(), cut.desk.boxes);
    ASSERT_NE(follow.findChild<QLabel*>("lbCutValues"), nullptr);
    EXPECT_TRUE(follow.findChild<QLabel*>("lbCutValues")->text().contains("[FOLLOW] uri"));
}

// The example line for a 60-character path2 fits the label and its ink ends above the URL box.
TEST(frmUrlOpening, ExampleLineReadable)
{
    UrlDialog u(StandbyOff, "[URL]\npath2=http://crm.example.jp/customer/search?tel=&source=phone&v=12\n");
    QLabel& label = *u.dialog->lbUrlExm;
    EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(label.text()), label.contentsRect().width());
    const QImage ink = label.grab().toImage();
    int lowest = -1;
    for (int i = 0; i < ink.width() * ink.height(); ++i)
        lowest = qGray(ink.pixel(i % ink.width(), i / ink.width())) < 128 ? i / ink.width() : lowest;
    EXPECT_TRUE(lowest >= 0 && label.y() + lowest < u.dialog->txtUrl->y());
}

// The example line shows what a call would open at the URL typed, path2 while none is; chkNotify shows and sets notify,
// chkWithheld openwithheld (checked while the key is absent).
TEST(frmUrlOpening, ExampleOfTheUrlTypedAndTheNotifyBox)
{
    EXPECT_FALSE(UrlDialog(StandbyOff, kSettings + "openwithheld=False\n").dialog->chkWithheld->isChecked());
    UrlDialog u(StandbyOff, QByteArray(kSettings).replace("path3=", "path3=\nnotify=True"));
    EXPECT_EQ(u.dialog->lbUrlExm->text(), "例：http://old.example/0312345678");
    EXPECT_TRUE(u.dialog->chkNotify->isChecked() && u.dialog->chkWithheld->isChecked());
    u.dialog->chkWithheld->click();
    u.dialog->txtUrl->setText(QStringLiteral("https://crm.example.jp/search?tel={number}&src=phone&d={date}"));
    EXPECT_EQ(u.dialog->lbUrlExm->text(), "例：https://crm.example.jp/search?tel=0312345678&src=phone&d=" +
                                              QDate::currentDate().toString(Qt::ISODate));
    u.dialog->txtUrl->clear();
    EXPECT_EQ(u.dialog->lbUrlExm->text(), "例：http://crm.example/");
    u.dialog->chkNotify->click();
    u.dialog->txtUrl->setText(QStringLiteral("http://new.example/?tel={number}"));
    u.dialog->cmdOK->click();
    EXPECT_EQ(QStringList({u.file("notify"), u.file("path1"), u.file("openwithheld")}),
              QStringList({"False", "http://new.example/?tel={number}", "False"}));
}

// Both boxes empty: No writes nothing; Yes writes URLinit "False" and empties the checked boxes' paths.
TEST(frmUrlOk, BothBoxesEmpty)
{
    for (const auto& [url, hist] : std::vector<std::pair<bool, bool>>{{false, false}, {true, false}, {false, true}}) {
        UrlDialog u(UrlStep, QByteArray(kSettings).replace("path3=", "path3=/old.mdb"));
        u.dialog->chkUrl->setChecked(url);
        u.dialog->chkHist->setChecked(hist);
        u.dialog->txtUrl->clear();
        u.dialog->txtDbPath->clear();
        const QByteArray before = u.desk.dir.settingsBytes();
        u.desk.boxes.answers = {Answer::No, Answer::Yes};
        u.dialog->cmdOK->click();
        EXPECT_EQ(std::tuple(u.lastMessage(), u.desk.dir.settingsBytes(), u.dialog->isVisible(), u.appState()),
                  std::tuple(QString("\r設定が完了していません。\rこのまま設定ファイルに書き込みますか？"), before,
                             true, UrlStep));

        u.dialog->cmdOK->click();
        EXPECT_EQ(std::tuple(u.lastMessage(), u.desk.boxes.shown.back().icon, u.dialog->isVisible(), u.appState()),
                  std::tuple(QString("未設定で登録しました。"), MessageBoxes::Icon::None, false, AskStandby));
        EXPECT_EQ(u.files(), QStringList({url ? "" : "http://old.example/", hist ? "" : "/old.mdb",
                                          url ? "True" : "False", hist ? "True" : "", "False"}));
    }
}

// A URL typed then switched off: only browse "False" changes in the file; appState stays.
TEST(frmUrlOk, UrlTypedThenSwitchedOff)
{
    UrlDialog u(StandbyOff);
    u.dialog->txtUrl->setText(QStringLiteral("http://new.example/"));
    u.dialog->chkUrl->click();
    u.dialog->cmdOK->click();
    EXPECT_EQ(std::tuple(u.lastMessage(), u.desk.boxes.shown.back().icon, u.desk.state().urlSettings.path1,
                         u.desk.state().appState),
              std::tuple(QString("設定を登録しました。"), MessageBoxes::Icon::None, QString("http://new.example/"),
                         StandbyOff));
    EXPECT_EQ(u.desk.dir.settingsBytes(), QByteArray(kSettings).replace("browse=True", "browse=False"));
}

// The proposed path reaches the file only with chkHist checked; a "true" left alone is written back as is.
TEST(frmUrlOk, DefaultPathAndValuesLeftAlone)
{
    for (const bool checkHistory : {false, true}) {
        UrlDialog u(UrlStep, "[URL]\nbrowse=true\nhistory=true\n");
        if (checkHistory)
            u.dialog->chkHist->click();
        u.dialog->cmdOK->click();
        EXPECT_EQ(u.files().mid(1), QStringList({checkHistory ? u.defaultPath() : QString(), "true",
                                                 checkHistory ? "True" : "true", "True"}));
    }
}

// A failed write (read-only, or a path CP932 cannot hold): its message, URLinit "False" in memory, moving on.
TEST(frmUrlOk, FailedWrite)
{
    UrlDialog readOnly(UrlStep);
    ASSERT_TRUE(QFile::setPermissions(readOnly.desk.dir.settingsPath(), QFile::ReadOwner));
    readOnly.dialog->cmdOK->click();
    EXPECT_EQ(readOnly.desk.dir.settingsBytes(), kSettings);

    UrlDialog cp932(UrlStep, "[SYSTEM]\nappName=\x92\x85\x90\x4d\nURLinit=True\n[URL]\nbrowse=True\npath1=\n");
    cp932.dialog->txtUrl->setText(QStringLiteral("http://new.example/"));
    cp932.dialog->chkHist->click();
    cp932.dialog->txtDbPath->setText(QStringLiteral("/\U0001F600.mdb"));
    cp932.dialog->cmdOK->click();
    EXPECT_EQ(QStringList({cp932.file("path1"), cp932.file("history")}), QStringList({"http://new.example/", ""}));

    for (UrlDialog* rig : {&readOnly, &cp932}) {
        EXPECT_EQ(
            QStringList({rig->lastMessage(), rig->desk.state().systemSettings.URLinit, rig->file("URLinit", "SYSTEM")}),
            QStringList({"設定ファイルの書き込みに失敗しました。", "False", "True"}));
        EXPECT_EQ(std::tuple(rig->desk.boxes.shown.back().icon, rig->appState(), rig->dialog->isVisible()),
                  std::tuple(MessageBoxes::Icon::None, AskStandby, false));
    }
}

// Cancel asks only at start-up; closing reloads every setting, unconfirmed everything stays.
TEST(frmUrlCancel, ReloadsOrStays)
{
    // clang-format off
    struct Row { StateNumber appState; bool byCancel; Answer answer; StateNumber after; };
    for (const Row& row : std::vector<Row>{{StandbyOff, true, Answer::Ok, StandbyOff},
                                           {UrlStep, true, Answer::Cancel, UrlStep},
                                           {UrlStep, true, Answer::Ok, Quit},
                                           {UrlStep, false, Answer::Ok, UrlStep}}) {
        // clang-format on
        UrlDialog u(row.appState);
        u.dialog->chkUrl->click();
        u.desk.state().systemSettings.CommPort.clear();
        u.desk.boxes.answers = {row.answer};
        row.byCancel ? u.dialog->cmdCancel->click() : void(u.dialog->close());
        const bool closes = row.answer == Answer::Ok;
        const SharedState& st = u.desk.state();
        EXPECT_EQ(
            QStringList({u.lastMessage(), st.urlSettings.browse, st.urlSettings.path3, st.systemSettings.CommPort}),
            QStringList({row.byCancel && row.appState == UrlStep ? "終了します。よろしいですか？" : "",
                         closes ? "True" : "False", closes ? QString() : u.defaultPath(), closes ? "3" : ""}));
        EXPECT_EQ(std::tuple(u.dialog->isVisible(), st.appState, u.desk.dir.settingsBytes()),
                  std::tuple(!closes, AppStateCode(row.after), kSettings));
    }
}

// Browse takes a chosen file into the box; a cancel or a failed dialog changes and shows nothing.
TEST(frmUrlBrowse, ChooseCancelFail)
{
    for (const auto& answer : {std::optional<QString>(QStringLiteral("/data/calls.mdb")), std::optional<QString>(),
                               std::optional<QString>(QString())}) {
        UrlDialog u(StandbyOff);
        u.desk.chooser.answers = {answer};
        u.dialog->cbBrowse->click();
        EXPECT_EQ(std::tuple(u.desk.chooser.lastParent, u.dialog->txtDbPath->text(), u.desk.boxes.shown.size()),
                  std::tuple(u.dialog.get(), answer.value_or(QString()).isEmpty() ? u.defaultPath() : *answer, 0u));
    }
}

// Modal at start-up, OK ends exec() with 104; modeless, on the main window's corner with its icon, OK deletes it.
TEST(frmUrlRun, ModalAndModeless)
{
    UrlDialog u(UrlStep);
    u.dialog->hide();
    QTimer::singleShot(0, u.dialog.get(), [&] { u.dialog->cmdOK->click(); });
    EXPECT_EQ(u.dialog->exec(), QDialog::Accepted);
    EXPECT_EQ(u.appState(), AskStandby);

    u.desk.paint(QStringLiteral("on.png"), Qt::green);
    u.desk.window().move(140, 90);
    QPointer<frmUrl> modeless = new frmUrl(u.desk.state(), u.desk.boxes, u.desk.chooser, u.desk.window());
    modeless->setAttribute(Qt::WA_DeleteOnClose);
    modeless->show();
    EXPECT_EQ(modeless->pos(), u.desk.window().pos());
    EXPECT_EQ(pictureOf(modeless->windowIcon()), u.desk.filePicture(QStringLiteral("on.png")));
    modeless->cmdOK->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(modeless.isNull());
}

// A modeless dialog deleted under its own message box is not touched afterwards.
TEST(frmUrlRun, DeletedUnderItsMessageBox)
{
    UrlDialog u(StandbyOff);
    QPointer<frmUrl> modeless = new frmUrl(u.desk.state(), u.desk.boxes, u.desk.chooser, u.desk.window());
    modeless->setAttribute(Qt::WA_DeleteOnClose);
    modeless->show();
    u.desk.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        modeless->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    modeless->cmdOK->click();
    EXPECT_TRUE(modeless.isNull());
    EXPECT_EQ(u.lastMessage(), QStringLiteral("設定を登録しました。"));
}
