#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

namespace capture {

// Where the capture reader takes a file's bytes from.
class CaptureBytes {
public:
    virtual ~CaptureBytes() = default;
    virtual qint64 size() const = 0;
    // `length` bytes from `at` (the caller keeps them within size()), valid
    // until the next call; null, with error(), when they cannot be had.
    virtual const uchar *bytes(qint64 at, qint64 length) = 0;
    virtual QString error() const { return {}; }
};

// Bytes already in memory.
class ViewBytes final : public CaptureBytes {
public:
    explicit ViewBytes(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }
    qint64 size() const override { return m_bytes.size(); }
    const uchar *bytes(qint64 at, qint64) override { return reinterpret_cast<const uchar *>(m_bytes.data()) + at; }

private:
    QByteArrayView m_bytes;
};

// A file read through one mapped window at a time, of `window` bytes (a
// range longer than that gets a window of its own), so that a file larger
// than the address space reads as well as a small one, and what was read
// is let go of when the window moves on: resident memory stays at a window
// whatever the file's size.
class FileWindows final : public CaptureBytes {
public:
    static constexpr qint64 kWindowBytes = qint64(32) << 20;

    explicit FileWindows(qint64 window = kWindowBytes);
    FileWindows(const FileWindows &) = delete;
    FileWindows &operator=(const FileWindows &) = delete;
    ~FileWindows() override;

    // False with error() when the file cannot be read.
    bool open(const QString &path);
    qint64 size() const override { return m_size; }
    const uchar *bytes(qint64 at, qint64 length) override;
    // Appends bytes [at, at + length), a window at a time; false, with
    // error() and nothing appended, when a window cannot be mapped or the
    // range is not in the file.
    bool append(qint64 at, qint64 length, QByteArray &out);
    QString error() const override { return m_error; }
    // How many times a window was mapped, for the tests of the window edges.
    qint64 mappings() const { return m_mappings; }

private:
    void unmap();

    QFile m_file;
    qint64 m_window;
    qint64 m_size = 0;
    uchar *m_map = nullptr;
    qint64 m_start = 0;
    qint64 m_length = 0;
    qint64 m_mappings = 0;
    QString m_error;
};

} // namespace capture
