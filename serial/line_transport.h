#pragma once

#include "serial/settings_string.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace serial {

// What the serial control needs of a line that is not a local port: open
// with the line settings, bytes in and out, the modem lines, a discard of
// waiting input, and word when the line goes. Implemented by the network
// transports (RFC 2217, raw TCP); the control picks one from the port text.
class LineTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~LineTransport() override = default;

    // Runs the event loop while it waits (the window stays responsive), so
    // it returns only when the line is open or the open failed; false with
    // the reason. cancelOpen() (from an event handled meanwhile) ends the
    // wait as a failure.
    virtual bool open(const LineSettings &settings, bool dtr, bool rts, QString *reason) = 0;
    virtual void cancelOpen() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual qint64 bytesAvailable() const = 0;
    virtual qint64 read(char *bytes, qint64 count) = 0;
    virtual QByteArray readAll() = 0;
    // Queues the bytes; they go out as the connection takes them.
    virtual bool write(const QByteArray &bytes) = 0;
    virtual qint64 bytesToWrite() const = 0;
    // Discards what waits here and, where the far end can, there.
    virtual void clearInput() = 0;

    virtual void setDataTerminalReady(bool on) = 0;
    virtual void setRequestToSend(bool on) = 0;

signals:
    void readyRead();
    // The connection went while open; the transport is closed, what had
    // arrived is still readable.
    void dropped(const QString &reason);
};

} // namespace serial
