#include "win32_serial_port.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace serial {

namespace {

// How often the open port is looked at, in milliseconds: well under the
// console's 500 ms receive poll.
constexpr int kPollMs = 10;
// The longest a write may hold the window, in milliseconds; what the line did
// not take by then stays queued for the next tick.
constexpr DWORD kWriteSliceMs = 5;
// The most handed to the driver in one write call.
constexpr DWORD kWriteChunk = 4096;

HANDLE handleOf(void *h)
{
    return static_cast<HANDLE>(h);
}

QString systemMessage(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0,
                                   nullptr);
    QString message = n ? QString::fromWCharArray(text, int(n)).trimmed()
                        : QStringLiteral("System error %1").arg(code);
    LocalFree(text);
    return message;
}

BYTE parityCode(Win32SerialPort::Parity parity)
{
    switch (parity) {
    case Win32SerialPort::EvenParity:
        return EVENPARITY;
    case Win32SerialPort::OddParity:
        return ODDPARITY;
    case Win32SerialPort::MarkParity:
        return MARKPARITY;
    case Win32SerialPort::SpaceParity:
        return SPACEPARITY;
    case Win32SerialPort::NoParity:
        break;
    }
    return NOPARITY;
}

BYTE stopBitsCode(Win32SerialPort::StopBits bits)
{
    switch (bits) {
    case Win32SerialPort::OneAndHalfStop:
        return ONE5STOPBITS;
    case Win32SerialPort::TwoStop:
        return TWOSTOPBITS;
    case Win32SerialPort::OneStop:
        break;
    }
    return ONESTOPBIT;
}

} // namespace

Win32SerialPort::Win32SerialPort(QObject *parent)
    : QObject(parent)
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &Win32SerialPort::poll);
}

Win32SerialPort::~Win32SerialPort()
{
    close();
}

bool Win32SerialPort::setBaudRate(qint32 baud)
{
    m_baud = baud;
    return !isOpen() || applyLineSettings();
}

bool Win32SerialPort::setDataBits(DataBits bits)
{
    m_dataBits = bits;
    return !isOpen() || applyLineSettings();
}

bool Win32SerialPort::setParity(Parity parity)
{
    m_parity = parity;
    return !isOpen() || applyLineSettings();
}

bool Win32SerialPort::setStopBits(StopBits bits)
{
    m_stopBits = bits;
    return !isOpen() || applyLineSettings();
}

bool Win32SerialPort::setFlowControl(FlowControl flow)
{
    if (flow == NoFlowControl)
        return true;
    m_error = UnsupportedOperationError;
    m_errorString = tr("Only ports without flow control are supported");
    return false;
}

bool Win32SerialPort::open(QIODevice::OpenMode mode)
{
    if (isOpen()) {
        m_error = OpenError;
        m_errorString = tr("Port is already open");
        return false;
    }
    QString path = m_portName;
    if (!path.startsWith(QLatin1String("\\\\.\\")))
        path.prepend(QLatin1String("\\\\.\\"));
    DWORD access = 0;
    if (mode & QIODevice::ReadOnly)
        access |= GENERIC_READ;
    if (mode & QIODevice::WriteOnly)
        access |= GENERIC_WRITE;

    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), access, 0,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        setError(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                         ? DeviceNotFoundError
                         : code == ERROR_ACCESS_DENIED ? PermissionError : OpenError,
                 code);
        return false;
    }
    m_handle = h;

    // A read returns at once with what is there; a write gives up after a
    // short slice and reports how much the line took.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = kWriteSliceMs;
    if (!applyLineSettings() || !SetCommTimeouts(h, &timeouts)
        || !PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT)) {
        const DWORD code = GetLastError();
        CloseHandle(h);
        m_handle = nullptr;
        setError(OpenError, code);
        return false;
    }
    m_input.clear();
    m_output.clear();
    m_unannounced = false;
    m_poll.start();
    return true;
}

void Win32SerialPort::close()
{
    m_poll.stop();
    if (m_handle)
        CloseHandle(handleOf(m_handle));
    m_handle = nullptr;
    m_input.clear();
    m_unannounced = false;
    m_output.clear();
}

bool Win32SerialPort::applyLineSettings()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handleOf(m_handle), &dcb))
        return false;
    dcb.BaudRate = DWORD(m_baud);
    dcb.ByteSize = BYTE(m_dataBits);
    dcb.Parity = parityCode(m_parity);
    dcb.StopBits = stopBitsCode(m_stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = m_parity != NoParity;
    // No flow control of any kind: the modem lines are set by hand
    // (setDataTerminalReady, setRequestToSend), nothing is filtered.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return SetCommState(handleOf(m_handle), &dcb);
}

bool Win32SerialPort::setDataTerminalReady(bool on)
{
    return setModemLine(on ? SETDTR : CLRDTR);
}

bool Win32SerialPort::setRequestToSend(bool on)
{
    return setModemLine(on ? SETRTS : CLRRTS);
}

bool Win32SerialPort::setModemLine(unsigned long function)
{
    if (!isOpen()) {
        m_error = NotOpenError;
        m_errorString = tr("Port is not open");
        return false;
    }
    if (EscapeCommFunction(handleOf(m_handle), function))
        return true;
    fail(UnsupportedOperationError, GetLastError());
    return false;
}

unsigned long Win32SerialPort::collectInput() const
{
    if (!isOpen())
        return ERROR_SUCCESS;
    const HANDLE h = handleOf(m_handle);
    // ClearCommError is also what notices a device that has gone: its read
    // may still answer "nothing waiting".
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(h, &errors, &status))
        return GetLastError();
    while (status.cbInQue > 0) {
        const DWORD waiting = status.cbInQue;
        const qsizetype before = m_input.size();
        m_input.resize(before + qsizetype(waiting));
        DWORD got = 0;
        const bool ok = ReadFile(h, m_input.data() + before, waiting, &got, nullptr);
        const DWORD code = ok ? ERROR_SUCCESS : GetLastError();
        m_input.resize(before + qsizetype(got));
        if (!ok)
            return code;
        if (got == 0)
            break;
        m_unannounced = true;
        if (!ClearCommError(h, &errors, &status))
            return GetLastError();
    }
    return ERROR_SUCCESS;
}

unsigned long Win32SerialPort::pushOutput()
{
    while (isOpen() && !m_output.isEmpty()) {
        const DWORD size = DWORD(qMin<qsizetype>(m_output.size(), kWriteChunk));
        DWORD written = 0;
        if (!WriteFile(handleOf(m_handle), m_output.constData(), size, &written, nullptr)) {
            const DWORD code = GetLastError();
            if (code != ERROR_SEM_TIMEOUT)
                return code;
        }
        if (written == 0)
            return ERROR_SUCCESS; // the line is busy: the next tick tries again
        m_output.remove(0, written);
        emit bytesWritten(written);
    }
    return ERROR_SUCCESS;
}

void Win32SerialPort::poll()
{
    if (const unsigned long code = collectInput()) {
        fail(ResourceError, code);
        return;
    }
    if (const unsigned long code = pushOutput()) {
        fail(WriteError, code);
        return;
    }
    if (std::exchange(m_unannounced, false))
        emit readyRead();
}

qint64 Win32SerialPort::bytesAvailable() const
{
    // A failure here shows at the next tick, which reports it.
    collectInput();
    return m_input.size();
}

QByteArray Win32SerialPort::readAll()
{
    collectInput();
    m_unannounced = false;
    return std::exchange(m_input, {});
}

qint64 Win32SerialPort::read(char *data, qint64 maxSize)
{
    collectInput();
    const qint64 n = std::min<qint64>(maxSize, m_input.size());
    if (n <= 0)
        return 0;
    std::memcpy(data, m_input.constData(), size_t(n));
    m_input.remove(0, n);
    if (m_input.isEmpty())
        m_unannounced = false;
    return n;
}

bool Win32SerialPort::clear(Direction directions)
{
    DWORD flags = 0;
    if (directions & Input) {
        flags |= PURGE_RXCLEAR;
        m_input.clear();
        m_unannounced = false;
    }
    if (directions & Output) {
        flags |= PURGE_TXCLEAR;
        m_output.clear();
    }
    if (!isOpen())
        return false;
    return PurgeComm(handleOf(m_handle), flags);
}

qint64 Win32SerialPort::write(const QByteArray &bytes)
{
    if (!isOpen()) {
        m_error = NotOpenError;
        m_errorString = tr("Port is not open");
        return -1;
    }
    m_output += bytes;
    return bytes.size();
}

bool Win32SerialPort::flush()
{
    const qint64 before = m_output.size();
    if (const unsigned long code = pushOutput()) {
        fail(WriteError, code);
        return false;
    }
    return m_output.size() < before;
}

void Win32SerialPort::clearError()
{
    m_error = NoError;
    m_errorString.clear();
}

void Win32SerialPort::setError(SerialPortError error, unsigned long systemCode)
{
    m_error = error;
    m_errorString = systemMessage(systemCode);
}

void Win32SerialPort::fail(SerialPortError error, unsigned long systemCode)
{
    setError(error, systemCode);
    emit errorOccurred(error);
}

} // namespace serial
