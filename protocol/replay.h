#pragma once

// A recording's requests sent again to a device, one at a time, each answer
// compared with the recorded one. Plain C++20, no Qt and no port: the
// caller sends what takeRequest() gives and feeds what comes back, with
// times in microseconds of a clock that does not go back.

#include "protocol/recording.h"

#include <memory>
#include <string>
#include <vector>

namespace protocol {

enum class ReplayTiming : std::uint8_t {
    Recorded, // each request as long after the first as it was recorded (never before the last answer)
    Fast,     // each as soon as the answer before came or its wait ended
};

struct ReplayOptions {
    Protocol protocol = Protocol::None;
    ReplayTiming timing = ReplayTiming::Recorded;
    // How long an answer is waited for after the request has gone out.
    std::int64_t replyTimeoutUs = 1'000'000;
    std::int64_t byteTimeUs = 1042; // 9600,n,8,1
    // Without a protocol, the pause that ends an answer.
    std::int64_t answerGapUs = 50'000;
};

enum class ReplayVerdict : std::uint8_t { Same, Different, NoAnswer };

struct ReplayResult {
    std::size_t number = 0; // 1 for the first request
    ReplayVerdict verdict = ReplayVerdict::Same;
    // What differs (answerDifferences()), for Different.
    std::vector<std::string> differences;
    // What the request is: the decoder's summary, else its bytes.
    std::string request;
};

struct ReplayTotals {
    std::int64_t same = 0;
    std::int64_t different = 0;
    std::int64_t noAnswer = 0;
    std::int64_t all() const { return same + different + noAnswer; }
};

// "request 2 (Read holding registers 0-2, unit 1): different: register 1:
// 20 -> 117; register 2: 40 -> 41", "request 3 (...): no answer".
std::string replayLine(const ReplayResult &result);
// "3 requests: 1 same, 1 different, 1 no answer".
std::string replayTotalsLine(const ReplayTotals &totals);

class Replay {
public:
    Replay(std::vector<RecordedExchange> exchanges, const ReplayOptions &options);
    ~Replay();

    // The next request, when it is due at `nowUs`: it counts as going out
    // then, and its answer is waited for from then on.
    std::optional<ByteVector> takeRequest(std::int64_t nowUs);
    // When something is due (a request, the end of a wait); nothing once
    // finished.
    std::optional<std::int64_t> nextDueUs() const;

    // Bytes that came back, at `nowUs`; bytes while no answer is waited for
    // (one that came after its wait ended) are dropped.
    void feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
    // Nothing came until `nowUs`.
    void idle(std::int64_t nowUs);

    std::vector<ReplayResult> takeResults() { return std::exchange(m_results, {}); }
    const ReplayTotals &totals() const { return m_totals; }
    bool finished() const { return m_next >= m_exchanges.size(); }
    std::size_t size() const { return m_exchanges.size(); }

private:
    std::int64_t requestDueUs() const;
    void look(std::int64_t nowUs);
    void conclude(const std::optional<ByteVector> &heard, std::int64_t nowUs);

    std::vector<RecordedExchange> m_exchanges;
    ReplayOptions m_options;
    std::size_t m_next = 0;
    bool m_waiting = false;
    std::int64_t m_startUs = 0;
    std::int64_t m_deadlineUs = 0;
    std::int64_t m_doneUs = 0;
    // The answer's framing, made anew for each request.
    std::unique_ptr<LineFrames> m_frames;
    std::vector<ReplayResult> m_results;
    ReplayTotals m_totals;
};

} // namespace protocol
