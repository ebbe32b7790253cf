#include "ui/ApplicationSetup.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

// Qt's own texts come in Japanese, as on a Japanese desktop, and closing the last visible
// window (a message box while the main window is in the tray) does not end the program.
TEST(ApplicationSetup, JapaneseButtonsAndNoQuitOnLastWindow)
{
    ASSERT_TRUE(prepareApplication(*qApp)) << "qt6-translations-l10n is not installed";
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));

    QTimer::singleShot(0, &box, &QMessageBox::show);
    QTimer::singleShot(50, &box, &QMessageBox::close);
    QTimer::singleShot(300, qApp, [] { QCoreApplication::exit(42); });
    EXPECT_EQ(QCoreApplication::exec(), 42) << "the program ended with its last window";
}
