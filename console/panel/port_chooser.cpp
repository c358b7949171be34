#include "port_chooser.h"

#include "serial/port_names.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace console {

namespace {

// The long by-id name last, where it may run past the edge.
enum Column { Port, Device, VendorId, ProductId, Product, Serial, Driver, Holder, ById, ColumnCount };

QStringList rowTexts(const serial::ListedPort &port, const QString &deviceDir)
{
    QStringList texts(ColumnCount);
    // The number a port box takes for it; a port without one goes there by
    // its path, the Device column.
    const QString text = serial::portTextForDevice(port.device, deviceDir);
    if (text != port.device)
        texts[Port] = text;
    texts[Device] = port.device;
    texts[VendorId] = port.vendorId;
    texts[ProductId] = port.productId;
    texts[Product] = port.product;
    texts[Serial] = port.serial;
    texts[Driver] = port.driver;
    texts[ById] = QFileInfo(port.byId).fileName();
    if (port.holder)
        texts[Holder] = PortChooser::tr("%1 (process %2)").arg(port.holder->name).arg(port.holder->pid);
    return texts;
}

} // namespace

PortChooser::PortChooser(const serial::PortListPlaces &places, const QString &current, QWidget *parent)
    : QDialog(parent)
    , m_places(places)
{
    setWindowTitle(tr("Choose Port"));
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({tr("Port"), tr("Device"), tr("Vendor ID"), tr("Product ID"), tr("Product"),
                             tr("Serial"), tr("Driver"), tr("In use by"), tr("By-id name")});
    // Enter and a double-click both activate a row.
    connect(m_list, &QTreeWidget::itemActivated, this, &PortChooser::accept);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *refresh = m_buttons->addButton(tr("&Refresh"), QDialogButtonBox::ResetRole);
    connect(refresh, &QPushButton::clicked, this, [this] {
        const QTreeWidgetItem *item = m_list->currentItem();
        fill(item ? item->text(Device) : QString());
    });
    connect(m_buttons, &QDialogButtonBox::accepted, this, &PortChooser::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &PortChooser::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list);
    layout->addWidget(m_buttons);
    fill(current);
    // Every column in sight where the screen allows.
    const QRect screen = this->screen()->availableGeometry();
    const int margins = sizeHint().width() - m_list->sizeHint().width();
    resize(std::min(m_list->header()->length() + margins + 40, screen.width() * 9 / 10), 300);
}

void PortChooser::fill(const QString &select)
{
    m_list->clear();
    const QList<serial::ListedPort> ports = serial::listSerialPorts(m_places);
    m_summary->setText(ports.isEmpty() ? serial::describePortList(ports)
                                       : tr("The serial ports of this machine now. Double-click one or press "
                                            "Enter to put it in the panel's port box."));
    for (const serial::ListedPort &port : ports) {
        auto *item = new QTreeWidgetItem(m_list, rowTexts(port, m_places.deviceDir));
        item->setToolTip(Device, serial::describeListedPort(port));
        item->setToolTip(ById, port.byId);
        if (port.device == select)
            m_list->setCurrentItem(item);
    }
    if (!m_list->currentItem() && m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    for (int column = 0; column < ColumnCount; ++column)
        m_list->resizeColumnToContents(column);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!ports.isEmpty());
}

void PortChooser::accept()
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    m_chosen = item->text(Device);
    QDialog::accept();
}

} // namespace console
