// A recorder in a process of its own, for the tests that kill a process
// while it records. Usage:
//   capture_child <device> <seconds> <format> <path> [<format> <path> ...]
// device: "tone" for the built-in test tone, else a sound-server source name.
// seconds: how long to record before stopping (0: until killed).
// Prints "STARTED" once every recorder runs, then for each recorder
// "STOPPED <n> <result> <last error>" and "DONE <n> <error flag>".
// With QR_CHILD_AWAIT_RETURN=1 it then waits for the device to be listed
// again (the sound server came back) and prints "BACK".
#include "platform/capture/active_sound_recorder.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

using platform::ActiveSoundRecorder;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 5 || (argc - 3) % 2 != 0) {
        std::fprintf(stderr, "usage: capture_child <device> <seconds> <format> <path> ...\n");
        return 2;
    }
    const QString deviceName = QString::fromLocal8Bit(argv[1]);
    const int seconds = QString::fromLocal8Bit(argv[2]).toInt();
    if (deviceName == "tone") ActiveSoundRecorder::EnableTestTone(true);

    std::vector<std::unique_ptr<ActiveSoundRecorder>> recorders;
    int started = 0, done = 0;
    const int count = (argc - 3) / 2;
    for (int i = 0; i < count; ++i) {
        auto r = std::make_unique<ActiveSoundRecorder>(i);
        if (r->InitRecorder(0) != 0) return 3;
        int device = -1;
        for (int d = 0; d < r->InputDeviceCount(); ++d) {
            if (r->InputDeviceSystemName(d) == (deviceName == "tone" ? QString("test-tone") : deviceName)) device = d;
        }
        if (device < 0) {
            std::fprintf(stderr, "no device %s\n", argv[1]);
            return 4;
        }
        ActiveSoundRecorder* raw = r.get();
        QObject::connect(raw, &ActiveSoundRecorder::RecordingStarted, [&](int) {
            if (++started == count) {
                std::printf("STARTED\n");
                std::fflush(stdout);
            }
        });
        QObject::connect(raw, &ActiveSoundRecorder::RecordingStopped, [raw](int index, int result) {
            std::printf("STOPPED %d %d %d\n", index, result, raw->LastError());
            std::fflush(stdout);
        });
        QObject::connect(raw, &ActiveSoundRecorder::RecordingFinalizationDone, [&](int index, bool error) {
            std::printf("DONE %d %d\n", index, error ? 1 : 0);
            std::fflush(stdout);
            if (++done < count) return;
            if (qEnvironmentVariable("QR_CHILD_AWAIT_RETURN") != "1") {
                app.quit();
                return;
            }
            QTimer::singleShot(20000, [&] { app.exit(6); });
        });
        QObject::connect(raw, &ActiveSoundRecorder::DeviceChange, [&, raw](int) {
            if (done < count) return;
            for (int d = 0; d < raw->InputDeviceCount(); ++d) {
                if (raw->InputDeviceSystemName(d) == deviceName) {
                    std::printf("BACK\n");
                    std::fflush(stdout);
                    app.quit();
                }
            }
        });
        r->Encoder().FormatToUse = QString::fromLocal8Bit(argv[3 + 2 * i]).toInt();
        r->Encoder().CaptureRate = 48000;
        r->Encoder().CaptureChannels = 2;
        r->Encoder().CaptureBits = 16;
        r->Encoder().Mp3Vbr = false;
        r->Encoder().Mp3Bitrate = 128000;
        const int rc = r->StartFromDirectSoundDevice(device, 0, QString::fromLocal8Bit(argv[4 + 2 * i]));
        if (rc != 0) {
            std::fprintf(stderr, "start failed: %d %s\n", rc, qPrintable(r->LastErrorText()));
            return 5;
        }
        recorders.push_back(std::move(r));
    }
    if (seconds > 0) {
        QTimer::singleShot(seconds * 1000, [&] {
            for (auto& r : recorders) r->RecorderStop();
        });
    }
    return app.exec();
}
