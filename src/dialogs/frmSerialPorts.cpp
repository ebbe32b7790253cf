#include "dialogs/frmSerialPorts.h"

#include "app/MessageBoxes.h"
#include "app/SharedState.h"
#include "ui/FormControls.h"
#include "ui/JapaneseFont.h"
#include "ui/Twips.h"

#include <QHeaderView>

namespace {

constexpr int kClientWidth = 10800;
constexpr int kClientHeight = 5400;

enum Column
{
    DeviceColumn,
    ByIdColumn,
    DescriptionColumn,
    ManufacturerColumn,
    UsbIdColumn,
    StateColumn,
    ColumnCount
};

QString usbIds(const SerialPortEntry& entry)
{
    if (!entry.vendorId && !entry.productId)
        return {};
    const auto hex = [](const std::optional<quint16>& id) {
        return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QStringLiteral("----");
    };
    return hex(entry.vendorId) + u':' + hex(entry.productId);
}

QString stateText(const SerialPortEntry& entry)
{
    QStringList notes;
    if (entry.inUse)
        notes << QStringLiteral("使用中");
    if (!entry.accessible)
        notes << QStringLiteral("アクセス権なし");
    return notes.join(QStringLiteral("・"));
}

// The window's message lines: empty at first, in the text boxes' face, wrapped.
QLabel* makeNote(QWidget* parent, const char* name, QRect place)
{
    QLabel* label = makeLabel(parent, QLatin1String(name), QString(), place, kTextBoxPointSize);
    label->setWordWrap(true);
    return label;
}
} // namespace

frmSerialPorts::frmSerialPorts(SharedState& state, MessageBoxes& messageBoxes, int port, Lister lister, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_state(state)
    , m_messageBoxes(messageBoxes)
    , m_port(port)
    , m_lister(std::move(lister))
{
    setObjectName(QStringLiteral("frmSerialPorts"));
    setWindowTitle(QStringLiteral("シリアルポート"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    createControls();
    cmdRefresh_Click();
}

void frmSerialPorts::createControls()
{
    lbTarget = makeNote(this, "lbTarget", twipsRect(240, 120, 10320, 300));
    lbTarget->setText(m_port > 0
                          ? QStringLiteral("アダプタをつないだデバイスを選んで「割り当て」をクリックすると、Com%1 "
                                           "がそのデバイスになります。")
                                .arg(m_port)
                          : QStringLiteral("アダプタ設定でポートを指定してください。"));

    lstPorts = new QTreeWidget(this);
    lstPorts->setObjectName(QStringLiteral("lstPorts"));
    lstPorts->setGeometry(twipsRect(240, 480, 10320, 3000));
    lstPorts->setFont(japaneseFont(kTextBoxPointSize));
    lstPorts->setRootIsDecorated(false);
    lstPorts->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPorts->setColumnCount(ColumnCount);
    lstPorts->setHeaderLabels({QStringLiteral("デバイス"), QStringLiteral("by-id 名"), QStringLiteral("説明"),
                               QStringLiteral("製造元"), QStringLiteral("VID:PID"), QStringLiteral("状態")});
    // The by-id name takes what the other columns leave and loses its middle when long;
    // the whole name is in its tooltip.
    lstPorts->setTextElideMode(Qt::ElideMiddle);
    lstPorts->header()->setStretchLastSection(false);
    lstPorts->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstPorts->header()->setSectionResizeMode(ByIdColumn, QHeaderView::Stretch);
    connect(lstPorts, &QTreeWidget::itemSelectionChanged, this, &frmSerialPorts::selectionChanged);

    lbAccess = makeNote(this, "lbAccess", twipsRect(240, 3600, 10320, 600));
    lbResult = makeNote(this, "lbResult", twipsRect(240, 4260, 10320, 300));

    cmdRefresh = makeButton(this, "cmdRefresh", QStringLiteral("再表示"), twipsRect(240, 4680, 1455, 495));
    cmdAssign = makeButton(this, "cmdAssign", QStringLiteral("割り当て"), twipsRect(7560, 4680, 1455, 495));
    cmdClose = makeButton(this, "cmdClose", QStringLiteral("閉じる"), twipsRect(9120, 4680, 1455, 495));
    connect(cmdRefresh, &QPushButton::clicked, this, &frmSerialPorts::cmdRefresh_Click);
    connect(cmdAssign, &QPushButton::clicked, this, &frmSerialPorts::cmdAssign_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
}

void frmSerialPorts::cmdRefresh_Click()
{
    m_entries = m_lister ? m_lister() : QList<SerialPortEntry>();
    lstPorts->clear();
    for (const SerialPortEntry& entry : std::as_const(m_entries)) {
        auto* item = new QTreeWidgetItem(lstPorts);
        item->setText(DeviceColumn, entry.device);
        item->setText(ByIdColumn, entry.byIdPath.section(u'/', -1));
        item->setToolTip(ByIdColumn, entry.byIdPath);
        item->setText(DescriptionColumn, entry.description);
        item->setText(ManufacturerColumn, entry.manufacturer);
        item->setText(UsbIdColumn, usbIds(entry));
        item->setText(StateColumn, stateText(entry));
    }
    lbResult->setText(m_entries.isEmpty() ? QStringLiteral("シリアルポートが見つかりません。") : QString());
    selectionChanged();
}

const SerialPortEntry* frmSerialPorts::selectedEntry() const
{
    const QList<QTreeWidgetItem*> selected = lstPorts->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    const int row = lstPorts->indexOfTopLevelItem(selected.front());
    return row >= 0 && row < m_entries.size() ? &m_entries[row] : nullptr;
}

void frmSerialPorts::selectionChanged()
{
    const SerialPortEntry* entry = selectedEntry();
    cmdAssign->setEnabled(entry != nullptr && m_port > 0);
    if (entry && !entry->accessible) {
        const QString group = entry->accessGroup.isEmpty() ? QStringLiteral("dialout") : entry->accessGroup;
        lbAccess->setText(QStringLiteral("このデバイスを開く権限がありません。グループ「%1」に参加すると使えます"
                                         "（sudo adduser $USER %1 の後、ログインし直してください）。")
                              .arg(group));
    } else {
        lbAccess->clear();
    }
}

void frmSerialPorts::cmdAssign_Click()
{
    const SerialPortEntry* entry = selectedEntry();
    if (!entry || m_port <= 0)
        return;
    if (assignPortDevice(m_state, m_port, *entry) <= 0) {
        m_messageBoxes.show(QStringLiteral("INIファイルの書き込みに失敗しました。"), m_state.systemSettings.appName,
                            MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
        return;
    }
    lbResult->setText(QStringLiteral("Com%1 を %2 に割り当てました。").arg(m_port).arg(portMappingValue(*entry)));
    emit assigned(m_port);
}
