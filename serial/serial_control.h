#pragma once

#include "serial/settings_string.h"

#include <QByteArray>
#include <QObject>
#include "serial/serial_port.h"
#include <QString>

namespace serial {

// The serial communications control of the console and the configurator:
// a port number (or a device path), a settings string, DTR/RTS, open/close,
// the bytes waiting in and out, read everything waiting, write bytes or text.
// No flow control, raw bytes, the whole buffer at each read.
//
// Operations that the line can refuse return false and keep the reason in
// lastError(). A read or device error while open (an adapter unplugged, the
// far end of a pseudo-terminal gone) sets hasFault() and emits faulted().
class SerialControl : public QObject {
    Q_OBJECT
public:
    explicit SerialControl(QObject *parent = nullptr);
    ~SerialControl() override;

    // CommPort: the next open uses port n (see deviceForPortNumber).
    void setCommPort(int n);
    int commPort() const { return m_commPort; }
    // The next open uses this device as it stands.
    void setDevice(const QString &device);
    QString device() const { return m_device; }

    // Settings: refused (false) when the text is not a settings string or the
    // port is open; the previous settings then stay.
    bool setSettings(const QString &settings);
    QString settings() const { return m_settingsText; }
    LineSettings lineSettings() const { return m_settings; }

    // While open, the lines follow these values. A device without modem
    // lines (a pseudo-terminal) ignores them.
    void setDTREnable(bool on);
    void setRTSEnable(bool on);
    bool dtrEnable() const { return m_dtr; }
    bool rtsEnable() const { return m_rts; }

    bool portOpen() const;
    // Opens with the current device and settings, or closes. False with
    // lastError() when the device is missing, taken or refuses the settings.
    bool setPortOpen(bool open);
    QString lastError() const { return m_lastError; }

    qint64 inBufferCount() const;
    void clearInBuffer();
    // Every waiting byte in arrival order; removes them. May be empty.
    QByteArray input();

    bool output(const QByteArray &bytes);
    // Text goes out as its characters in the code page, one byte each; a
    // character the code page lacks is sent as '?'.
    bool output(const QString &text);
    qint64 outBufferCount() const;

    bool hasFault() const { return m_fault; }

    // The underlying port, for readers that want to wait on its signals.
    const SerialPort &port() const { return m_port; }

signals:
    void bytesArrived();
    void faulted(const QString &reason);

private:
    void onError(SerialPort::SerialPortError error);

    SerialPort m_port;
    int m_commPort = 1;
    QString m_device;
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    LineSettings m_settings;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_fault = false;
    bool m_applyingLines = false;
    QString m_lastError;
    QByteArray m_salvaged; // received before a fault closed the port
};

// One byte per character through the code page (Latin-1 here); characters
// outside it become '?'.
QByteArray toCodePage(const QString &text);
QString fromCodePage(const QByteArray &bytes);

} // namespace serial
