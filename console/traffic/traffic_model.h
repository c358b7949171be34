#pragma once

#include "console/bytes/chunked_array.h"
#include "console/frames/frame_checks.h"
#include "console/panel/panel.h"
#include "console/traffic/protocol_source.h"
#include "console/traffic/traffic_source.h"
#include "protocol/pairing.h"
#include "protocol/protocol.h"

#include <QAbstractTableModel>
#include <QColor>

#include <array>
#include <memory>
#include <optional>

namespace console {

enum class PanelFilter { Both, Left, Right };

// The rows of the traffic view: every frame and port event of both panels,
// in arrival order. A row is one 8-byte reference (panel, frame or event,
// index); its cells are computed from the panel's bytes and marks when they
// are drawn, so nothing of the bytes is copied into rows.
//
// Columns: time (hh:mm:ss.mmm), gap since the previous row's end (ms, one
// decimal; the reply time where the previous row is the other panel's), the
// panel's port, length, bytes in hex, bytes as text ('.' outside 0x20-0x7E),
// and the chosen check's verdict ("ok", "bad", or empty for a frame too
// short to carry it). An event row gives its text in the hex column, but
// for "sent", whose row shows the bytes the panel sent, marked as sent.
//
// With a protocol chosen (setProtocol()), the frames are those its framer
// finds in each panel's received bytes (see ProtocolSource), the check is
// the protocol's own ("ok", "bad", empty for bytes that are no frame), and
// two columns follow: Decoded (the frame's summary) and Reply (ms) (on an
// answer, the time from the end of its request). Rows are tinted by their
// status. A row's description and pairing are found when the row is drawn
// or asked for, and the last few are kept: nothing is decoded ahead.
class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // ColumnCount columns without a protocol, ProtocolColumnCount with one.
    enum Column {
        TimeColumn,
        GapColumn,
        PanelColumn,
        LengthColumn,
        HexColumn,
        TextColumn,
        CheckColumn,
        ColumnCount,
        DecodedColumn = ColumnCount,
        ReplyColumn,
        ProtocolColumnCount
    };
    // Bytes of a frame the hex and text cells show; the export writes all.
    static constexpr int kShownBytes = 64;
    // Of the hex and text cells of the row Find marked: the characters of
    // the cell's text that the bytes found take, as a QPoint (the first
    // and the number); nothing where none of them is shown.
    static constexpr int FoundRole = Qt::UserRole + 1;

    explicit TrafficModel(std::array<const Panel *, 2> panels, QObject *parent = nullptr);
    // Rows of another source (not owned), such as an opened capture.
    explicit TrafficModel(const TrafficSource *source, QObject *parent = nullptr);
    // With a protocol chosen from the start: the split rule's rows are
    // never made.
    TrafficModel(std::array<const Panel *, 2> panels, protocol::Protocol protocol, qint64 replyTimeoutUs,
                 QObject *parent = nullptr);
    TrafficModel(const TrafficSource *source, protocol::Protocol protocol, qint64 replyTimeoutUs,
                 QObject *parent = nullptr);
    ~TrafficModel() override;

    PanelFilter filter() const { return m_filter; }
    void setFilter(PanelFilter filter);
    FrameCheck check() const { return m_check; }
    void setCheck(FrameCheck check);
    // Frames found by a protocol's grammar instead of the split rule (None:
    // the split rule's frames, as without). Rows are made again.
    protocol::Protocol protocol() const { return m_decoded ? m_decoded->protocol() : protocol::Protocol::None; }
    void setProtocol(protocol::Protocol protocol, qint64 replyTimeoutUs = 1'000'000);
    qint64 replyTimeoutUs() const { return m_decoded ? m_decoded->replyTimeoutUs() : 1'000'000; }
    // The protocol's frames, while one is chosen; null otherwise.
    ProtocolSource *decodedSource() const { return m_decoded.get(); }

    // What a row says in its protocol, for the view and for the pieces
    // beside it (a field tree, statistics, a row filter). All of them are
    // answered from the row's bytes and its neighbours when asked; the
    // model keeps only the last few answers.
    //
    // The framer's mark of a frame row; nothing for an event row or without
    // a protocol.
    std::optional<protocol::FrameMark> frameMark(int row) const;
    // The frame's fields, unit, function, status and summary; an answer is
    // read with its request's bytes (its function, address and count are
    // the request's). A default Description (status Unrecognised, no
    // fields) for an event row or without a protocol.
    protocol::Description description(int row) const;
    // What description(row) says of the row's direction, status, unit and
    // function (see protocol::factsOf), read without its fields and texts:
    // for a walk over every row.
    protocol::Facts facts(int row) const;
    // Which row answers or is answered by this one (partner: a row of this
    // model, -1 for none) and the reply time in microseconds, over the rows
    // shown (both panels merged, or one panel's for a bus tap). Role None
    // for an event row, bytes that are no frame, a frame whose check failed
    // (its station may be what was corrupted), or without a protocol.
    protocol::Pairing pairing(int row) const;
    // The export's status word: "request", "no answer", "answer",
    // "exception N", "nak" or "nak CODE", "bad check", "unrecognised";
    // empty for an event row or without a protocol.
    QString statusText(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // What row `row` shows, for the export and the find.
    int panelOf(int row) const;
    // A frame, or bytes the panel sent: a row that shows bytes.
    bool hasBytes(int row) const;
    qint64 wallMs(int row) const;
    // Microseconds since the previous row ended, never below 0 (rows of a
    // rule that merges frames overlap); nothing for the first row.
    std::optional<qint64> gapUs(int row) const;
    // How far the row began before the previous one ended; 0 if it did not.
    qint64 overlapUs(int row) const;
    // Of rows first..last, the first that began before the row above it
    // ended (the row above is frames a split rule merged); -1 if none did.
    int firstOverlapping(int first, int last) const;
    // The longest silence within the row's frame, in microseconds: an idle
    // gap no longer than it would cut the frame there. Nothing for an event,
    // a frame of one burst, or a source that cannot tell.
    std::optional<qint64> longestPauseUs(int row) const;
    QString port(int row) const;
    // The frame's bytes, or the bytes sent; empty for any other event.
    QByteArray frameBytes(int row) const;
    CheckVerdict verdict(int row) const;
    // The event's words; empty for a frame.
    QString eventText(int row) const;
    // The event a row is (a "sent" row too); null for a frame.
    const PortEvent *eventAt(int row) const;
    // Monotonic microseconds of the row's first and last byte; an event's
    // moment for both.
    qint64 startUs(int row) const { return timesOf(refOf(row)).startUs; }
    qint64 endUs(int row) const { return timesOf(refOf(row)).endUs; }
    // A panel's port box text, and the settings it started with last (else
    // its serial settings), for a capture's interfaces.
    QString panelPort(int panel) const;
    QString panelSettings(int panel) const;

    // Reads of bytes that could not be read back, in both panels' stores
    // (see ByteStore::readFailures()), and the first reason.
    quint64 readFailures() const;
    QString readError() const;

    // Changes whenever the rows are made again: a reader that let events
    // run in between checks it.
    quint64 generation() const { return m_generation; }

    // Find's mark: `count` bytes from byte `first` of the row's frame, shown
    // marked in place of a selected row; a row of -1 marks nothing. Making
    // the rows again drops it.
    void setFound(int row, qint64 first, qint64 count);

public slots:
    // Appends the frames and events the panels added since the last call,
    // and redraws a last frame that grew.
    void sync();
    // Makes every row again (a panel cleared, a new rule, a new filter).
    void rebuild();

private slots:
    // The clock moved: requests may have run out of time for their answer.
    void ticked();

private:
    struct Ref {
        int panel;
        bool event;
        qint64 index;
    };
    static quint64 encode(const Ref &ref);
    Ref refOf(int row) const { return decode(m_rows[size_t(row)]); }
    static Ref decode(quint64 code);
    bool shows(int panel) const;
    // A row's description and pairing, kept for rows asked lately (a slot
    // per row number, see decoded()).
    struct Decoded {
        int row = -1;
        quint64 stamp = 0;
        bool described = false;
        protocol::Description description;
        protocol::Pairing pairing;
    };
    Decoded &decoded(int row) const;
    // What a row's frame is read with: its bytes, its request's when it is
    // an answer, and its mark with the direction its pairing found.
    struct FrameRead {
        QByteArray bytes;
        QByteArray request;
        protocol::FrameMark mark;
    };
    FrameRead frameRead(int row, const protocol::FrameMark &mark, const protocol::Pairing &pairing) const;
    protocol::PairingFrame pairingFrame(qint64 row) const;
    // Rows changed meaning (new rows, a tick of the clock): what was kept
    // is asked again.
    void forgetDecoded() { ++m_decodedStamp; }
    // Draws again rows up to `last` that end at `us` or later.
    void refreshSince(qint64 us, int last);
    void useSource(const TrafficSource *source);
    // The protocol's frames over the source given, or none.
    void decodeWith(protocol::Protocol protocol, qint64 replyTimeoutUs);
    QColor statusTint(int row, int panel) const;
    // Monotonic: when the row's first byte came, when its last did.
    struct Times {
        qint64 startUs = 0;
        qint64 endUs = 0;
    };
    Times timesOf(const Ref &ref) const;
    QByteArray bytesOf(const Ref &ref, qint64 limit) const;
    // Whether the first `limit` bytes of the row were read back as stored.
    bool readable(const Ref &ref, qint64 limit) const;
    // The sent event a row is, or null.
    const PortEvent *sentEvent(const Ref &ref) const;
    qint64 lengthOf(const Ref &ref) const;
    // Hands `out` the code and sort key of each frame and event the panels
    // added since the counts already seen, in time order.
    template<typename Out>
    void mergeNew(Out &&out);

    std::unique_ptr<PanelSource> m_panels;
    // The source given (or the panels), and the protocol's frames over it.
    const TrafficSource *m_base = nullptr;
    std::unique_ptr<ProtocolSource> m_decoded;
    const TrafficSource *m_source = nullptr;
    mutable std::array<Decoded, 64> m_decodedRows;
    quint64 m_decodedStamp = 1;
    PanelFilter m_filter = PanelFilter::Both;
    FrameCheck m_check = FrameCheck::None;
    ChunkedArray<quint64> m_rows;
    std::array<qint64, 2> m_framesSeen{};
    std::array<qint64, 2> m_eventsSeen{};
    // How far each panel's frames reached at the last sync.
    std::array<qint64, 2> m_coveredSeen{};
    quint64 m_generation = 0;
    struct Found {
        int row = -1;
        qint64 first = 0;
        qint64 count = 0;
    } m_found;
};

// The Reply (ms) cell: an answer's reply time with one decimal; empty for
// any other row.
QString replyText(const TrafficModel &model, int row);

// What the view tells once when rows overlap: that the split rule merges
// frames and, from the longest pause within the merged frame, which idle gap
// would cut them.
QString mergedFramesNote(std::optional<qint64> longestPauseUs);

// One character a byte: the byte itself for 0x20..0x7E, '.' otherwise.
QString printableText(QByteArrayView bytes);

// What Find looks for: the text's characters as bytes (one a character) or,
// in hex mode, a hex sequence such as "01 03" or "0103". Nothing, with the
// reason, for an empty text or one that is not hex in hex mode.
std::optional<QByteArray> findPattern(const QString &text, bool hex, QString *reason);
// The next row with bytes after `from` (before it, going back) that holds
// `pattern`, wrapping round at the ends; -1 when none does.
int findRow(const TrafficModel &model, QByteArrayView pattern, int from, bool forward);
// The same search, with where in the row's frame the pattern begins (its
// first place there); a row of -1 when none holds it.
struct FoundBytes {
    int row = -1;
    qint64 first = 0;
};
FoundBytes findBytes(const TrafficModel &model, QByteArrayView pattern, int from, bool forward);

} // namespace console
