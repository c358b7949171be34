#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <span>

namespace console {

// A file without a name that the system removes when it is closed or the
// process ends, however it ends: where a byte store keeps the bytes it has
// no room for in memory. One file per store; offsets are byte indexes.
// spill_file_unix.cpp and spill_file_win.cpp each build it for one system.
class SpillFile {
public:
    SpillFile() = default;
    ~SpillFile() { close(); }
    SpillFile(const SpillFile &) = delete;
    SpillFile &operator=(const SpillFile &) = delete;

    // How the file is made without a name: at once where the file system
    // can, or else named for an instant and unlinked (the only way on file
    // systems without O_TMPFILE; tests ask for it to check that way too).
    // Windows has one way.
    enum class Making { Nameless, NamedThenUnlinked };
    // Creates the file in `folder`, and the folder if it is missing.
    bool open(const QString &folder, Making making = Making::Nameless);
    bool isOpen() const { return m_handle != kClosed; }
    // Writes the pieces one after another from `offset`; false unless every
    // byte was written.
    bool write(qint64 offset, std::span<const QByteArrayView> pieces);
    // Reads exactly `count` bytes from `offset`.
    bool read(qint64 offset, char *into, qint64 count);
    // Gives back the space after `size`.
    bool truncate(qint64 size);
    void close();
    // Why the last call that failed failed, naming the folder.
    QString errorString() const { return m_error; }

private:
    static constexpr std::intptr_t kClosed = -1;
    // Makes the file in m_folder, which exists.
    bool create(Making making);
    bool fail(const QString &what);

    // A file descriptor, or a Windows handle (whose invalid value is -1 too).
    std::intptr_t m_handle = kClosed;
    QString m_folder;
    QString m_error;
};

} // namespace console
