#pragma once

#include "link/SerialPorts.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <functional>

class MessageBoxes;
struct SharedState;

/// The serial ports of this system, for finding the adapter's device: each with its
/// stable by-id name, description, maker, USB ids, whether it is in use and whether this
/// user may open it. The selected device can be assigned to the COM number chosen in the
/// adapter dialog, which writes PORTS `COM`n to settings.ini.
class frmSerialPorts final : public QDialog
{
    Q_OBJECT

public:
    using Lister = std::function<QList<SerialPortEntry>()>;

    /// `port` is the COM number to assign to (0: none chosen, assigning is refused).
    frmSerialPorts(SharedState& state, MessageBoxes& messageBoxes, int port, Lister lister, QWidget* parent = nullptr);

    /// Lists the ports anew.
    void cmdRefresh_Click();
    /// Writes the selected device as the chosen COM number's device.
    void cmdAssign_Click();

    QLabel* lbTarget = nullptr;
    QTreeWidget* lstPorts = nullptr;
    QLabel* lbAccess = nullptr;
    QLabel* lbResult = nullptr;
    QPushButton* cmdAssign = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdClose = nullptr;

Q_SIGNALS:
    /// PORTS `COM`port has been written.
    void assigned(int port);

private:
    void createControls();
    void selectionChanged();
    const SerialPortEntry* selectedEntry() const;

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;
    int m_port;
    Lister m_lister;
    QList<SerialPortEntry> m_entries;
};
