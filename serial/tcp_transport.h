#pragma once

#include "net/net_socket.h"
#include "serial/line_transport.h"
#include "serial/network_address.h"
#include "telnet/telnet.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace serial {

// A TCP connection to a device server: the name resolved on a thread of its
// own, a non-blocking connect, readiness from QSocketNotifier. The bytes
// go as they are; the RFC 2217 transport below adds telnet around them.
class TcpTransport : public LineTransport {
    Q_OBJECT
public:
    explicit TcpTransport(NetworkAddress address, QObject *parent = nullptr);
    ~TcpTransport() override;

    // Resolution and connection together within connectTimeoutMs.
    static constexpr int connectTimeoutMs = 5000;

    bool open(const OpenRequest &request, OpenStepFailure *failure, QString *reason) override;
    void cancelOpen() override;
    void close() override;
    bool isOpen() const override { return m_open; }

    qint64 bytesAvailable() const override { return m_in.size() - m_inRead; }
    qint64 read(char *bytes, qint64 count) override;
    QByteArray readAll() override;
    bool write(const QByteArray &bytes, QString *reason) override;
    qint64 bytesToWrite() const override { return qint64(m_out.size()) - qint64(m_outSent); }
    void clearInput() override;
    void setDataTerminalReady(bool) override {}
    void setRequestToSend(bool) override {}

    const NetworkAddress &address() const { return m_address; }
    // The numeric address connected to (empty before).
    QString peer() const { return m_peer; }

protected:
    // After the connect: whatever the protocol needs before the line is
    // usable. Default: nothing.
    virtual bool negotiate(const LineSettings &settings, bool dtr, bool rts, QString *reason);
    // Bytes from the server; the default keeps them all as data.
    virtual void decode(const char *bytes, qint64 count);
    // Data for the server, as it goes on the wire.
    virtual void encode(const char *bytes, qint64 count, std::string &out);

    // Sends protocol bytes as they are.
    void sendRaw(const std::string &bytes);
    // Runs the event loop until done() holds, the time is up or the open is
    // cancelled or the connection goes; false unless done() held.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);

    QByteArray m_in; // data received; not yet read from m_inRead on
    qsizetype m_inRead = 0;
    bool m_cancelled = false;
    QString m_lost;  // why the connection went during the open

private:
    bool connectSocket(QString *reason);
    void onReadable();
    void flushOut();
    void lose(const QString &reason);

    NetworkAddress m_address;
    net::Handle m_socket = net::invalidHandle;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    bool m_open = false;
    bool m_opening = false;
    QString m_peer;
    std::string m_out;       // on the wire, not yet sent from m_outSent on
    std::size_t m_outSent = 0;
};

// RFC 2217: telnet with binary transmission and the COM-PORT-OPTION; the
// line settings go to the server at open and each is confirmed.
class Rfc2217Transport : public TcpTransport {
    Q_OBJECT
public:
    explicit Rfc2217Transport(NetworkAddress address, QObject *parent = nullptr);

    // How long the server has to confirm each line setting.
    static constexpr int settingTimeoutMs = 2000;

    void clearInput() override;
    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;

    // What the server last reported (NOTIFY-LINESTATE/-MODEMSTATE), -1
    // before it did.
    int lineState() const { return m_lineState; }
    int modemState() const { return m_modemState; }

protected:
    bool negotiate(const LineSettings &settings, bool dtr, bool rts, QString *reason) override;
    void decode(const char *bytes, qint64 count) override;
    void encode(const char *bytes, qint64 count, std::string &out) override;

private:
    telnet::Session m_session;
    std::string m_data, m_replies; // scratch for each read
    // The answers met so far to SET-BAUDRATE .. SET-STOPSIZE, by command.
    std::optional<std::uint32_t> m_answers[5];
    int m_lineState = -1;
    int m_modemState = -1;
};

} // namespace serial
