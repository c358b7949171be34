#pragma once

// The configurator's window: finds the bridge's port at start, offers the
// PLC presets (Device Config) and free settings (User Define), and sends
// the adapter its configuration frame on " Apply".

#include "configurator/module1.h"
#include "configurator/setting_lists.h"
#include "desktop/message_boxes.h"
#include "desktop/tick_counter.h"
#include "discovery/configurator_scan.h"
#include "serial/port_names.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace serial {
class SerialControl;
}

namespace configurator {

class Exchange;

// Runs the bridge scan into the window's CommPortNumber and DetectedPort.
// May throw discovery::LibraryLoadError.
using DiscoveryScan =
    std::function<discovery::ConfiguratorScanResult(discovery::ConfiguratorPorts &)>;
// The device that a port number opens.
using PortDevice = std::function<QString(int)>;

class Config : public QWidget {
    Q_OBJECT
public:
    Config(desktop::MessageBoxes &boxes, desktop::ProgramEnd &programEnd,
           const desktop::TickCounter &ticks, DiscoveryScan scan,
           PortDevice portDevice = serial::deviceForPortNumber, QWidget *parent = nullptr);
    ~Config() override;

    // Loads the window and shows it, unless the program ended while loading.
    void start();

    const ConfigFields &fields() const { return m_fields; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    enum class Entry { DeviceConfig, UserDefine };

    void buildControls();
    void Form_Load();
    void FillSettingLists();
    void CommSetting();
    void Option1_Click();
    void Option2_Click();
    void cmdDevice_Config_Click();
    void cmdPortOpen_Click();
    void cmdDevice_Exit_Click();
    void cmdClose_Click();

    void runExchange(Entry entry);
    bool openPortForExchange();
    void exitProgram();
    void endProgram(int exitCode);
    void setListsEnabled(bool enabled);
    void enableMode(bool deviceConfig);
    void showFailure(const QString &text);

    desktop::MessageBoxes &m_boxes;
    desktop::ProgramEnd &m_programEnd;
    const desktop::TickCounter &m_ticks;
    DiscoveryScan m_scan;
    PortDevice m_portDevice;

    ConfigFields m_fields;
    EventWait m_wait;
    std::unique_ptr<Exchange> m_exchange;
    bool m_exchangeRunning = false;
    bool m_ended = false;

    serial::SerialControl *MSComm1 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QGroupBox *Frame2 = nullptr;
    std::array<QRadioButton *, 3> OptDevice{};
    QLabel *Label5 = nullptr;
    QLabel *lblCommport_setting = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *lblConfig_Message = nullptr;
    QPushButton *cmdDevice_Config = nullptr;
    QPushButton *cmdDevice_Exit = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLabel *Label12 = nullptr;
    QComboBox *cmbComport = nullptr;
    QLabel *Label11 = nullptr;
    QComboBox *cmbBaudRate = nullptr;
    QLabel *Label10 = nullptr;
    QComboBox *cmbDatabit = nullptr;
    QLabel *Label8 = nullptr;
    QComboBox *cmbParity = nullptr;
    QLabel *Label6 = nullptr;
    QComboBox *cmbStopBit = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblComm = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *lblComPortSetting = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *lblMessage = nullptr;
    QPushButton *cmdPortOpen = nullptr;
    QPushButton *cmdClose = nullptr;
};

} // namespace configurator
