// Cost of the loudness measure and of the waveform sidecar, per stereo
// 48000 Hz recorder, two ways, each side by side in one run:
//  1. the analysis alone on the same 100 ms blocks (CPU time of this thread):
//     the meter unattended (what a logger does all day), the meter read 10
//     times a second (meters on screen), the same library modes without
//     the true peak, and the waveform writer;
//  2. the engine: two processes of 8 recorders each record the built-in test
//     tone to WAV at the same time, one with the measure and both sidecars,
//     the other with all of it off; the difference of their CPU over the
//     window, per recorder.
//   loudness_bench                 both
//   loudness_bench --engine <on> <n> <seconds> <folder>   one engine process
#include "platform/capture/active_sound_recorder.h"
#include "platform/capture/loudness_meter.h"
#include "platform/capture/waveform_peaks.h"

#include <QCoreApplication>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <ebur128.h>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = kRate / 10;
constexpr double kGoalPercent = 0.15;  // analysis with true peak
constexpr double kPeaksGoalPercent = 0.05;

double ThreadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Programme-like stereo blocks: two tones and noise, changing level.
std::vector<std::vector<int16_t>> Blocks(int seconds) {
    std::vector<std::vector<int16_t>> blocks(size_t(seconds) * 10, std::vector<int16_t>(kBlock * 2));
    unsigned seed = 1;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const double level = 0.05 + 0.25 * (0.5 + 0.5 * std::sin(double(b) / 37.0));
        for (int i = 0; i < kBlock; ++i) {
            const double t = (double(b) * kBlock + i) / kRate;
            seed = seed * 1103515245u + 12345u;
            const double noise = double((seed >> 16) & 0x7fff) / 32768.0 - 0.5;
            const double v = level * (std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 3100 * t) + 0.3 * noise);
            blocks[b][2 * i] = int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
            blocks[b][2 * i + 1] = int16_t(std::lround(std::clamp(0.8 * v, -1.0, 1.0) * 32767));
        }
    }
    return blocks;
}

// Percent of one core that `feed` takes for the blocks, best of three passes.
double PercentOfCore(const std::vector<std::vector<int16_t>>& blocks, const std::function<void()>& setUp,
                     const std::function<void(const int16_t*)>& feed) {
    double best = 1e9;
    for (int pass = 0; pass < 3; ++pass) {
        setUp();
        const double t0 = ThreadCpu();
        for (const auto& b : blocks) feed(b.data());
        best = std::min(best, ThreadCpu() - t0);
    }
    return 100.0 * best / (double(blocks.size()) / 10.0);
}

void AnalysisAlone(int seconds) {
    const auto blocks = Blocks(seconds);
    std::unique_ptr<platform::capture::LoudnessMeter> meter;
    auto newMeter = [&] { meter = std::make_unique<platform::capture::LoudnessMeter>(kRate, 2, 16); };
    const double unattended = PercentOfCore(blocks, newMeter, [&](const int16_t* b) { meter->Add(b, kBlock); });
    const double watched = PercentOfCore(blocks, newMeter, [&](const int16_t* b) {
        meter->Add(b, kBlock);
        meter->Snapshot();
    });
    const double withoutTruePeak = PercentOfCore(
        blocks, [&] { meter = std::make_unique<platform::capture::LoudnessMeter>(kRate, 2, 16, false); },
        [&](const int16_t* b) { meter->Add(b, kBlock); });
    ebur128_state* st = nullptr;
    auto library = [&](int mode) {
        return PercentOfCore(
            blocks,
            [&] {
                if (st) ebur128_destroy(&st);
                st = ebur128_init(2, kRate, mode);
            },
            [&](const int16_t* b) { ebur128_add_frames_short(st, b, kBlock); });
    };
    const double noTruePeak = library(EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_HISTOGRAM);
    const double truePeakOnly = library(EBUR128_MODE_TRUE_PEAK);
    if (st) ebur128_destroy(&st);
    std::unique_ptr<platform::capture::PeaksWriter> peaks;
    const std::string path = "/tmp/loudness_bench_" + std::to_string(getpid()) + ".peaks.dat";
    int n = 0;
    const double peaksCost = PercentOfCore(
        blocks,
        [&] {
            peaks = std::make_unique<platform::capture::PeaksWriter>();
            platform::capture::CaptureFormat f;
            f.rate = kRate;
            f.channels = 2;
            f.bits = 16;
            peaks->Open(QString::fromStdString(path), f, nullptr);
        },
        [&](const int16_t* b) {
            peaks->Add(reinterpret_cast<const uint8_t*>(b), kBlock);
            if (++n % 10 == 0) peaks->Flush(nullptr);
        });
    peaks.reset();
    std::remove(path.c_str());
    std::printf("Analysis alone, %d s of 48000 Hz stereo 16-bit programme-like blocks of 100 ms, %% of one core "
                "(thread CPU, best of 3):\n",
                seconds);
    std::printf("  %-58s %8.4f %%   goal < %.2f %%: %s\n", "meter, unattended (I, LRA, S, true peak, histogram)",
                unattended, kGoalPercent, unattended < kGoalPercent ? "met" : "NOT met");
    std::printf("  %-58s %8.4f %%\n", "meter, live values read 10 times a second", watched);
    std::printf("  %-58s %8.4f %%   goal < %.2f %%: %s\n", "meter without true peak (LoudnessTruePeak off)",
                withoutTruePeak, kGoalPercent, withoutTruePeak < kGoalPercent ? "met" : "NOT met");
    std::printf("  %-58s %8.4f %%\n", "the library without true peak (I, LRA, histogram)", noTruePeak);
    std::printf("  %-58s %8.4f %%\n", "the library's true peak mode alone (with its K-weighting)", truePeakOnly);
    std::printf("  %-58s %8.4f %%   goal < %.2f %%: %s\n", "waveform writer (min/max, flushed every second)",
                peaksCost, kPeaksGoalPercent, peaksCost < kPeaksGoalPercent ? "met" : "NOT met");
}

// --- the engine -------------------------------------------------------------

int RunEngine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool on = std::atoi(argv[2]) != 0;
    const int count = std::atoi(argv[3]), seconds = std::atoi(argv[4]);
    const QString folder = QString::fromLocal8Bit(argv[5]);
    platform::ActiveSoundRecorder::EnableTestTone(true);
    std::vector<std::unique_ptr<platform::ActiveSoundRecorder>> recorders;
    int done = 0;
    for (int i = 0; i < count; ++i) {
        auto r = std::make_unique<platform::ActiveSoundRecorder>(i);
        if (r->InitRecorder(0) != 0) return 3;
        auto& e = r->Encoder();
        e.FormatToUse = 1;
        e.CaptureRate = kRate;
        e.CaptureChannels = 2;
        e.CaptureBits = 16;
        e.LoudnessAnalysis = e.LoudnessSidecar = e.PeaksSidecar = on;
        QObject::connect(r.get(), &platform::ActiveSoundRecorder::RecordingFinalizationDone, [&](int, bool) {
            if (++done == count) app.quit();
        });
        const QString path = folder + QString("/engine_%1_%2.wav").arg(on ? "on" : "off").arg(i);
        if (r->StartFromDirectSoundDevice(r->InputDeviceCount() - 1, 0, path) != 0) return 5;
        recorders.push_back(std::move(r));
    }
    QTimer::singleShot(seconds * 1000, [&] {
        for (auto& r : recorders) r->RecorderStop();
    });
    app.exec();
    return 0;
}

double ProcessCpu(pid_t pid) {
    clockid_t clock;
    timespec ts{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &ts) != 0) return 0;
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

pid_t SpawnEngine(bool on, int count, int seconds, const std::string& folder) {
    std::vector<std::string> args = {"/proc/self/exe", "--engine", on ? "1" : "0", std::to_string(count),
                                     std::to_string(seconds), folder};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

bool Engine(int count, int seconds) {
    char tmpl[] = "/tmp/loudness_bench.XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (!made) return false;
    const std::string folder = made;
    constexpr int kSettle = 3;
    const pid_t on = SpawnEngine(true, count, kSettle + seconds + 1, folder);
    const pid_t off = SpawnEngine(false, count, kSettle + seconds + 1, folder);
    sleep(kSettle);
    const double on0 = ProcessCpu(on), off0 = ProcessCpu(off);
    sleep(unsigned(seconds));
    const double onCpu = ProcessCpu(on) - on0, offCpu = ProcessCpu(off) - off0;
    int s1 = 0, s2 = 0;
    waitpid(on, &s1, 0);
    waitpid(off, &s2, 0);
    const std::string cleanup = "rm -rf '" + folder + "'";
    if (std::system(cleanup.c_str()) != 0) return false;
    if (!WIFEXITED(s1) || WEXITSTATUS(s1) != 0 || !WIFEXITED(s2) || WEXITSTATUS(s2) != 0) {
        std::printf("engine run failed\n");
        return false;
    }
    const double recorded = double(count) * seconds;
    const double perOn = 100.0 * onCpu / recorded, perOff = 100.0 * offCpu / recorded;
    std::printf("\nThe engine, %d recorders of the test tone to WAV 48000 Hz stereo, %d s window after %d s, side by "
                "side, %% of one core per recorder:\n",
                count, seconds, kSettle);
    std::printf("  measure and sidecars on %.3f %%, off %.3f %%, difference %.3f %% (ratio %.2f)\n", perOn, perOff,
                perOn - perOff, perOff > 0 ? perOn / perOff : 0.0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::strcmp(argv[1], "--engine") == 0) return RunEngine(argc, argv);
    const int seconds = std::getenv("BENCH_SECONDS") ? std::max(5, std::atoi(std::getenv("BENCH_SECONDS"))) : 20;
    AnalysisAlone(std::max(60, seconds * 3));
    return Engine(8, seconds) ? 0 : 1;
}
