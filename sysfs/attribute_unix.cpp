#include "sysfs/attribute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sysfs {

namespace {

std::optional<std::string> readUpTo(int fd, std::size_t bound)
{
    std::string text(bound, '\0');
    std::size_t filled = 0;
    while (filled < bound) {
        const ssize_t got = ::read(fd, text.data() + filled, bound - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    text.resize(filled);
    return text;
}

} // namespace

std::optional<std::string> readAttribute(const std::filesystem::path &file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> text;
    // Checked again on what was opened: the tree may have changed between.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        text = readUpTo(fd, kMaxAttributeBytes);
    ::close(fd);
    if (text && !text->empty() && text->back() == '\n')
        text->pop_back();
    return text;
}

} // namespace sysfs
