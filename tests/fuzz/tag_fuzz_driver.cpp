// Runs the fuzz target on a fixed number of generated inputs when libFuzzer
// is not available: pieces of real messages, digits, separators, UTF-8 and
// code-page bytes and random bytes, glued at random, from a fixed seed.
//   tag_fuzz_driver [count] [seed]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::atol(argv[1]) : 200000;
    const unsigned seed = argc > 2 ? unsigned(std::atol(argv[2])) : 1u;
    const std::vector<std::string> pieces = {
        "<Record:", "<Recorder:", "<WaitDuration:", "<SongId:", "<Song:", "<ArticleId:", "<Article:",
        "<Convert:", "<ASC82Plus:", "<record:", "<RECORDER:", "Start", "Stop", "Pause", "99999999",
        "1", "9", "0", "-1", ">", "<", ":", " ", "\r\n", "\t", "\x00", "\xC3\xA9", "\xE9", "\x80\x9F",
        "\xF0\x9F\x8E\x99", "\xED\xA0\x80", "\xFF\xFE", "..", "/", "\\"};
    std::mt19937 rng(seed);
    std::string input;
    for (long i = 0; i < count; ++i) {
        input.assign(1, char(rng() % 12));
        const unsigned n = rng() % 24;
        for (unsigned j = 0; j < n; ++j) {
            if (rng() % 5 == 0) {
                const unsigned len = rng() % 6;
                for (unsigned b = 0; b < len; ++b) input += char(rng() & 0xFF);
            } else {
                input += pieces[rng() % pieces.size()];
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
    std::printf("%ld inputs, seed %u: no property broken\n", count, seed);
    return 0;
}
