#include <QApplication>

#include <gtest/gtest.h>

// Every test binary runs with a QApplication, so widgets and event loops are available.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The calls tests make are announced on no real desktop: the session bus is one nobody
    // serves, unless a test brings its own.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/chakushin-tests-bus");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
