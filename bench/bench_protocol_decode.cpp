// Re-decode rate of the protocol framers: how fast a stored capture is cut
// into frames again when a protocol is chosen. Prints MB/s, best of 3.
#include "protocol/protocol.h"

#include <chrono>
#include <cstdio>
#include <vector>

int main()
{
    constexpr std::size_t kSize = 64u << 20, kChunk = 64u << 10;
    std::vector<std::uint8_t> noise(kSize);
    std::uint32_t seed = 7;
    for (auto &b : noise)
        b = std::uint8_t((seed = seed * 1103515245 + 12345) >> 16);
    std::vector<std::uint8_t> frames;
    const std::uint8_t exchange[] = {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87,
                                     0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64, 0xC8, 0xBA};
    while (frames.size() + sizeof exchange <= kSize)
        frames.insert(frames.end(), exchange, exchange + sizeof exchange);
    for (const auto protocol : {protocol::Protocol::ModbusRtu, protocol::Protocol::ModbusAscii})
        for (const auto *input : {&noise, &frames}) {
            double best = 0;
            std::size_t marks = 0;
            for (int round = 0; round < 3; ++round) {
                auto framer = protocol::makeFramer(protocol);
                std::vector<protocol::FrameMark> out;
                const auto start = std::chrono::steady_clock::now();
                for (std::size_t at = 0; at < input->size(); at += kChunk)
                    framer->feed(std::span(*input).subspan(at, std::min(kChunk, input->size() - at)), 0, out);
                framer->finish(out);
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                best = std::max(best, input->size() / 1e6 / seconds);
                marks = out.size();
            }
            std::printf("%-13s %-14s %8.1f MB/s  (%zu marks)\n", std::string(protocol::settingName(protocol)).c_str(),
                        input == &noise ? "noise" : "Modbus frames", best, marks);
        }
}
