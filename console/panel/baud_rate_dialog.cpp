#include "baud_rate_dialog.h"

#include "desktop/message_boxes.h"
#include "serial/settings_string.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace console {

BaudRateDialog::BaudRateDialog(const QString &current, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Other Baud Rate"));
    m_rates = new QComboBox(this);
    m_rates->setEditable(true);
    m_rates->setInsertPolicy(QComboBox::NoInsert);
    for (qint32 rate : serial::offeredBaudRates())
        m_rates->addItem(QString::number(rate));
    m_rates->setCurrentText(current);
    m_rates->lineEdit()->selectAll();

    m_refusal = new QLabel(this);
    m_refusal->setWordWrap(true);
    QPalette warning = m_refusal->palette();
    warning.setColor(QPalette::WindowText, Qt::darkRed);
    m_refusal->setPalette(warning);
    connect(m_rates, &QComboBox::currentTextChanged, m_refusal, &QLabel::clear);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &BaudRateDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &BaudRateDialog::reject);

    auto *layout = new QFormLayout(this);
    layout->addRow(tr("Baud rate (%1 to %2):").arg(serial::kLowestBaudRate).arg(serial::kHighestBaudRate), m_rates);
    layout->addRow(m_refusal);
    layout->addRow(buttons);
}

void BaudRateDialog::accept()
{
    const serial::TypedBaudRate typed = serial::parseTypedBaudRate(m_rates->currentText());
    if (!typed.rate) {
        m_refusal->setText(typed.refusal);
        // The dialog grows to show the whole reason.
        m_refusal->setMinimumWidth(desktop::fittedTextWidth(m_refusal));
        adjustSize();
        m_rates->setFocus();
        return;
    }
    m_rate = *typed.rate;
    QDialog::accept();
}

} // namespace console
