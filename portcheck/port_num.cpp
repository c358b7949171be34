#include "portcheck/port_num.h"

#include "desktop/twips.h"
#include "discovery/discovery.h"
#include "discovery/port_checker_scan.h"
#include "portcheck/report.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace portcheck {

namespace {

const QString kTitle = QStringLiteral("Pelurk");

// The Ming typeface of Traditional Chinese Windows, then the nearest
// installed fonts (fonts-noto-cjk on Debian).
QFont mingFont(qreal points)
{
    QFont font;
    font.setFamilies({QStringLiteral("新細明體"), QStringLiteral("PMingLiU"),
                      QStringLiteral("Noto Serif CJK TC"), QStringLiteral("Noto Sans CJK TC")});
    font.setPointSizeF(points);
    return font;
}

// Arial, or a font with its metrics where Arial is not installed.
QFont arialFont(qreal points, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void fill(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

PortNum::PortNum(discovery::Discovery &discovery, desktop::MessageBoxes &boxes,
                 desktop::ProgramEnd &programEnd, QWidget *parent)
    : QWidget(parent),
      Label1(new QLabel(QStringLiteral("USB Devices"), this)),
      txtData(new TextBox(this)),
      cmdRefresh(new QPushButton(QStringLiteral("Refresh"), this)),
      cmdQuit(new QPushButton(QStringLiteral("Quit"), this)),
      m_discovery(discovery),
      m_boxes(boxes),
      m_programEnd(programEnd)
{
    setObjectName(QStringLiteral("PortNum"));
    setWindowTitle(QStringLiteral("USB_COM_PortNum"));
    // Geometry in twips: the client area, then left, top, width, height.
    desktop::sizeClientTwips(this, 6795, 3675);

    Label1->setObjectName(QStringLiteral("Label1"));
    desktop::placeTwips(Label1, 120, 240, 5775, 375);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(mingFont(12));
    fill(Label1, QPalette::Window, QColor(255, 255, 128));

    txtData->setObjectName(QStringLiteral("txtData"));
    desktop::placeTwips(txtData, 120, 600, 5775, 1935);
    txtData->setFont(arialFont(12));
    // A vertical scroll bar only: long lines wrap at the box's width.
    txtData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtData->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtData->setTabChangesFocus(true);
    fill(txtData, QPalette::Base, QColor(192, 255, 192));

    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    desktop::placeTwips(cmdRefresh, 120, 2760, 2655, 615);
    cmdRefresh->setFont(arialFont(9.75, true));

    cmdQuit->setObjectName(QStringLiteral("cmdQuit"));
    desktop::placeTwips(cmdQuit, 3240, 2760, 2655, 615);
    cmdQuit->setFont(arialFont(9.75, true));

    // Tab positions: txtData 0, cmdQuit 1, cmdRefresh 2; the label takes no
    // focus.
    setTabOrder(txtData, cmdQuit);
    setTabOrder(cmdQuit, cmdRefresh);
    txtData->setFocus();

    connect(cmdRefresh, &QPushButton::clicked, this, &PortNum::cmdRefresh_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &PortNum::cmdQuit_Click);
}

void PortNum::start()
{
    Form_Load();
    if (!m_ended)
        show();
}

void PortNum::Form_Load()
{
    FillDeviceList();
}

void PortNum::cmdRefresh_Click()
{
    FillDeviceList();
}

void PortNum::cmdQuit_Click()
{
    endProgram(0);
}

void PortNum::Form_Unload()
{
    try {
        m_discovery.closeBridgeLeftOpen();
    } catch (const discovery::LibraryLoadError &) {
        // The close function itself cannot be bound; the ending process
        // releases the bridge.
    }
}

void PortNum::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void PortNum::FillDeviceList()
{
    if (const auto report = scan())
        txtData->setText(*report);
}

void PortNum::refreshIfChanged()
{
    if (m_ended)
        return;
    const QString before = m_lastReport;
    if (const auto report = scan(); report && *report != before)
        txtData->setText(*report);
}

std::optional<QString> PortNum::scan()
{
    try {
        m_lastReport = fromCodePage(discovery::FillDeviceListForPortChecker(m_discovery));
        return m_lastReport;
    } catch (const discovery::LibraryLoadError &error) {
        m_boxes.show(QString::fromLocal8Bit(error.what()), kTitle, desktop::BoxIcon::Critical);
        endProgram(1);
        return std::nullopt;
    }
}

void PortNum::endProgram(int exitCode)
{
    m_ended = true;
    m_programEnd.end(exitCode);
}

} // namespace portcheck
