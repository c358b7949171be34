#pragma once

#include "console/bytes/arrival_times.h"
#include "console/bytes/byte_selection.h"
#include "console/bytes/byte_store.h"
#include "console/receive/grid_arithmetic.h"
#include "console/receive/receive_grid_model.h"
#include "serial/serial_control.h"

#include <array>
#include <functional>

namespace console {

// A panel's received bytes, when they came, its selection and its two grid
// models. Bytes enter in two steps: received (kept in the store, not yet
// shown: a serial control hands them over here as they arrive, so a tick's
// worth never waits in a second buffer, and their arrival is marked then)
// and shown at the next tick. Showing is one row insertion and one cell
// change per model, whatever it brought.
class ReceiveBuffer : public QObject, public serial::ReceiveSink {
    Q_OBJECT
public:
    explicit ReceiveBuffer(QObject *parent = nullptr);

    // Receives and shows at once, as a tick that read `bytes` does.
    void append(const QByteArray &bytes);
    // serial::ReceiveSink: bytes waiting to be shown.
    void received(const char *data, qint64 count) override;
    void discarded() override;
    // Shows every waiting byte; returns the index of the first byte shown
    // (the count shown is shownSize() minus it).
    qint64 showWaiting();
    // Empties the grids; bytes still waiting stay and are shown from the
    // first cell at the next tick.
    void reset();

    // Bytes kept in memory before older ones go to a file (ByteStore); 0
    // keeps them all in memory.
    void setMemoryBudget(qint64 bytes) { m_store.setMemoryBudget(bytes); }

    // Where arrival times come from; the system's clocks unless a test sets
    // its own.
    void setClock(ArrivalClock clock) { m_clock = std::move(clock); }
    // One clock in milliseconds since the epoch for both.
    void setClock(std::function<qint64()> msecs) { m_clock = ArrivalClock::fromMilliseconds(std::move(msecs)); }
    const ArrivalClock &clock() const { return m_clock; }

    // Holds the shown bytes and, after them, those still waiting.
    const ByteStore &store() const { return m_store; }
    qint64 shownSize() const { return m_shown; }
    qint64 waitingSize() const { return m_store.size() - m_shown; }
    const ArrivalTimes &arrivalTimes() const { return m_times; }
    ByteSelection &selection() { return m_selection; }
    const ByteSelection &selection() const { return m_selection; }

    ReceiveGridModel *textModel() { return &m_text; }
    ReceiveGridModel *hexModel() { return &m_hex; }
    qint64 rowCount() const { return grid::rowCountFor(m_shown); }
    // Cell that receives the next byte: row from 1, column 1..16.
    qint64 rxRow() const { return m_shown / grid::kBytesPerRow + 1; }
    int rxCol() const { return int(m_shown % grid::kBytesPerRow) + 1; }

    // Tells, once, that bytes of the store could not be read back (see
    // ByteStore::readable()): called at every tick, as a grid's drawing may
    // have met them. Again only after a reset().
    void checkReadBack();

signals:
    // Once, when bytes could not be read back from the store's file.
    void readBackFailed(const QString &reason);
    // Once, when the store could not write its file: from then on the
    // bytes stay in memory, none lost. Again only after a reset() that
    // failed anew.
    void spillFailed(const QString &reason);

private:
    ByteStore m_store;
    bool m_spillReported = false;
    bool m_readBackReported = false;
    qint64 m_shown = 0;
    ArrivalTimes m_times;
    ArrivalClock m_clock;
    ByteSelection m_selection;
    ReceiveGridModel m_text;
    ReceiveGridModel m_hex;
};

} // namespace console
