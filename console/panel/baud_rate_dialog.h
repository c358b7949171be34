#pragma once

#include <QDialog>

class QComboBox;
class QLabel;

namespace console {

// "Other Baud Rate...": any whole rate from 50 to 4000000, typed or picked
// from the usual ones (115200 first). A text that is no such rate is
// refused in the dialog with its reason; the dialog stays open.
class BaudRateDialog : public QDialog {
    Q_OBJECT
public:
    // `current` is the panel's rate, shown to start with.
    explicit BaudRateDialog(const QString &current, QWidget *parent = nullptr);

    // The rate accepted; 0 until the dialog is accepted.
    qint32 rate() const { return m_rate; }
    QComboBox *rateBox() const { return m_rates; }
    QLabel *refusal() const { return m_refusal; }

    void accept() override;

private:
    QComboBox *m_rates = nullptr;
    QLabel *m_refusal = nullptr;
    qint32 m_rate = 0;
};

} // namespace console
