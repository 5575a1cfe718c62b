// The two timers of the main window: Timer1 follows levels and statuses and
// cuts the logging recorders into slices; TimerFormat waits for the input
// formats and closes the start-up message.
#include "archive/history.h"
#include "core/frm_main.h"
#include "core/recorder_panel.h"
#include "recording/loudness_alarm.h"
#include "recording/silence_alarm.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "core/main_window_state.h"
#include "settings/station_config.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

namespace {

// A tick lets events run (the stop's wait, the format discovery): the next
// tick of the same timer must not start inside it.
bool g_timer1Running = false;
bool g_timerFormatRunning = false;
// The format discovery has been traced once: while it keeps failing (no
// sound server yet), its attempts are not traced every 4 s.
bool g_formatsTraced = false;
// Ticks since the loudness alarm last looked.
int g_loudnessTicks = 0;

struct RunningFlag {
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    bool& flag_;
};

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }
void Framed(int i, const QString& text) { TraceLogEncadre(-1, i, -1, text, QStringLiteral("=")); }

QString HourStamp(const QDateTime& t) { return t.toString(QStringLiteral("yyyyMMddHH")); }

QString NextHourStamp(const QDateTime& now) {
    const QDateTime hour(now.date(), QTime(now.time().hour(), 0));
    return HourStamp(hour.addSecs(3600));
}

// End of the slice that starts now, from the table of hour slices: the first
// row (in table order) that starts at or after the current hour. The table
// ends with the row that ends at 23 H (the rows after it are not in use).
QString SliceEndFromTable(const SliceConfig& table, const QDateTime& now) {
    const int h = now.time().hour();
    for (int k = 0; k < kSliceRows; ++k) {
        const int start = SliceRowStart(table, k);
        const int endHour = table.EndEntry[size_t(k)];
        if (start >= h) return now.toString(QStringLiteral("yyyyMMdd")) + N2S(endHour + 1, 2, 0, QStringLiteral("0"));
        if (endHour == kSliceRows - 1) break;
    }
    return {};
}

// Step 4 of a tick for one logging recorder.
void FollowLoggingRecorder(int i, ErrorTrap& trap) {
    Recorder& rec = Rec(i);
    RecorderRuntime& slot = rec.runtime();
    bool newSlice = false;
    QDateTime now;
    trap(410, [&] { now = CurrentClock().now(); });
    trap(420, [&] {
        const QString hourNow = HourStamp(now);
        const SliceConfig& slices = Station().Slices;
        // The clock set back an hour (end of summer time): the hour that
        // comes again is a slice of its own, as every real hour is.
        const int offset = now.offsetFromUtc();
        const bool repeated = slot.SliceOffset != kNoSliceOffset && offset < slot.SliceOffset;
        slot.SliceOffset = offset;
        if (repeated) {
            Trace(i, QStringLiteral("Pige: the clock went back to ") + now.toString(QStringLiteral("HH:mm")) +
                         QStringLiteral(" (UTC offset ") + QString::number(offset / 3600) +
                         QStringLiteral(" h): the repeated hour is a slice of its own"));
            slot.SliceEnd.clear();
        }
        if (slices.ByTable) {
            if (slot.SliceEnd.isEmpty() || hourNow >= slot.SliceEnd) {
                QString end = SliceEndFromTable(slices, now);
                // A table without a row for this hour, or whose row ends before
                // it, would start a new slice at every tick: the slice then
                // ends at the next hour.
                if (end.isEmpty() || end <= hourNow) end = NextHourStamp(now);
                slot.SliceEnd = end;
                Framed(i, QStringLiteral("Pige: Up to ") + slot.SliceEnd);
                newSlice = true;
            }
        } else if (hourNow != slot.SliceEnd || repeated) {
            slot.SliceEnd = hourNow;
            newSlice = true;
        }
    });
    if (newSlice) {
        bool gapless = false;
        trap(430, [&] {
            if (rec.Wanted()) {
                Trace(i, QStringLiteral("Pige: Next hour, try to stop current record"));
                // While the engine records, the next file follows the current
                // one without a gap; otherwise a plain stop.
                gapless = rec.CanContinue();
                if (gapless) rec.ReportStopped();
                else rec.Stop(StopReason::SliceEnd);
            }
        });
        trap(440, [&] { Trace(i, QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:Timer1_Timer")); });
        trap(450, [&] {
            if (gapless) {
                rec.ContinueIntoNextFile();
            } else {
                StartRequest request;
                request.Origin = CommandOrigin::SliceTimer;
                rec.Start(request);
            }
        });
        trap(460, [&] { InitAffichageHisto(i); });
    }
    trap(470, [&] {
        const QString today = now.toString(QStringLiteral("yyyyMMdd"));
        if (today != slot.LastPurgeDay) {
            slot.LastPurgeDay = today;
            SuppressionHistoriquePige(i, int(Val(rec.config().LoggingDays)));
        }
    });
}

}  // namespace

QString StatusChangedText(int status) {
    static const char* const kNames[] = {"NONE",    "RECORDING",         "SILENT",        "CD RIPPING",
                                         "PAUSED",  "PLAYING",           "PLAYING PAUSED", "RECORDING URL",
                                         "RECORDING FILE", "RECORDING MEMORY", "RECORDING CLIPBOARD"};
    if (status < 0 || status > 10) return {};
    return QStringLiteral("Status changed: ") + QString::fromLatin1(kNames[status]);
}

void Timer1_Timer() {
    if (g_timer1Running) return;
    RunningFlag running(g_timer1Running);
    ErrorTrap trap(QStringLiteral("Frm_Main:Timer1_Timer"));
    bool quit = false;
    trap(10, [&] {
        if (!MainState().QuitRequested) return;
        quit = true;
        MainTimers().Timer1.stop();
        if (MainHost().Unload) MainHost().Unload();
    });
    if (quit) return;
    const int n = RecordersInService();
    for (int i = 0; i < n; ++i) {
        trap(20, [&] {
            Recorder& rec = Rec(i);
            platform::ActiveSoundRecorder* engine = rec.engine();
            if (!engine) return;
            const int level = engine->InputLevelGet(rec.BoundDevice(), rec.config().ChannelIndex);
            if (level < 0) return;  // unknown level
            RecorderRuntime& slot = rec.runtime();
            if (level != slot.InputLevel) {
                slot.InputLevel = level;
                // A level put on a shared source for another recorder is not
                // this recorder's own.
                if (!rec.LevelSetForAnother(level)) AfficherNiveauRecord(i, level);
            }
        });
    }
    for (int i = 0; i < n; ++i) {
        trap(30, [&] {
            platform::ActiveSoundRecorder* engine = Rec(i).engine();
            if (!engine) return;
            const int status = engine->RecorderStatus();
            RecorderRuntime& slot = Rec(i).runtime();
            if (status != slot.LastStatus) {
                const QString text = StatusChangedText(status);
                if (!text.isEmpty()) Framed(i, text);
                slot.LastStatus = status;
            }
        });
    }
    for (int i = 0; i < n; ++i) {
        if (Rec(i).config().RecordKind() != RecordKindLogging) continue;
        FollowLoggingRecorder(i, trap);
        if (MainState().QuitRequested) break;
    }
    // Silence alarm, after the slices: a change of slice is no silence.
    for (int i = 0; i < n && !MainState().QuitRequested; ++i) FollowSilence(i);
    // Loudness alarm: once a second (the short-term value moves slowly).
    if (++g_loudnessTicks >= 10) {
        g_loudnessTicks = 0;
        for (int i = 0; i < n && !MainState().QuitRequested; ++i) FollowLoudness(i);
    }
    // Recordings lost on a failure are started again.
    trap(500, [&] { if (!MainState().QuitRequested) RecoveryTick(); });
    // Recording time left on the destination drives.
    trap(510, [&] { if (!MainState().QuitRequested) SuperviseTimeLeft(); });
}

void TimerFormat_Timer() {
    if (g_timerFormatRunning) return;
    RunningFlag running(g_timerFormatRunning);
    ErrorTrap trap(QStringLiteral("Frm_Main:TimerFormat_Timer"));
    bool quit = false;
    trap(10, [&] {
        if (!MainState().QuitRequested) return;
        quit = true;
        MainTimers().TimerFormat.stop();
        if (MainHost().Unload) MainHost().Unload();
    });
    if (quit) return;
    bool allDone = false;
    MainWindowState& ms = MainState();
    trap(20, [&] {
        if (!MainState().WindowShown) return;
        allDone = true;
        const bool server = FollowSoundServer();
        if (ms.FormatsAvailable) return;
        const int n = RecordersInService();
        bool tried = false;
        for (int i = 0; i < n && !ms.FormatsAvailable; ++i) {
            const RecorderHealth& h = Rec(i).health();
            // A device missing while the sound server answers is told by its
            // incident: start-up does not wait for it.
            if (server && h.WaitingForDevice && !h.MissingDevice.isEmpty()) continue;
            tried = true;
            if (!g_formatsTraced) Trace(i, QStringLiteral("Trying to init available formats"));
            ms.FormatsAvailable = Rec(i).InputFormatCount() > 0;
            if (MainHost().RefreshInputFormats) MainHost().RefreshInputFormats(i);
            allDone = ms.FormatsAvailable;
            if (!g_formatsTraced || allDone) Trace(i, QStringLiteral("Available formats ") + BoolText(ms.FormatsAvailable));
            if (allDone) ms.StartupWaiting = false;
            platform::LetEventsRun();
        }
        if (tried) g_formatsTraced = true;
        if (!allDone) ms.StartupWaiting = true;
    });
    trap(30, [&] {
        if (!allDone) return;
        // The formats came meanwhile (a device or the sound server arrived):
        // the end of the wait is traced as its start was.
        if (ms.StartupWaiting && ms.FormatsAvailable) Trace(0, QStringLiteral("Available formats True"));
        ms.StartupWaiting = false;
        MainTimers().TimerFormat.stop();
        if (ms.SplashVisible) {
            if (MainHost().HideSplash) MainHost().HideSplash();
            ms.SplashVisible = false;
        }
    });
}

void ResetMainTimerState() {
    g_timer1Running = false;
    g_timerFormatRunning = false;
    g_formatsTraced = false;
    ResetSilenceWatches();
    ResetLoudnessWatches();
    g_loudnessTicks = 0;
}
