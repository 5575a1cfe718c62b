// Capture engine benchmark: 1 and 8 recorders at once, per format, against
// ffmpeg recording sources of the same sound server to the same format and
// bit rate at the same time. Prints CPU seconds per recorded second in
// steady state (from /proc, over a window that starts once both have run a
// few seconds: start-up is not counted on either side) and peak memory, side
// by side, with the ratio.
//
// Needs a sound server with the sine sources qr_bench_sine_1..16 (the server
// of scripts/test-pulse.sh, set up by scripts/run-bench.sh): the engine
// records 1..8, ffmpeg 9..16. Each engine measurement runs in a process of
// its own, so that peak memory is its own.
//   capture_bench                        the whole table
//   capture_bench --ours <fmt> <n> <s>   one measurement of the engine
#include "platform/capture/active_sound_recorder.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Format {
    const char* name;
    int formatToUse;
    std::vector<std::string> ffmpegArgs;  // codec and container options
    const char* extension;
};

const std::vector<Format>& Formats() {
    // WMA characteristic 62 is 128160 bit/s in the engine's mapping.
    static const std::vector<Format> formats = {
        {"WAV 16 bits", 1, {"-c:a", "pcm_s16le"}, ".wav"},
        {"MP3 CBR 128k", 2, {"-c:a", "libmp3lame", "-b:a", "128000"}, ".mp3"},
        {"WMA 128k", 3, {"-c:a", "wmav2", "-b:a", "128160"}, ".wma"},
        {"Ogg q5", 4, {"-c:a", "libvorbis", "-q:a", "5"}, ".ogg"},
        {"AAC 128k", 6, {"-c:a", "aac", "-b:a", "128000", "-f", "adts"}, ".aac"},
    };
    return formats;
}

struct Usage {
    bool ok = false;
    double cpuSeconds = 0;
    double peakMb = 0;  // sum over the processes
};

// Starts a process; its error output goes to `errors` when given.
pid_t Spawn(const std::vector<std::string>& args, const std::string& errors = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!errors.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// CPU seconds a set of running processes has used so far, threads that
// ended included, to the nanosecond (the clock ticks of /proc/<pid>/stat are
// too coarse for a few seconds of one recorder).
double CpuSoFar(const std::vector<pid_t>& pids) {
    double seconds = 0;
    for (pid_t pid : pids) {
        clockid_t clock;
        timespec ts{};
        if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &ts) != 0) continue;
        seconds += double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
    return seconds;
}

// Waits for every process and adds up their peak memory.
bool WaitAll(const std::vector<pid_t>& pids, Usage& u) {
    bool ok = true;
    for (pid_t pid : pids) {
        int status = 0;
        rusage ru{};
        if (pid < 0 || wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ok = false;
            continue;
        }
        u.peakMb += ru.ru_maxrss / 1024.0;
    }
    return ok;
}

std::string Folder() {
    static std::string folder = [] {
        char tmpl[] = "/tmp/capture_bench.XXXXXX";
        const char* made = mkdtemp(tmpl);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

// One measurement of the engine, in this process.
int RunOurs(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int format = std::atoi(argv[2]), count = std::atoi(argv[3]), seconds = std::atoi(argv[4]);
    const std::string folder = argv[5];
    std::vector<std::unique_ptr<platform::ActiveSoundRecorder>> recorders;
    int done = 0;
    for (int i = 0; i < count; ++i) {
        auto r = std::make_unique<platform::ActiveSoundRecorder>(i);
        if (r->InitRecorder(0) != 0) return 3;
        const QString wanted = QString("qr_bench_sine_%1").arg(i + 1);
        int device = -1;
        for (int d = 0; d < r->InputDeviceCount(); ++d) {
            if (r->InputDeviceSystemName(d) == wanted) device = d;
        }
        if (device < 0) {
            std::fprintf(stderr, "no source %s\n", qPrintable(wanted));
            return 4;
        }
        auto& e = r->Encoder();
        e.FormatToUse = format;
        e.CaptureRate = 48000;
        e.CaptureChannels = 2;
        e.CaptureBits = 16;
        e.WavSampleSizeCode = 1;
        e.Mp3Vbr = false;
        e.Mp3Bitrate = 128000;
        e.WmaBitrate = 62;
        e.OggValue = 5;
        e.AacValue = 128;
        QObject::connect(r.get(), &platform::ActiveSoundRecorder::RecordingFinalizationDone, [&](int, bool) {
            if (++done == count) app.quit();
        });
        const QString path = QString::fromStdString(folder) + QString("/ours_%1_%2_of_%3").arg(format).arg(i).arg(count);
        if (r->StartFromDirectSoundDevice(device, 0, path) != 0) {
            std::fprintf(stderr, "start failed: %s\n", qPrintable(r->LastErrorText()));
            return 5;
        }
        recorders.push_back(std::move(r));
    }
    QTimer::singleShot(seconds * 1000, [&] {
        for (auto& r : recorders) r->RecorderStop();
    });
    app.exec();
    quint64 overruns = 0;
    for (auto& r : recorders) overruns += r->OverrunCount();
    if (overruns) std::fprintf(stderr, "overruns: %llu samples\n", static_cast<unsigned long long>(overruns));
    return 0;
}

constexpr int kSettleSeconds = 3;

std::string FfmpegErrors() { return Folder() + "/ffmpeg_errors.txt"; }

pid_t StartOurs(const Format& f, int count, int seconds) {
    return Spawn({"/proc/self/exe", "--ours", std::to_string(f.formatToUse), std::to_string(count),
                  std::to_string(seconds), Folder()});
}

std::vector<pid_t> StartFfmpeg(const Format& f, int count, int seconds) {
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "pulse",
                                         "-sample_rate", "48000", "-channels", "2",
                                         "-i", "qr_bench_sine_" + std::to_string(i + 9), "-t", std::to_string(seconds)};
        args.insert(args.end(), f.ffmpegArgs.begin(), f.ffmpegArgs.end());
        args.push_back("-y");
        args.push_back(Folder() + "/ffmpeg_" + std::to_string(f.formatToUse) + "_" + std::to_string(i) + f.extension);
        // ffmpeg complains of the sine sources' time stamps at every block:
        // its messages are shown only when it fails.
        pids.push_back(Spawn(args, FfmpegErrors()));
        // A moment apart: started all at once, one now and then failed to
        // open its source ("No such process").
        usleep(100 * 1000);
    }
    return pids;
}

// The engine and ffmpeg side by side: both run the settling time, the
// window and a second more; the CPU is what each used over the window.
void Measure(const Format& f, int count, int seconds, Usage& ours, Usage& ff) {
    const int runFor = kSettleSeconds + seconds + 1;
    const std::vector<pid_t> ourPids = {StartOurs(f, count, runFor)};
    const std::vector<pid_t> ffPids = StartFfmpeg(f, count, runFor);
    sleep(kSettleSeconds);
    const double ours0 = CpuSoFar(ourPids), ff0 = CpuSoFar(ffPids);
    sleep(unsigned(seconds));
    ours.cpuSeconds = CpuSoFar(ourPids) - ours0;
    ff.cpuSeconds = CpuSoFar(ffPids) - ff0;
    ours.ok = WaitAll(ourPids, ours);
    ff.ok = WaitAll(ffPids, ff);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::strcmp(argv[1], "--ours") == 0) return RunOurs(argc, argv);
    if (!std::getenv("PULSE_SERVER")) {
        std::fprintf(stderr, "capture_bench: PULSE_SERVER is not set (run scripts/run-bench.sh)\n");
        return 2;
    }
    const int seconds = std::getenv("BENCH_SECONDS") ? std::max(1, std::atoi(std::getenv("BENCH_SECONDS"))) : 10;
    std::printf("Capture engine vs ffmpeg -f pulse at the same time, %d s windows after %d s, 48000 Hz stereo 16 "
                "bits\n",
                seconds, kSettleSeconds);
    std::printf("CPU = CPU seconds per recorded second of one recorder in steady state; memory = peak resident MB "
                "(ffmpeg: sum of its processes)\n\n");
    std::printf("%-13s %3s | %10s %10s %7s | %9s %9s %7s\n", "format", "n", "CPU ours", "CPU ffmpeg", "ratio",
                "MB ours", "MB ffmpeg", "ratio");
    int failures = 0;
    for (const Format& f : Formats()) {
        for (int count : {1, 8}) {
            std::remove(FfmpegErrors().c_str());
            Usage ours, ff;
            Measure(f, count, seconds, ours, ff);
            if (!ours.ok || !ff.ok) {
                std::printf("%-13s %3d | %s\n", f.name, count, !ours.ok ? "engine run failed" : "ffmpeg run failed");
                if (!ff.ok) {
                    const std::string show = "grep -v 'non monotonically increasing dts' '" + FfmpegErrors() + "' | tail -5";
                    if (std::system(show.c_str()) != 0) std::printf("(no ffmpeg messages)\n");
                }
                ++failures;
                continue;
            }
            const double recorded = double(count) * seconds;
            const double cpuOurs = ours.cpuSeconds / recorded, cpuFf = ff.cpuSeconds / recorded;
            std::printf("%-13s %3d | %10.4f %10.4f %7.2f | %9.1f %9.1f %7.2f\n", f.name, count, cpuOurs, cpuFf,
                        cpuFf > 0 ? cpuOurs / cpuFf : 0.0, ours.peakMb, ff.peakMb,
                        ff.peakMb > 0 ? ours.peakMb / ff.peakMb : 0.0);
            std::fflush(stdout);
        }
    }
    std::string cleanup = "rm -rf '" + Folder() + "'";
    if (Folder().rfind("/tmp/capture_bench.", 0) == 0 && std::system(cleanup.c_str()) != 0) ++failures;
    return failures ? 1 : 0;
}
