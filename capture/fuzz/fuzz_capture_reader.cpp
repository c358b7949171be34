// libFuzzer: any bytes given to the capture reader end in packets and notes
// inside the file, or in a damage report; never in a crash, a read outside
// the bytes or an allocation beyond what they can hold.
#include "capture/capture_reader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView file(reinterpret_cast<const char *>(data), qsizetype(size));
    const capture::Capture c = capture::readCapture(file);
    for (const capture::Packet &p : c.packets) {
        if (p.offset < 0 || p.length < 0 || p.offset + p.length > qint64(size))
            std::abort();
        if (p.interface < 0 || size_t(p.interface) >= c.interfaces.size())
            std::abort();
    }
    // Every packet block is at least 32 bytes of the file.
    if (c.packets.size() > size / 16 + 1)
        std::abort();
    return 0;
}
