// Remote start benchmark: the time from a start datagram's arrival to the
// recording's file being open, over 200 starts, against the same start made
// by a direct call of the recording control in the same run.
//
// Real parts: a bound input line on a loopback address, a peer socket, the
// capture engine on its test tone, WAV files in a temporary folder, the trace
// log written to disk as the program writes it. Each start waits until the
// queue's 200 ms gap since the previous hand-over has passed, so the figures
// are what the path costs beyond that pacing. Printed: p50 and p99 of
//   sent -> read        the datagram reaches the line's read event
//   read -> hand-over   the queue timer (10 ms) hands it to the interpreter
//   hand-over -> open   interpreter, recording control, file created
//   sent -> open        the whole path, and the same without the timer's wait
//   direct start        BtnRecordOn -> file open, no UDP
// and the ratio of the whole path to the direct start.
#include "core/main_window_state.h"
#include "core/frm_main.h"
#include "core/main_controls.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "remote/udp_messages.h"
#include "remote/udp_transport.h"
#include "ui/setup/setup_pages.h"
#include "ui/setup/frm_setup.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kStarts = 200;

QElapsedTimer g_clock;
double NowMs() { return double(g_clock.nsecsElapsed()) / 1e6; }

struct Marks {
    double read = -1, handOver = -1, open = -1;
};
Marks g_marks;

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

bool Recording() { return RecorderEngineRecording(0); }

// Stops recorder 1 through its engine and waits for the file to be closed.
bool StopAndClose() {
    int done = 0;
    QObject ctx;
    QObject::connect(Rec(0).engine(), &platform::ActiveSoundRecorder::RecordingFinalizationDone, &ctx,
                     [&](int, bool) { ++done; });
    if (Rec(0).engine()->RecorderStop() != 0) return false;
    return platform::WaitInEventLoop([&] { return done > 0 && !Recording(); }, 10000);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir sandbox;
    const QString drive = sandbox.path() + "/";
    qputenv("VELMORA_DRIVE", drive.toUtf8());
    g_clock.start();

    // The trace log goes to disk after every line, as in the program.
    ResetTraceState();
    QDir().mkpath(drive + "Logs");
    Trace().LogFolder = drive + "Logs/";
    Trace().SetupLoaded = true;
    ResetSharedState();
    ResetSetupControls();
    InstallUdpPage();
    FrmMainBis_Load();

    // Recorder 1 on the engine's test tone, WAV.
    platform::ActiveSoundRecorder::EnableTestTone(true);
    SetRecordersInService(1);
    Rec(0).SetEngine(new platform::ActiveSoundRecorder(0));
    ConnectRecorderButtons();
    platform::ActiveSoundRecorder& engine = *Rec(0).engine();
    if (engine.InitRecorder(0) != 0) {
        std::fprintf(stderr, "the capture engine does not start\n");
        return 1;
    }
    MainState().ControlVersion = Val(engine.ControlVersion());
    FrmSetupControls& c = Setup();
    QStringList devices;
    int tone = -1;
    for (int d = 0; d < engine.InputDeviceCount(); ++d) {
        devices << engine.InputDeviceName(d);
        if (devices.back().startsWith("Test tone")) tone = d;
    }
    if (tone < 0) {
        std::fprintf(stderr, "no test-tone device\n");
        return 1;
    }
    c.ComboInputDevices[0].setEntries(devices);
    c.ComboInputDevices[0].setListIndex(tone);
    platform::WaitInEventLoop([&] { return engine.InputFormatCount(tone) >= 0; }, 5000);
    c.ComboInputFormats[0].setEntries({"Mémoire", "wave", "mp3", "wma", "ogg vorbis", "aac"});
    c.ComboInputFormats[0].setListIndex(1);
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.FormatIndex = 1; });
    const QString folder = drive + "Rec/";
    QDir().mkpath(folder);
    c.TexteDossier[0].setText(folder);
    c.CheckRecord128.setChecked(false);
    MainState().StartupDone = true;

    // Line 0 on a loopback address of this run; the automation beside it.
    QRandomGenerator* g = QRandomGenerator::global();
    const QString home = QString("127.%1.%2.%3").arg(g->bounded(1, 255)).arg(g->bounded(0, 256)).arg(g->bounded(2, 255));
    QUdpSocket automation;
    automation.bind(QHostAddress(QString("127.%1.%2.%3").arg(g->bounded(1, 255)).arg(g->bounded(0, 256)).arg(g->bounded(2, 255))), 0);
    quint16 port = 0;
    for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
        QUdpSocket probe;
        probe.bind(QHostAddress(home), 0);
        const quint16 candidate = probe.localPort();
        probe.close();
        c.TexteUDPIPSource[0].setText(home);
        c.TexteUDPPortSource[0].setText(QString::number(candidate));
        c.CheckUDPInActif[0].setChecked(false);
        c.CheckUDPInActif[0].setChecked(true);
        if (MainBis().SocketWrenchUDPIn[0]->Handle() != -1) port = candidate;
    }
    if (port == 0) {
        std::fprintf(stderr, "input line 0 cannot be bound\n");
        return 1;
    }

    Trace().OnChanged = [] {
        const QStringList& lines = Trace().ListeLog;
        if (lines.isEmpty()) return;
        const QString& last = lines.back();
        if (g_marks.read < 0 && last.contains("UDP: OnRead: Data read from the socket: ")) g_marks.read = NowMs();
        else if (g_marks.handOver < 0 && last.contains("UDP: LabelDataArrivalUDP_Change: Start: ")) g_marks.handOver = NowMs();
        else if (g_marks.open < 0 && last.contains("Recording File: ")) g_marks.open = NowMs();
    };

    std::vector<double> toRead, toHandOver, toOpen, whole, beyondTimer, direct;
    int failures = 0;
    for (int i = 0; i < kStarts; ++i) {
        // The direct start.
        {
            S().main.rec[0].XPButtonRecord.setChecked(true);
            const double t0 = NowMs();
            BtnRecordOn(0, QString(), QString("direct_%1").arg(i), QString());
            const double t1 = NowMs();
            if (Recording()) direct.push_back(t1 - t0);
            else ++failures;
            platform::LetEventsRunFor(30);
            if (!StopAndClose()) ++failures;
        }
        // The remote start, once the pacing since the last hand-over has passed.
        platform::WaitInEventLoop([] { return false; }, kUdpHandOverGapMs + 20);
        g_marks = Marks{};
        const double sent = NowMs();
        automation.writeDatagram(QString("<Record:Start><SongId:udp_%1><Recorder:1>").arg(i).toUtf8(), QHostAddress(home), port);
        if (!platform::WaitInEventLoop([] { return g_marks.open >= 0 && !UdpCommands().InProcess[0]; }, 5000) ||
            g_marks.read < 0 || g_marks.handOver < 0) {
            ++failures;
        } else {
            toRead.push_back(g_marks.read - sent);
            toHandOver.push_back(g_marks.handOver - g_marks.read);
            toOpen.push_back(g_marks.open - g_marks.handOver);
            whole.push_back(g_marks.open - sent);
            beyondTimer.push_back((g_marks.read - sent) + (g_marks.open - g_marks.handOver));
        }
        platform::LetEventsRunFor(30);
        if (!StopAndClose()) ++failures;
    }
    Trace().OnChanged = nullptr;

    const int files = int(QDir(folder).entryList(QDir::Files).size());
    std::printf("Remote start over UDP, %d starts (WAV, test tone, trace log on disk)\n", int(whole.size()));
    std::printf("%-22s %10s %10s\n", "", "p50 ms", "p99 ms");
    auto row = [](const char* name, const std::vector<double>& v) {
        std::printf("%-22s %10.2f %10.2f\n", name, Percentile(v, 0.50), Percentile(v, 0.99));
    };
    row("sent -> read", toRead);
    row("read -> hand-over", toHandOver);
    row("hand-over -> open", toOpen);
    row("sent -> open", whole);
    row("  without the timer", beyondTimer);
    row("direct start -> open", direct);
    const double d50 = Percentile(direct, 0.50), d99 = Percentile(direct, 0.99);
    std::printf("ratio UDP / direct     %10.2f %10.2f\n", d50 > 0 ? Percentile(whole, 0.50) / d50 : 0,
                d99 > 0 ? Percentile(whole, 0.99) / d99 : 0);
    std::printf("  without the timer    %10.2f %10.2f\n", d50 > 0 ? Percentile(beyondTimer, 0.50) / d50 : 0,
                d99 > 0 ? Percentile(beyondTimer, 0.99) / d99 : 0);
    std::printf("files recorded: %d (expected %d), failures: %d\n", files, 2 * kStarts, failures);

    S().main.rec[0].XPButtonRecord.setChecked(false);
    FrmMainBis_Unload();
    DeleteCaptureEngines();
    return failures == 0 && files == 2 * kStarts ? 0 : 1;
}
