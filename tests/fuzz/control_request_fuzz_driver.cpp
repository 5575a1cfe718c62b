// Runs the request parser's fuzz target on a fixed number of generated lines
// when libFuzzer is not available: JSON pieces of real requests (names,
// fields, numbers at and past their limits, odd ids), broken UTF-8 and
// random bytes, glued at random from a fixed seed; now and then a line
// around the 65 536-byte limit.
//   control_request_fuzz_driver [count] [seed]
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
    const std::vector<std::string> names = {"status", "start", "pause", "continue", "stop", "incidents",
                                            "acknowledge", "trace", "subscribe", "unsubscribe", "Stop", "", "x"};
    const std::vector<std::string> keys = {"id", "request", "recorder", "name", "folder", "duration", "user",
                                           "last", "seq", "all", "levels", "", "ID"};
    const std::vector<std::string> values = {
        "0", "1", "8", "9", "-1", "2.5", "3.0", "1e3", "604800", "604801", "1000", "1001", "5000", "5001",
        "9007199254740993", "-0", "1e400", "true", "false", "null", "\"\"", "\"alice\"", "\"web:alice\"",
        "\"a\\nb\"", "\"\\u0000\"", "\"\\ud800\"", "\"\xC3\xA9t\xC3\xA9\"", "[]", "{}", "[1,[2,[3]]]",
        "{\"a\":{\"b\":1}}", "\"" + std::string(70, 'u') + "\""};
    const std::vector<std::string> noise = {"{", "}", ",", ":", "\"", " ", "\r", "\t", "\\", "\xFF", "\xC3",
                                            "\xED\xA0\x80", "\xF0\x9F\x8E\x99", "\x00", "]", "["};
    std::mt19937 rng(seed);
    auto pick = [&](const std::vector<std::string>& v) -> const std::string& { return v[rng() % v.size()]; };
    std::string line;
    for (long i = 0; i < count; ++i) {
        line.clear();
        if (rng() % 2000 == 0) {
            // Around the line limit.
            line = "{\"request\":\"status\",\"pad\":\"";
            line.append(65536 - line.size() - 2 + (rng() % 5) - 2, 'p');
            line += "\"}";
            if (rng() % 2) line += "\r";
        } else {
            line = "{";
            const unsigned fields = rng() % 6;
            for (unsigned f = 0; f < fields; ++f) {
                if (f) line += ",";
                if (rng() % 3 == 0) {
                    line += "\"request\":\"" + pick(names) + "\"";
                } else {
                    line += "\"" + pick(keys) + "\":" + pick(values);
                }
                if (rng() % 12 == 0) line += pick(noise);
            }
            if (rng() % 10) line += "}";
            if (rng() % 8 == 0) {
                const unsigned len = rng() % 8;
                for (unsigned b = 0; b < len; ++b) line.insert(line.begin() + long(rng() % (line.size() + 1)), char(rng() & 0xFF));
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    }
    std::printf("%ld lines, seed %u: no property broken\n", count, seed);
    return 0;
}
