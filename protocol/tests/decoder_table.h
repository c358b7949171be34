#pragma once

// The tables the decoder tests are written as: a stream in arrivals and the
// marks its framer leaves; a frame and the texts its description gives.

#include "protocol/protocol.h"
#include "written_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace decoder_table {

using protocol::Direction;
using protocol::FrameMark;
using protocol::Protocol;
using protocol::Verdict;

using written_bytes::Bytes;
using written_bytes::text;

inline Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Framing {
    const char *name;
    std::vector<Bytes> arrivals; // 1 ms apart
    std::vector<FrameMark> marks;
    // How many of the marks are there before the stream ends; -1: all.
    int markedLive = -1;
};

// Every row's marks, after its stream ends and (markedLive) before.
inline void checkFraming(Protocol protocol, const std::vector<Framing> &rows)
{
    for (const Framing &row : rows) {
        auto framer = protocol::makeFramer(protocol);
        ASSERT_TRUE(framer);
        std::vector<FrameMark> marks;
        std::int64_t now = 0;
        for (const auto &bytes : row.arrivals)
            framer->feed(bytes, now += 1000, marks);
        const std::size_t live = row.markedLive < 0 ? row.marks.size() : std::size_t(row.markedLive);
        EXPECT_EQ(marks, std::vector<FrameMark>(row.marks.begin(), row.marks.begin() + std::min(live, row.marks.size())))
            << row.name << " (before the end)";
        framer->finish(marks);
        EXPECT_EQ(marks, row.marks) << row.name;
        EXPECT_EQ(framer->pending(), 0) << row.name;
    }
}

struct Described {
    const char *name;
    Bytes frame;
    Direction direction;
    Verdict verdict;
    Bytes request;
    // The CSV texts: status as the export writes it ("nak 42").
    const char *status, *unit, *function, *address, *count, *values, *summary;
};

inline std::string statusText(const protocol::Description &d)
{
    switch (d.status) {
    case protocol::Status::Request: return "request";
    case protocol::Status::Answer: return "answer";
    case protocol::Status::Exception: return "exception " + d.code;
    case protocol::Status::Nak: return d.code.empty() ? "nak" : "nak " + d.code;
    case protocol::Status::BadCheck: return "bad check";
    case protocol::Status::Unrecognised: return "unrecognised";
    }
    return "";
}

inline void checkDescribed(Protocol protocol, const std::vector<Described> &rows)
{
    for (const Described &row : rows) {
        const FrameMark mark{0, std::uint32_t(row.frame.size()), row.direction, row.verdict};
        const auto d = protocol::describe(protocol, row.frame, mark, row.request);
        EXPECT_EQ(statusText(d), row.status) << row.name;
        EXPECT_EQ(d.unit, row.unit) << row.name;
        EXPECT_EQ(d.function, row.function) << row.name;
        EXPECT_EQ(d.address, row.address) << row.name;
        EXPECT_EQ(d.count, row.count) << row.name;
        EXPECT_EQ(d.values, row.values) << row.name;
        EXPECT_EQ(d.summary, row.summary) << row.name;
        for (const auto &field : d.fields) {
            EXPECT_LE(field.begin, field.end) << row.name << " " << field.name;
            EXPECT_LE(field.end, row.frame.size()) << row.name << " " << field.name;
        }
    }
}

// The value of the first field of that name; "" when there is none.
inline std::string fieldValue(const protocol::Description &d, std::string_view name)
{
    for (const auto &field : d.fields)
        if (field.name == name)
            return field.value;
    return {};
}

} // namespace decoder_table
