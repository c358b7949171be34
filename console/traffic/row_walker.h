#pragma once

#include "protocol/pairing.h"
#include "protocol/protocol.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

namespace console {

// What the row filter and the statistics read of a row of decoded traffic.
struct RowFacts {
    bool frame = false; // an event row is none
    std::string unit;   // as the description gives it: Modbus "1", MC "01"
    std::string function;
    protocol::Status status = protocol::Status::Unrecognised;
    protocol::Role role = protocol::Role::None;
    std::int64_t replyUs = 0;
};

// The order stations (and functions) are listed in: numbers by their value
// ("2" before "10"), then texts, then the empty text last.
bool stationBefore(const std::string &a, const std::string &b);

// A request whose reply timeout still runs: it may yet become "no answer".
inline bool awaitsAnswer(const RowFacts &facts)
{
    return facts.frame && facts.role == protocol::Role::Request;
}

// Walks the rows of a list that grows at its end, a slice of rows each turn
// of the event loop (at most kSliceRows rows, and no longer than about
// kSliceMs: a row's description can be slow to read), so that a million
// rows never hold the window up: each
// row is handed to `take` once, in order. A row the consumer cannot judge
// yet (`settled` false: a request still waiting for its answer) stops the
// walk there; it goes on when more rows come (more()) or, while it waits,
// every kRetryMs.
class RowWalker : public QObject {
    Q_OBJECT
public:
    static constexpr int kSliceRows = 4096;
    static constexpr int kRetryMs = 250;
    static constexpr int kSliceMs = 20;

    struct Rows {
        std::function<int()> count;
        std::function<RowFacts(int row)> factsAt;
    };
    using Take = std::function<void(int row, const RowFacts &facts)>;
    using Settled = std::function<bool(const RowFacts &facts)>;

    RowWalker(Rows rows, Take take, Settled settled, QObject *parent = nullptr);

    // The next row to hand over.
    int next() const { return m_next; }
    bool caughtUp() const { return m_next >= m_rows.count(); }
    // Rows count from `row` again (the consumer dropped what it took from
    // there on); the walk goes on from the event loop.
    void restartAt(int row);
    // Rows were added: the walk goes on from the event loop.
    void more();
    // Hands over up to `limit` rows now, for about kSliceMs at most; returns
    // caughtUp().
    bool walk(int limit = kSliceRows);

signals:
    // Rows were handed over in a slice.
    void progressed();

private:
    void schedule();

    Rows m_rows;
    Take m_take;
    Settled m_settled;
    int m_next = 0;
    bool m_scheduled = false;
    QTimer m_retry;
    // Changes with every restart: a slice scheduled before one is dropped.
    quint64 m_generation = 0;
};

} // namespace console
