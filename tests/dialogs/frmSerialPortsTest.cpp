#include "dialogs/frmSerialPorts.h"
#include "dialogs/frmAdapter.h"

#include "app/Settings.h"

#include "support/TestDesk.h"

#include <gtest/gtest.h>

namespace {

// The shipped settings with CTI-INS100 simulated on COM3 as adapter 1.
const TestDesk::Setup kSetup{.ini = "[SYSTEM]\nadapter=1\nCommPort=3\nCOMMinit=True\n", .adapter = "CTI-INS100"};

const QString kById = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

// Two devices: a USB adapter with a stable name that this user may not open, and the
// simulated adapter's pseudo-terminal without one.
QList<SerialPortEntry> twoDevices(const AdapterSimulator& sim)
{
    // clang-format off
    const SerialPortEntry usb{.device = "/dev/ttyUSB0", .byIdPath = kById, .description = "FT232R USB UART",
                              .manufacturer = "FTDI", .vendorId = 0x0403, .productId = 0x6001, .inUse = true,
                              .accessible = false, .accessGroup = "dialout"};
    // clang-format on
    SerialPortEntry pty;
    pty.device = sim.slavePath();
    return {usb, pty};
}

struct PortsWindow
{
    explicit PortsWindow(TestDesk& desk, int portEntry)
        : adapter(desk.state(), desk.boxes, desk.pauser, desk.comm(), desk.window())
    {
        adapter.setSerialPortLister([&desk] { return twoDevices(*desk.sim); });
        adapter.show();
        adapter.cboPort->setCurrentIndex(portEntry);
        adapter.cmdDevice->click();
        window = adapter.serialPortsWindow();
    }
    void select(int row) { window->lstPorts->setCurrentItem(window->lstPorts->topLevelItem(row)); }

    frmAdapter adapter;
    frmSerialPorts* window = nullptr;
};

} // namespace

// Each device with what tells it apart, and for one this user may not open the group granting access.
TEST(frmSerialPorts, ListsTheDevices)
{
    TestDesk desk(kSetup);
    PortsWindow p(desk, 4);
    ASSERT_NE(p.window, nullptr);
    EXPECT_TRUE(p.window->isVisible());
    ASSERT_EQ(p.window->lstPorts->topLevelItemCount(), 2);
    const QTreeWidgetItem* usb = p.window->lstPorts->topLevelItem(0);
    EXPECT_EQ(usb->text(0), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(usb->text(1), QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    EXPECT_EQ(usb->text(2), QStringLiteral("FT232R USB UART"));
    EXPECT_EQ(usb->text(3), QStringLiteral("FTDI"));
    EXPECT_EQ(usb->text(4), QStringLiteral("0403:6001"));
    EXPECT_EQ(usb->text(5), QStringLiteral("使用中・アクセス権なし"));
    EXPECT_EQ(p.window->lstPorts->topLevelItem(1)->text(5), QString());
    EXPECT_TRUE(p.window->lbTarget->text().contains(QStringLiteral("Com5")));
    EXPECT_FALSE(p.window->cmdAssign->isEnabled()) << "nothing selected yet";

    p.select(0);
    EXPECT_TRUE(p.window->lbAccess->text().contains(QStringLiteral("「dialout」")));
    EXPECT_TRUE(p.window->cmdAssign->isEnabled());
    p.select(1);
    EXPECT_TRUE(p.window->lbAccess->text().isEmpty());

    // Opening it again brings the same window forward.
    p.adapter.cmdDevice->click();
    EXPECT_EQ(p.adapter.serialPortsWindow(), p.window);
}

// Assigning writes one PORTS line (by-id name, else the device) and nothing else; the label follows.
TEST(frmSerialPorts, AssignWritesOneLine)
{
    struct Row
    {
        int portEntry;
        int device;
        const char* key;
        bool replaces;
    };
    const Row rows[] = {{4, 0, "COM5", false}, {4, 1, "COM5", false}, {2, 1, "COM3", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key + std::to_string(row.device));
        TestDesk desk(kSetup);
        PortsWindow p(desk, row.portEntry);
        const QString value = row.device == 0 ? kById : desk.sim->slavePath();
        const QByteArray before = desk.dir.settingsBytes();
        const QByteArray oldLine = "COM3=" + desk.sim->portPath().toUtf8() + "\n";
        ASSERT_TRUE(before.contains(oldLine));
        p.select(row.device);
        p.window->cmdAssign->click();

        const QByteArray line = QByteArray(row.key) + '=' + value.toUtf8() + '\n';
        QByteArray after = desk.dir.settingsBytes();
        ASSERT_TRUE(after.contains(line));
        after.replace(after.indexOf(line), line.size(), row.replaces ? oldLine : QByteArray());
        EXPECT_EQ(after, before);
        EXPECT_EQ(ReadIni(desk.state(), "PORTS", QLatin1String(row.key)), value);
        // The label beside the port list may shorten a long name; its tooltip has it whole.
        EXPECT_EQ(p.adapter.lbPortDevice->toolTip(), value);
        EXPECT_TRUE(desk.boxes.shown.empty());
    }
}

// No COM number chosen: nothing to assign; a settings file that cannot be written says so.
TEST(frmSerialPorts, AssignRefused)
{
    TestDesk desk(kSetup);
    PortsWindow none(desk, -1);
    none.select(1);
    EXPECT_FALSE(none.window->cmdAssign->isEnabled());
    EXPECT_EQ(none.window->lbTarget->text(), QStringLiteral("アダプタ設定でポートを指定してください。"));

    PortsWindow p(desk, 4);
    const QByteArray before = desk.dir.settingsBytes();
    desk.makeSettingsReadOnly();
    p.select(1);
    p.window->cmdAssign->click();
    ASSERT_EQ(desk.boxes.shown.size(), 1u);
    EXPECT_EQ(desk.boxes.shown[0].text, QStringLiteral("INIファイルの書き込みに失敗しました。"));
    EXPECT_EQ(desk.dir.settingsBytes(), before);
}
