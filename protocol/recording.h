#pragma once

// A recorded conversation as the exchanges it holds, and what plays it
// back: a device that answers from it, byte for byte, and the comparison of
// an answer heard again with the recorded one. Plain C++20, no Qt; times are
// microseconds of the recording's clock (or of any clock that does not go
// back, given by the caller).

#include "protocol/protocol.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace protocol {

using ByteVector = std::vector<std::uint8_t>;

// Bytes a panel received together, as a capture file keeps them (a packet,
// or a row of the traffic view's export). Panel 0 is the left, 1 the right.
struct RecordedBurst {
    int panel = 0;
    ByteVector bytes;
    std::int64_t startUs = 0; // its first byte came
    std::int64_t endUs = 0;   // its last byte came
};

struct RecordedExchange {
    ByteVector request;
    // Nothing: the request got no answer.
    std::optional<ByteVector> answer;
    // From the end of the request to the start of its answer; 0 without one.
    std::int64_t replyUs = 0;
    // When the request began.
    std::int64_t timeUs = 0;
};

struct ExchangeList {
    std::vector<RecordedExchange> exchanges;
    // Why there are none; empty when there are.
    std::string refusal;
};

// The exchanges of a recording, in the order of their requests. `bursts`
// are each panel's in time order (the two panels may interleave).
//  - With a protocol, each panel's bytes are framed by its decoder and the
//    frames of both panels paired as the traffic view pairs them (reply
//    timeout `replyTimeoutUs`): a request and its answer, or a request that
//    got none. Frames that are no request (noise, answers to nothing) are
//    left out.
//  - With None, a burst of the left panel is a request and the first burst
//    of the right panel after it, before the next request, its answer.
ExchangeList exchangesOf(Protocol protocol, const std::vector<RecordedBurst> &bursts,
                         std::int64_t replyTimeoutUs = 1'000'000);

// Keeps the Modbus exchanges whose request is for one of `units` (the
// recording of a bus with several devices, played as some of them).
std::vector<RecordedExchange> exchangesForUnits(Protocol protocol, std::vector<RecordedExchange> exchanges,
                                                const std::vector<std::uint8_t> &units);

// Who answers a request from a recording: a request equal byte for byte to
// a recorded one gets that one's answer; one recorded several times gets
// the recorded answers in turn, the first again after the last (a value
// polled while it changed plays its changes). A request recorded without
// an answer is matched and gets none, as then.
class RecordingAnswerer {
public:
    explicit RecordingAnswerer(std::vector<RecordedExchange> exchanges);

    struct Reply {
        bool matched = false;
        // Nothing when no answer goes out.
        std::optional<ByteVector> answer;
        std::int64_t replyUs = 0; // the recorded reply time
    };
    Reply answer(std::span<const std::uint8_t> request);

    std::size_t size() const { return m_exchanges.size(); }

private:
    std::vector<RecordedExchange> m_exchanges;
    // The exchanges of each request, and which of them answers next.
    struct Turns {
        std::vector<std::size_t> indexes;
        std::size_t next = 0;
    };
    std::map<ByteVector, Turns> m_byRequest;
};

// A line's incoming bytes cut into frames: by the protocol's decoder, or,
// with None, at every pause of at least `gapUs` (what arrives with shorter
// pauses is one frame).
class LineFrames {
public:
    LineFrames(Protocol protocol, std::int64_t gapUs, std::int64_t replyTimeoutUs = 1'000'000);
    ~LineFrames();

    struct Frame {
        ByteVector bytes;
        Verdict verdict = Verdict::Good;
        Direction direction = Direction::Unknown;
        std::int64_t startUs = 0; // the feed that brought its first byte
    };

    void feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
    // Nothing arrived until `nowUs`.
    void idle(std::int64_t nowUs);
    std::vector<Frame> take() { return std::exchange(m_ready, {}); }
    // Bytes fed and not yet in a frame.
    bool pending() const { return !m_bytes.empty(); }

private:
    void collect(const std::vector<FrameMark> &marks);

    std::unique_ptr<Framer> m_framer; // null: the pause cuts
    std::int64_t m_gapUs;
    ByteVector m_bytes; // from stream offset m_base on
    std::int64_t m_base = 0;
    // When each byte not yet in a frame came (for a frame's start); one per
    // feed: the offset its first byte had, and the time.
    std::deque<std::pair<std::int64_t, std::int64_t>> m_feeds;
    std::int64_t m_lastUs = 0;
    std::vector<Frame> m_ready;
};

// The device on a line, answering from a recording: requests framed as
// LineFrames cuts them, answers sent in turn after the recorded reply time
// (or a fixed delay), one at a time, the next when the line has carried
// the one before.
class RecordingDevice {
public:
    struct Options {
        Protocol protocol = Protocol::ModbusRtu;
        // Nothing: each answer after its recorded reply time.
        std::optional<std::int64_t> replyDelayUs;
        std::int64_t byteTimeUs = 1042; // 9600,n,8,1
        // With None, the pause that ends a request.
        std::int64_t requestGapUs = 50'000;
        std::size_t maxWaiting = 64;
        std::size_t maxHandled = 1000;
    };

    RecordingDevice(RecordingAnswerer &answerer, const Options &options);

    void setReplyDelayUs(std::optional<std::int64_t> us) { m_options.replyDelayUs = us; }

    void feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
    void idle(std::int64_t nowUs);

    std::optional<std::int64_t> nextDueUs() const;
    std::optional<ByteVector> takeDue(std::int64_t nowUs);

    struct Counts {
        std::int64_t matched = 0;   // requests equal to a recorded one
        std::int64_t unmatched = 0; // requests that were not recorded
        std::int64_t answered = 0;  // answers sent
        std::int64_t dropped = 0;   // matched while too many answers waited
        // Requests handled and let go before takeHandled() gave them out
        // (beyond `maxHandled`, or none kept): counted only.
        std::int64_t unlisted = 0;
    };
    const Counts &counts() const { return m_counts; }

    // A request as it was handled, for a line about it.
    struct Handled {
        enum class Outcome : std::uint8_t { Answering, RecordedSilent, Unmatched, Dropped };
        ByteVector request;
        Outcome outcome = Outcome::Unmatched;
    };
    // The requests handled since the last take, oldest first; at most the
    // last `maxHandled` of them (the rest are only counted).
    std::vector<Handled> takeHandled();
    // Whether bytes wait for the rest of their request.
    bool pending() const { return m_frames.pending(); }

private:
    void handle(std::int64_t nowUs);

    RecordingAnswerer &m_answerer;
    Options m_options;
    LineFrames m_frames;
    struct Waiting {
        std::int64_t dueUs;
        ByteVector bytes;
    };
    std::deque<Waiting> m_waiting;
    std::int64_t m_lineFreeUs = 0;
    Counts m_counts;
    std::deque<Handled> m_handled;
    void noteHandled(ByteVector request, Handled::Outcome outcome);
};

// "<time> <what the request is>: <what became of it>", the request read by
// the protocol's decoder (its bytes in hex with None or when it reads as no
// request): "12:00:00.000 Read holding registers 0-9, unit 1: answered from
// the recording".
std::string handledLine(const std::string &time, Protocol protocol, const RecordingDevice::Handled &handled);

// What differs between a recorded answer and one heard again to the same
// request, read with the protocol's decoder: "register 3: 103 -> 117" a
// field, the leaf fields only and the check (CRC, sum) only when nothing
// else differs; bytes that decode alike but differ, or that are not one
// whole frame, "bytes: ... -> ...".
// Empty when the two are the same bytes. Without a protocol, the bytes.
std::vector<std::string> answerDifferences(Protocol protocol, std::span<const std::uint8_t> request,
                                           std::span<const std::uint8_t> recorded,
                                           std::span<const std::uint8_t> heard);

} // namespace protocol
