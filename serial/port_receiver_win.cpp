#include "port_receiver.h"

// The Win32 port reads its own line: no receiver is ever started here.

namespace serial {

int PortReceiver::openDescriptor(const char *)
{
    return -1;
}

void PortReceiver::closeDescriptor(int) {}

PortReceiver::PortReceiver(int descriptor, QByteArrayView, std::function<void()> wake)
    : m_descriptor(descriptor)
    , m_wake(std::move(wake))
{
}

PortReceiver::~PortReceiver() = default;

void PortReceiver::rearm() {}

qint64 PortReceiver::available() const
{
    return 0;
}

qint64 PortReceiver::read(char *, qint64)
{
    return 0;
}

qint64 PortReceiver::drain(const PieceTaker &)
{
    return 0;
}

void PortReceiver::clear() {}

int PortReceiver::failure() const
{
    return 0;
}

} // namespace serial
