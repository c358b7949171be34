#pragma once

#include "serial/serial_port.h"
#include "serial/settings_string.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace serial {

// The steps of an open, in the order a local port runs them. The device is
// opened with every setting at once, so a setting the device refuses fails
// the Open step; the steps after it are where an open port refusing one
// setting is met, and where a device server that refused or left a setting
// unanswered is reported.
enum class OpenStep { Open, BaudRate, DataBits, Parity, StopBits, FlowControl };
struct OpenStepFailure {
    OpenStep step = OpenStep::Open;
    SerialPort::SerialPortError error = SerialPort::NoError;
};

// What an open asks of the line.
struct OpenRequest {
    QString device; // the port text as given, for the messages
    LineSettings settings;
    bool dtr = false;
    bool rts = false;
    // A tap on the line: a local port opens for reading only and leaves
    // its modem lines as the system left them. A network line connects as
    // for writing; the control above refuses every output.
    bool readOnly = false;
};

// What the serial control needs of a line: open with the line settings,
// bytes in and out, the modem lines, a discard of waiting input, and word
// when the line goes. Implemented by the local port and by the network
// transports (RFC 2217, raw TCP); the control picks one from the port text
// and knows no more of it than this.
class LineTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~LineTransport() override = default;

    // Returns only when the line is open or the open failed; false with
    // where and why (reason: the whole message, naming the device). A
    // network open runs the event loop while it waits (the window stays
    // responsive); cancelOpen() (from an event handled meanwhile) ends that
    // wait as a failure.
    virtual bool open(const OpenRequest &request, OpenStepFailure *failure, QString *reason) = 0;
    virtual void cancelOpen() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Nothing waits, and nothing is read, on a closed line.
    virtual qint64 bytesAvailable() const = 0;
    virtual qint64 read(char *bytes, qint64 count) = 0;
    virtual QByteArray readAll() = 0;
    // Queues the bytes; they go out as the line takes them. False with the
    // reason when the line refused them.
    virtual bool write(const QByteArray &bytes, QString *reason) = 0;
    virtual qint64 bytesToWrite() const = 0;
    // Discards what waits here and, where the far end can, there.
    virtual void clearInput() = 0;

    // A line without modem lines ignores these.
    virtual void setDataTerminalReady(bool on) = 0;
    virtual void setRequestToSend(bool on) = 0;

signals:
    void readyRead();
    // The line went while open (a device removed, a hung-up pseudo-terminal,
    // a connection dropped). What had arrived is still readable while the
    // signal is handled; the transport is closed when the handler returns.
    void dropped(const QString &reason);
};

} // namespace serial
