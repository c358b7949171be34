#pragma once

#include "serial/line_transport.h"
#include "serial/local_port_transport.h" // lineFaultText
#include "serial/serial_port.h"
#include "serial/settings_string.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace serial {

// Where a control can put received bytes as they arrive instead of keeping
// them itself: the caller's own storage, so that a tick's worth of bytes is
// never held twice. Bytes handed over still count as waiting (in
// inBufferCount()) until the next input(); discarding the waiting bytes
// (clearInBuffer(), closing the port) calls discarded() for them.
class ReceiveSink {
public:
    virtual ~ReceiveSink() = default;
    virtual void received(const char *data, qint64 count) = 0;
    virtual void discarded() = 0;
};

// The serial communications control of the console and the configurator:
// a port number (or a device path), a settings string, DTR/RTS, open/close,
// the bytes waiting in and out, read everything waiting, write bytes or text.
// No flow control, raw bytes, the whole buffer at each read.
//
// A device text rfc2217://HOST:PORT or tcp://HOST:PORT opens a port on a
// device server through a network transport instead of a local port; the
// members below behave the same for it. Its open runs the event loop while
// it connects (up to 5 s, plus 2 s for the server to confirm the settings).
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
    // CommPort n, opened through `device` instead of the default one.
    void setCommPort(int n, const QString &device);
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

    // Listen only, as a tap on a line: the next open reads and never
    // writes. The device opens for reading only, DTR and RTS stay as the
    // system left them (also when set while open), and every output is
    // refused with the reason, also while a port opened for writing runs
    // on. Turning it off lets a port write only once it is opened again.
    void setListenOnly(bool on) { m_listenOnly = on; }
    bool listenOnly() const { return m_listenOnly; }

    bool portOpen() const;
    // Opens with the current device and settings, or closes. False with
    // lastError() when the device is missing, taken or refuses the settings.
    // A failed open always leaves the port closed, whatever step failed.
    bool setPortOpen(bool open);
    QString lastError() const { return m_lastError; }

    // The steps of an open (see OpenStep): on a local port only the test
    // seam below fails those after Open. DTR and RTS follow; a device
    // without modem lines may ignore them without failing the open.
    using OpenStep = serial::OpenStep;
    using OpenFailure = serial::OpenStepFailure;
    // Where and why the last open failed; error is NoError after an open
    // that succeeded and when none was tried yet.
    OpenFailure lastOpenFailure() const { return m_lastOpenFailure; }

    // Test seam. Until it is given std::nullopt, every open fails at
    // failure->step with failure->error, as a device that refuses that step
    // would: the step is not carried out, the steps before it are, and the
    // open ends as any failed open does (port closed, lastError() and
    // lastOpenFailure() set). A pseudo-terminal accepts every setting, so
    // this is how a test meets a refused setting or a denied open, e.g.
    //   control.failOpenAt({{OpenStep::BaudRate, SerialPort::UnsupportedOperationError}});
    //   control.failOpenAt({{OpenStep::Open, SerialPort::PermissionError}});
    void failOpenAt(std::optional<OpenFailure> failure) { m_injectedFailure = failure; }

    qint64 inBufferCount() const;
    void clearInBuffer();
    // Every waiting byte in arrival order; removes them. May be empty.
    QByteArray input();

    bool output(const QByteArray &bytes);
    // Text goes out as its characters' bytes in the code page (see
    // toCodePage); a character the code page lacks is sent as '?'.
    bool output(const QString &text);
    qint64 outBufferCount() const;

    bool hasFault() const { return m_fault; }

    // With a sink, every byte goes to it as soon as the port has it, in
    // arrival order, and input() returns only what the sink did not take
    // (nothing); null goes back to keeping the bytes here.
    void setReceiveSink(ReceiveSink *sink);

    // The underlying port, for readers that want to wait on its signals.
    const SerialPort &port() const { return m_port; }
    // The network transport of an open network port, null otherwise.
    const LineTransport *transport() const;

signals:
    void bytesArrived();
    void faulted(const QString &reason);
    // setPortOpen(false) closed the open port (a fault emits faulted() instead).
    void closed();

private:
    bool listening() const;
    std::unique_ptr<LineTransport> chooseTransport(QString *refusal);
    void onTransportDropped(const QString &reason);
    void deliverToSink();
    void discardDelivered();

    SerialPort m_port;
    int m_commPort = 1;
    QString m_device;
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    LineSettings m_settings;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_fault = false;
    bool m_listenOnly = false;
    bool m_openedListening = false; // the open port was opened to read only
    QString m_lastError;
    OpenFailure m_lastOpenFailure;
    std::optional<OpenFailure> m_injectedFailure;
    QByteArray m_salvaged; // received before a fault closed the port
    ReceiveSink *m_sink = nullptr;
    qint64 m_delivered = 0; // handed to the sink since the last input()
    // The line of the open port, chosen from the port text at the open; kept
    // after a fault until the next open or close.
    std::unique_ptr<LineTransport> m_transport;
    bool m_opening = false; // a network open waits in the event loop
};

// Text to and from bytes through the system's code page (the ANSI code page
// on Windows, Latin-1 elsewhere): characters it cannot write become '?';
// each byte reads as one character, U+FFFD for a byte that is none alone.
QByteArray toCodePage(const QString &text);
QString fromCodePage(QByteArrayView bytes);

} // namespace serial
