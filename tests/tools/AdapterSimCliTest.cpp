#include "support/TempAppDir.h"
#include "tools/SerialPeer.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#ifndef CHAKUSHIN_ADAPTER_SIM
#error "CHAKUSHIN_ADAPTER_SIM must name the simulator executable"
#endif

namespace {

constexpr int kProcessTimeoutMs = 5000;

class AdapterSimCliTest : public ::testing::Test
{
protected:
    void SetUp() override { m_app.copyShippedSettings(); }

    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kProcessTimeoutMs);
        }
    }

    /// Starts the simulator and returns the device path it prints first, or empty.
    QString launch(const QStringList& arguments)
    {
        run(arguments);
        if (!m_process.waitForStarted(kProcessTimeoutMs))
            return {};
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(kProcessTimeoutMs))
                return {};
        }
        return QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }

    /// Starts the simulator on the application's settings with `arguments`.
    void run(const QStringList& arguments)
    {
        m_process.start(CHAKUSHIN_ADAPTER_SIM, QStringList{"--settings", m_app.settingsPath()} + arguments);
    }

    bool finishes()
    {
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(kProcessTimeoutMs))
            return false;
        return m_process.exitStatus() == QProcess::NormalExit;
    }

    TempAppDir m_app;
    QProcess m_process;
};

// The developer's set-up: device linked at the port, a typed call arrives, commands answered and logged, quit unlinks.
TEST_F(AdapterSimCliTest, CallTypedOnInputArrivesThroughTheLink)
{
    const QString link = m_app.filePath(QStringLiteral("COM3"));
    const QString device = launch({"--model", "CTI-AN10", "--link", link});
    ASSERT_FALSE(device.isEmpty()) << m_process.readAllStandardError().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), device);

    SerialPeer peer;
    ASSERT_TRUE(peer.open(link)) << peer.errorString().toStdString();
    m_process.write("call 0312345678\n");
    EXPECT_EQ(peer.readLine().value_or("<none>"), "CALL0312345678:1");
    peer.send("AT\r");
    EXPECT_EQ(peer.readLine().value_or("<none>"), "0");

    m_process.write("quit\n");
    ASSERT_TRUE(finishes());
    EXPECT_EQ(m_process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(link) || QFileInfo(link).isSymLink());
    const QString log = QString::fromUtf8(m_process.readAllStandardError());
    EXPECT_TRUE(log.contains(QStringLiteral("<< AT<CR>"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral(">> CALL0312345678:1<CR><LF>"))) << log.toStdString();
}

// Its calls ring on port 1 (the ":1" above), and its CTI read-out says that port notifies.
TEST_F(AdapterSimCliTest, ReadOutNamesThePortItsCallsRingOn)
{
    const QString device = launch({"--model", "CTI-INS100"});
    SerialPeer peer;
    ASSERT_TRUE(peer.open(device)) << peer.errorString().toStdString();
    peer.send("AT*CTI?\r");
    EXPECT_EQ(peer.readLine().value_or("<none>"), "*CTI:1");
}

// Without periodic calls the end of input ends the simulator, after running a last line that has no newline.
TEST_F(AdapterSimCliTest, EndOfInputEnds)
{
    const QString device = launch({"--adapter", "1"});
    ASSERT_FALSE(device.isEmpty());
    SerialPeer peer;
    ASSERT_TRUE(peer.open(device)) << peer.errorString().toStdString();
    m_process.write("raw last words");
    m_process.closeWriteChannel();
    EXPECT_EQ(peer.readLine().value_or("<none>"), "last words");
    ASSERT_TRUE(finishes());
    EXPECT_EQ(m_process.exitCode(), 0);
}

// With --call-every it runs unattended: end of input does not stop it, frames keep coming, SIGTERM ends it cleanly.
TEST_F(AdapterSimCliTest, PeriodicCallsRunUntilTerminated)
{
    const QString device = launch({"--adapter", "4", "--call-every", "0.1", "--number", "0611112222"});
    ASSERT_FALSE(device.isEmpty()) << m_process.readAllStandardError().toStdString();
    m_process.closeWriteChannel();
    SerialPeer peer;
    ASSERT_TRUE(peer.open(device)) << peer.errorString().toStdString();
    for (int i = 0; i < 2; ++i) {
        const auto frame = peer.readFrame();
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->size(), 29);
        EXPECT_TRUE(frame->endsWith("          0611112222"));
    }
    EXPECT_EQ(m_process.state(), QProcess::Running);
    m_process.terminate();
    ASSERT_TRUE(finishes());
    EXPECT_EQ(m_process.exitCode(), 0);
}

// Arguments that cannot be played are refused with a message and exit code 2, before any device is made.
TEST_F(AdapterSimCliTest, BadArgumentsAreRefused)
{
    const QStringList rows[] = {
        {"--model", "NO-SUCH-MODEL"},
        {"--adapter", "9"},
        {"--adapter", "5"}, // adapter5 is empty in the shipped file
        {"--model", "CTI-AN10", "--adapter", "1"},
        {"--call-every", "1"},
        {"--call-every", "0", "--number", "1"},
        {"--number", "1"},
        {"stray"},
    };
    for (const QStringList& row : rows) {
        run(row);
        ASSERT_TRUE(finishes()) << row.join(' ').toStdString();
        EXPECT_EQ(m_process.exitCode(), 2) << row.join(' ').toStdString();
        EXPECT_TRUE(m_process.readAllStandardOutput().isEmpty());
        EXPECT_FALSE(m_process.readAllStandardError().isEmpty());
    }
    m_process.start(CHAKUSHIN_ADAPTER_SIM, {"--settings", m_app.filePath("missing.ini")});
    ASSERT_TRUE(finishes());
    EXPECT_EQ(m_process.exitCode(), 2);
}

} // namespace
