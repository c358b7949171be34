#include "protocol/stream_framer.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace protocol::detail {

namespace {

// An unrecognised run is marked when it reaches this many bytes, so that a
// flood of noise neither waits in the buffer nor overflows a mark's length.
constexpr std::int64_t kLongestRun = kLongestUnframedRun;

class StreamFramer final : public Framer {
public:
    StreamFramer(std::unique_ptr<Grammar> grammar, const Options &options)
        : grammar_(std::move(grammar)), timeoutUs_(std::max<std::int64_t>(options.replyTimeoutUs, 0))
    {
    }

    void feed(std::span<const std::uint8_t> bytes, std::int64_t arrivalUs, std::vector<FrameMark> &out) override
    {
        if (bytes.empty())
            return;
        if (started_ && arrivalUs - lastArrivalUs_ > timeoutUs_) {
            settle(out);
            boundary_ = true;
        }
        started_ = true;
        lastArrivalUs_ = arrivalUs;
        if (buffer_.empty()) {
            // The common case on a re-decode: nothing waits, so the bytes are
            // scanned where they are and only the unfinished tail is kept.
            scan(bytes, false, out);
            keepTail(bytes);
        } else {
            buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
            scan(buffer_, false, out);
            dropMarked();
        }
    }

    void idle(std::int64_t nowUs, std::vector<FrameMark> &out) override
    {
        if (!buffer_.empty() && nowUs - lastArrivalUs_ > timeoutUs_) {
            settle(out);
            boundary_ = true;
        }
    }

    void finish(std::vector<FrameMark> &out) override { settle(out); }

    std::int64_t pending() const override { return std::int64_t(buffer_.size()); }

private:
    // Everything waiting leaves as marks: nothing more completes it.
    void settle(std::vector<FrameMark> &out)
    {
        if (buffer_.empty())
            return;
        scan(buffer_, true, out);
        dropMarked();
    }

    // `view` holds the stream from offset base_ on.
    void scan(Bytes view, bool final, std::vector<FrameMark> &out)
    {
        const std::int64_t end = base_ + std::int64_t(view.size());
        for (;;) {
            if (candidate_ && position_ >= candidate_->end()) {
                markRun(candidate_->begin, out);
                emit(*candidate_, view, out);
                position_ = candidate_->end();
                candidate_.reset();
                run_.reset();
                boundary_ = true;
            }
            if (position_ >= end)
                break;
            const Bytes rest = view.subspan(std::size_t(position_ - base_));
            const Probe probe = grammar_->probe(rest, boundary_, final);
            if (probe.kind == Probe::NeedMore && !final)
                break;
            if (probe.kind == Probe::Frame && probe.length > 0 && probe.length <= rest.size()) {
                const FrameMark mark{position_, probe.length, probe.direction, probe.verdict};
                if (probe.verdict == Verdict::Good) {
                    candidate_.reset();
                    markRun(position_, out);
                    emit(mark, view, out);
                    position_ = mark.end();
                    boundary_ = true;
                    continue;
                }
                if (!candidate_)
                    candidate_ = mark;
            }
            if (!run_)
                run_ = position_;
            ++position_;
            boundary_ = false;
            // Noise is passed over in one step, up to a candidate's end (a
            // good frame inside it wins, else it is marked there) or the
            // longest run.
            std::int64_t limit = end - position_;
            limit = std::min(limit, candidate_ ? candidate_->end() - position_ : *run_ + kLongestRun - position_);
            if (limit > 0)
                position_ += std::int64_t(
                    grammar_->noFrameRun(view.subspan(std::size_t(position_ - base_)), std::size_t(limit)));
            if (!candidate_ && position_ - *run_ >= kLongestRun)
                markRun(position_, out);
        }
        if (!candidate_)
            markRun(position_, out);
    }

    void markRun(std::int64_t upTo, std::vector<FrameMark> &out)
    {
        if (run_ && *run_ < upTo)
            out.push_back({*run_, std::uint32_t(upTo - *run_), Direction::Unknown, Verdict::Unrecognised});
        run_.reset();
    }

    void emit(const FrameMark &mark, Bytes view, std::vector<FrameMark> &out)
    {
        out.push_back(mark);
        grammar_->marked(view.subspan(std::size_t(mark.begin - base_), mark.length), mark);
    }

    // The first offset no mark has covered yet.
    std::int64_t firstWaiting() const
    {
        std::int64_t first = position_;
        if (run_)
            first = std::min(first, *run_);
        if (candidate_)
            first = std::min(first, candidate_->begin);
        return first;
    }

    void keepTail(Bytes view)
    {
        const std::int64_t first = firstWaiting();
        buffer_.assign(view.begin() + (first - base_), view.end());
        base_ = first;
    }

    void dropMarked()
    {
        const std::int64_t first = firstWaiting();
        buffer_.erase(buffer_.begin(), buffer_.begin() + (first - base_));
        base_ = first;
    }

    std::unique_ptr<Grammar> grammar_;
    std::int64_t timeoutUs_;
    std::vector<std::uint8_t> buffer_; // the stream from base_ on, not yet marked
    std::int64_t base_ = 0;
    std::int64_t position_ = 0; // where the grammar is asked next
    std::optional<std::int64_t> run_; // start of unrecognised bytes not yet marked
    std::optional<FrameMark> candidate_; // a bad or cut frame, unless a good one begins inside it
    bool boundary_ = true;
    bool started_ = false;
    std::int64_t lastArrivalUs_ = 0;
};

} // namespace

std::unique_ptr<Framer> makeStreamFramer(std::unique_ptr<Grammar> grammar, const Options &options)
{
    return std::make_unique<StreamFramer>(std::move(grammar), options);
}

} // namespace protocol::detail
