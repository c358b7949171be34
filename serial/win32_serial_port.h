#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>

namespace serial {

// A serial port over the Win32 communications functions (CreateFile on
// \\.\COMn, DCB, EscapeCommFunction, ClearCommError), with the members of Qt
// SerialPort's interface that SerialControl uses: same names, same enum
// names, same signals.
//
// Nothing here waits on the line. The handle is opened for plain I/O with
// timeouts that make a read return at once with what the driver holds and
// cut a write off after a few milliseconds; while the port is open a timer
// drains the driver's input queue (emitting readyRead) and hands queued output
// to the driver (emitting bytesWritten). A failing status or read (the adapter
// unplugged, the device gone) emits errorOccurred(ResourceError).
class Win32SerialPort : public QObject {
    Q_OBJECT
public:
    enum Parity { NoParity = 0, EvenParity = 2, OddParity = 3, SpaceParity = 4, MarkParity = 5 };
    enum DataBits { Data5 = 5, Data6 = 6, Data7 = 7, Data8 = 8 };
    enum StopBits { OneStop = 1, OneAndHalfStop = 3, TwoStop = 2 };
    enum FlowControl { NoFlowControl, HardwareControl, SoftwareControl };
    enum Direction { Input = 1, Output = 2, AllDirections = Input | Output };
    enum SerialPortError {
        NoError, DeviceNotFoundError, PermissionError, OpenError, WriteError, ReadError,
        ResourceError, UnsupportedOperationError, UnknownError, TimeoutError, NotOpenError
    };
    Q_ENUM(SerialPortError)

    explicit Win32SerialPort(QObject *parent = nullptr);
    ~Win32SerialPort() override;

    // "COM5" or a full device path such as \\.\COM12.
    void setPortName(const QString &name) { m_portName = name; }
    QString portName() const { return m_portName; }

    // Take effect at once while open, else at the next open.
    bool setBaudRate(qint32 baud);
    bool setDataBits(DataBits bits);
    bool setParity(Parity parity);
    bool setStopBits(StopBits bits);
    // Only NoFlowControl is offered.
    bool setFlowControl(FlowControl flow);
    // The input buffer has no limit; kept for the common interface.
    void setReadBufferSize(qint64) {}

    qint32 baudRate() const { return m_baud; }
    DataBits dataBits() const { return m_dataBits; }
    Parity parity() const { return m_parity; }
    StopBits stopBits() const { return m_stopBits; }

    // Opens with the current settings and clears the driver's queues.
    bool open(QIODevice::OpenMode mode);
    // Drops what was received and not read, and output not yet handed to
    // the driver (read what is wanted first, as the control does on a fault).
    void close();
    bool isOpen() const { return m_handle != nullptr; }

    // A device without modem lines refuses these (false, UnsupportedOperationError).
    bool setDataTerminalReady(bool on);
    bool setRequestToSend(bool on);

    // Counts what the driver holds too, not only what the timer collected.
    qint64 bytesAvailable() const;
    QByteArray readAll();
    // At most maxSize bytes of what waits; 0 when nothing does.
    qint64 read(char *data, qint64 maxSize);
    bool clear(Direction directions = AllDirections);

    // Queues the bytes and hands them to the driver as far as it takes them
    // now; the rest goes at the next ticks.
    qint64 write(const QByteArray &bytes);
    bool flush();
    qint64 bytesToWrite() const { return m_output.size(); }

    SerialPortError error() const { return m_error; }
    QString errorString() const { return m_errorString; }
    void clearError();

signals:
    void readyRead();
    void bytesWritten(qint64 bytes);
    void errorOccurred(Win32SerialPort::SerialPortError error);

private:
    bool applyLineSettings();
    // EscapeCommFunction with SETDTR, CLRDTR, SETRTS or CLRRTS.
    bool setModemLine(unsigned long function);
    // Moves what the driver holds into m_input; the system error code when
    // the device fails, else 0.
    unsigned long collectInput() const;
    // Hands queued output to the driver; the system error code or 0.
    unsigned long pushOutput();
    void poll();
    void setError(SerialPortError error, unsigned long systemCode);
    void fail(SerialPortError error, unsigned long systemCode);

    void *m_handle = nullptr;
    QString m_portName;
    qint32 m_baud = 9600;
    DataBits m_dataBits = Data8;
    Parity m_parity = NoParity;
    StopBits m_stopBits = OneStop;
    mutable QByteArray m_input;
    mutable bool m_unannounced = false; // input collected but not yet signalled
    QByteArray m_output;
    QTimer m_poll;
    SerialPortError m_error = NoError;
    QString m_errorString;
};

} // namespace serial
