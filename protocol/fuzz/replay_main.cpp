// The fuzz targets without libFuzzer, for compilers that have none: each
// file named is given to the target as it is, then `count` inputs made from
// them by flipping, dropping, repeating and splicing bytes, from a fixed
// seed so that a failure comes back on the next run.
//
//   replay_<protocol> COUNT FILE...
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s COUNT FILE...\n", argv[0]);
        return 2;
    }
    const long count = std::strtol(argv[1], nullptr, 10);
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(seeds.back().data(), seeds.back().size());
    }
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    const auto next = [&state] {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return state;
    };
    for (long n = 0; n < count; ++n) {
        std::vector<std::uint8_t> input = seeds[next() % seeds.size()];
        const int edits = 1 + int(next() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = input.empty() ? 0 : next() % input.size();
            switch (next() % 6) {
            case 0: // a byte changed
                if (!input.empty())
                    input[at] = std::uint8_t(next());
                break;
            case 1: // a bit flipped
                if (!input.empty())
                    input[at] ^= std::uint8_t(1u << (next() % 8));
                break;
            case 2: // bytes dropped (a frame truncated)
                input.erase(input.begin() + at, input.begin() + std::min(input.size(), at + 1 + next() % 16));
                break;
            case 3: { // a run repeated (glued frames, a long continuation)
                const std::size_t length = std::min<std::size_t>(input.size() - at, 1 + next() % 64);
                const std::vector<std::uint8_t> run(input.begin() + at, input.begin() + at + length);
                for (int r = int(next() % 64); r >= 0 && input.size() < 16384; --r)
                    input.insert(input.begin() + at, run.begin(), run.end());
                break;
            }
            case 4: { // another seed spliced in
                const auto &other = seeds[next() % seeds.size()];
                input.insert(input.begin() + at, other.begin(), other.end());
                break;
            }
            default: // noise inserted
                for (int r = int(next() % 8); r >= 0; --r)
                    input.insert(input.begin() + at, std::uint8_t(next()));
                break;
            }
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%ld inputs and %zu seed files, no failure\n", count, seeds.size());
    return 0;
}
