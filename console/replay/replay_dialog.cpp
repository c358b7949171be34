#include "replay_dialog.h"

#include "console/replay/replay_command.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace console {

ReplayDialog::ReplayDialog(Panel &panel, FileChooser &files, QWidget *parent)
    : QDialog(parent), m_panel(panel), m_files(files)
{
    setWindowTitle(tr("Replay Requests - %1").arg(panel.portText()));
    setAttribute(Qt::WA_DeleteOnClose);

    m_file = new QLineEdit;
    auto *browse = new QPushButton(tr("&Browse..."));
    connect(browse, &QPushButton::clicked, this, &ReplayDialog::chooseFile);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    m_protocol = new QComboBox;
    m_protocol->addItem(tr("From the file"), -1);
    for (int p = 0; p <= int(protocol::Protocol::Mewtocol); ++p)
        m_protocol->addItem(QString::fromUtf8(protocol::displayName(protocol::Protocol(p))), p);
    m_protocol->setToolTip(tr("How requests and answers are told apart and compared; \"From the file\" takes the "
                              "protocol a CSV export was decoded with, else none"));
    m_timing = new QComboBox;
    m_timing->addItem(tr("Recorded spacing"), int(protocol::ReplayTiming::Recorded));
    m_timing->addItem(tr("Fast"), int(protocol::ReplayTiming::Fast));
    m_timing->setToolTip(tr("Fast: each request as soon as the answer before came or its wait ended"));
    auto *form = new QFormLayout;
    form->addRow(tr("&Recording:"), fileRow);
    form->addRow(tr("&Protocol:"), m_protocol);
    form->addRow(tr("&Timing:"), m_timing);

    m_report = new QPlainTextEdit;
    m_report->setReadOnly(true);
    m_report->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_status = new QLabel;
    m_status->setWordWrap(true);
    m_start = new QPushButton(tr("&Start"));
    connect(m_start, &QPushButton::clicked, this, &ReplayDialog::startOrStop);
    auto *close = new QPushButton(tr("&Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_start);
    buttons->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_report, 1);
    layout->addLayout(buttons);
    resize(640, 420);
}

ReplayDialog::~ReplayDialog() = default;

void ReplayDialog::chooseFile()
{
    if (const auto path = m_files.recordingFile(this))
        m_file->setText(*path);
}

void ReplayDialog::startOrStop()
{
    if (m_replay && m_replay->running()) {
        m_replay->stop();
        return;
    }
    if (!m_panel.control().portOpen()) {
        m_status->setText(tr("The port %1 is not open: start it first").arg(m_panel.portText()));
        return;
    }
    const int chosen = m_protocol->currentData().toInt();
    const auto protocol = chosen < 0 ? std::nullopt : std::optional<protocol::Protocol>(protocol::Protocol(chosen));
    QString failure;
    auto plan = planReplay(m_file->text(), protocol, protocol::ReplayTiming(m_timing->currentData().toInt()),
                           m_panel.control().settings(), &failure);
    if (!plan) {
        m_status->setText(failure);
        return;
    }
    m_report->clear();
    m_replay = std::make_unique<PanelReplay>(m_panel, std::move(plan->exchanges), plan->options);
    connect(m_replay.get(), &PanelReplay::result, this, [this](const QString &line) {
        m_report->appendPlainText(line);
        showTotals();
    });
    connect(m_replay.get(), &PanelReplay::finished, this, &ReplayDialog::finished);
    m_start->setText(tr("&Stop"));
    showTotals();
    m_replay->start();
}

void ReplayDialog::showTotals()
{
    const protocol::ReplayTotals &t = m_replay->totals();
    m_status->setText(tr("%1 of %2 requests: %3 same, %4 different, %5 no answer")
                          .arg(t.all()).arg(m_replay->size()).arg(t.same).arg(t.different).arg(t.noAnswer));
}

void ReplayDialog::finished()
{
    m_start->setText(tr("&Start"));
    m_report->appendPlainText(QString::fromStdString(protocol::replayTotalsLine(m_replay->totals())));
    showTotals();
    if (!m_replay->failure().isEmpty())
        m_status->setText(m_replay->failure());
}

} // namespace console
