#include "receive_files.h"

#include "console/files/file_writer.h"
#include "console/frames/hex_text.h"
#include "serial/serial_control.h"

#include <cstring>

namespace console {

namespace {

constexpr int kLineBytes = 16;
// How many bytes a save writes between two progress reports.
constexpr qint64 kProgressStep = 4 * 1024 * 1024;

// The save's steps report into `result`.
class SafeWriter {
public:
    explicit SafeWriter(const QString &path)
        : m_file(path)
    {
    }

    bool open(SaveResult &result) { return check(m_file.open(), result); }
    bool write(QByteArrayView bytes, SaveResult &result) { return check(m_file.write(bytes), result); }

    void cancel(SaveResult &result)
    {
        result.cancelled = true;
        m_file.cancel();
    }

    bool commit(SaveResult &result)
    {
        result.ok = check(m_file.commit(), result);
        return result.ok;
    }

private:
    bool check(bool done, SaveResult &result)
    {
        if (!done)
            result.error = m_file.errorString();
        return done;
    }

    FileWriter m_file;
};

// Lets the progress report run, and says whether the save may go on: the
// report may let events run, and a Clear among them takes the bytes away.
bool carryOn(const ByteStore &store, quint64 generation, qint64 done, qint64 total, const SaveProgress &progress,
             SafeWriter &writer, SaveResult &result)
{
    if (progress && !progress(done, total)) {
        writer.cancel(result);
        return false;
    }
    if (store.generation() != generation || store.size() < total) {
        result.error = QStringLiteral("the received bytes were cleared while saving");
        writer.cancel(result);
        result.cancelled = false;
        return false;
    }
    return true;
}

} // namespace

QString unreadableBytesError(const ByteStore &store)
{
    return QStringLiteral("the received bytes could not be read back: %1").arg(store.readError());
}

QString copiedText(const ByteStore &store, qint64 first, qint64 count)
{
    QString text;
    text.reserve(qsizetype(count));
    store.forEachSpan(first, count, [&](QByteArrayView piece) { text.append(serial::fromCodePage(piece)); });
    return text;
}

QString copiedHex(const ByteStore &store, qint64 first, qint64 count)
{
    QByteArray out;
    out.reserve(qsizetype(count * 3));
    qint64 index = first;
    store.forEachSpan(first, count, [&](QByteArrayView piece) {
        for (char c : piece) {
            appendHexPair(out, std::uint8_t(c));
            ++index;
            out.append(index % kLineBytes == 0 || index == first + count ? '\n' : ' ');
        }
    });
    return QString::fromLatin1(out);
}

namespace {

// Longest line without its time: 16-digit offset, the hex and text columns.
constexpr int kMaxLineWithoutTime = 16 + 2 + 47 + 2 + 16 + 2;

// Writes one line (without "\n") at `p` and returns its end.
char *writeDumpLine(char *p, qint64 offset, QByteArrayView bytes, QByteArrayView time)
{
    char digits[16];
    int width = 0;
    for (qint64 v = offset; v != 0 || width < 8; v >>= 4)
        digits[width++] = hexDigit(unsigned(v & 0x0F));
    while (width > 0)
        *p++ = digits[--width];
    *p++ = ' ';
    *p++ = ' ';
    for (int i = 0; i < kLineBytes; ++i) {
        if (i < bytes.size()) {
            const auto b = std::uint8_t(bytes[i]);
            *p++ = hexDigit(b >> 4);
            *p++ = hexDigit(b);
        } else {
            *p++ = ' ';
            *p++ = ' ';
        }
        if (i + 1 < kLineBytes)
            *p++ = ' ';
    }
    *p++ = ' ';
    *p++ = ' ';
    for (int i = 0; i < kLineBytes; ++i) {
        const auto b = i < bytes.size() ? std::uint8_t(bytes[i]) : std::uint8_t(' ');
        *p++ = b >= 0x20 && b <= 0x7E ? char(b) : '.';
    }
    *p++ = ' ';
    *p++ = ' ';
    std::memcpy(p, time.data(), size_t(time.size()));
    return p + time.size();
}

// The save loop both forms share: `writeStep(first, count, writer, result)`
// writes the file's part for bytes [first, first + count); progress is
// reported and the store checked between steps.
template<typename WriteStep>
SaveResult saveInSteps(const ByteStore &store, qint64 count, const QString &path, const SaveProgress &progress,
                       WriteStep &&writeStep)
{
    SaveResult result;
    SafeWriter writer(path);
    if (!writer.open(result))
        return result;
    const quint64 generation = store.generation();
    const quint64 readFailures = store.readFailures();
    for (qint64 done = 0; done < count;) {
        const qint64 step = std::min(kProgressStep, count - done);
        if (!writeStep(done, step, writer, result))
            return result;
        // Bytes that could not be read back would be saved as zeros.
        if (store.readFailures() != readFailures) {
            result.error = unreadableBytesError(store);
            writer.cancel(result);
            result.cancelled = false;
            return result;
        }
        done += step;
        if (!carryOn(store, generation, done, count, progress, writer, result))
            return result;
    }
    writer.commit(result);
    return result;
}

} // namespace

SaveResult saveRaw(const ByteStore &store, qint64 count, const QString &path, const SaveProgress &progress)
{
    return saveInSteps(store, count, path, progress,
                       [&](qint64 first, qint64 step, SafeWriter &writer, SaveResult &result) {
                           bool written = true;
                           store.forEachSpan(first, step, [&](QByteArrayView piece) {
                               written = written && writer.write(piece, result);
                           });
                           return written;
                       });
}

SaveResult saveHexDump(const ByteStore &store, const ArrivalTimes &times, qint64 count, const QString &path,
                       const SaveProgress &progress)
{
    size_t mark = 0;
    QByteArray time;
    qint64 timeFrom = -1; // first byte of the mark `time` belongs to
    QByteArray out;
    char line[kLineBytes];
    return saveInSteps(store, count, path, progress, [&](qint64 first, qint64 step, SafeWriter &writer,
                                                         SaveResult &result) {
        // Room for the longest lines; trimmed to what was written.
        out.resize(qsizetype((step / kLineBytes + 1) * (kMaxLineWithoutTime + 32 + 1)));
        char *p = out.data();
        for (qint64 offset = first; offset < first + step; offset += kLineBytes) {
            const int n = int(std::min<qint64>(kLineBytes, count - offset));
            const QByteArrayView piece = store.span(offset);
            if (piece.size() >= n)
                std::memcpy(line, piece.data(), size_t(n));
            else
                for (int i = 0; i < n; ++i)
                    line[i] = char(store.at(offset + i));
            // Marks are in byte order, as the lines are: walk them along.
            while (mark + 1 < times.count() && times.mark(mark + 1).firstByte <= offset)
                ++mark;
            if (mark < times.count() && times.mark(mark).firstByte <= offset) {
                if (timeFrom != times.mark(mark).firstByte) {
                    timeFrom = times.mark(mark).firstByte;
                    time = arrivalText(times.wallMs(mark)).toLatin1();
                }
            } else {
                time.clear();
                timeFrom = -1;
            }
            p = writeDumpLine(p, offset, QByteArrayView(line, n), time.first(std::min<qsizetype>(time.size(), 32)));
            *p++ = '\n';
        }
        out.truncate(p - out.data());
        return writer.write(out, result);
    });
}

} // namespace console
