// Feeds arbitrary server bytes to a session, cut at places the input
// chooses, and checks what must always hold: no more data than was read,
// a session that stays within its bounds, and the same data whatever the
// cuts.
#include "telnet/telnet.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    if (size == 0)
        return 0;
    const char *input = reinterpret_cast<const char *>(bytes + 1);
    const std::size_t count = size - 1;
    const std::size_t cut = bytes[0] == 0 ? 1 : bytes[0];

    telnet::Session whole;
    std::string wholeData, wholeReplies;
    whole.start();
    whole.read(input, count, wholeData, wholeReplies);

    telnet::Session pieces;
    std::string data, replies;
    pieces.start();
    for (std::size_t at = 0; at < count; at += cut)
        pieces.read(input + at, std::min(cut, count - at), data, replies);
    if (data != wholeData || replies != wholeReplies || data.size() > count)
        std::abort();
    if (whole.takeMessages() != pieces.takeMessages())
        std::abort();
    // What goes out escaped comes back as it was.
    telnet::Session back;
    std::string again, ignored;
    const std::string escaped = telnet::escape(input, count);
    back.read(escaped.data(), escaped.size(), again, ignored);
    if (again != std::string(input, count) || !ignored.empty())
        std::abort();
    return 0;
}
