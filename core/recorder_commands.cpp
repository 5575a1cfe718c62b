// The main window's buttons and the procedures of the recorders by their
// historical names: each asks the recorder object, which owns the state.
#include "archive/history.h"
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "core/recorder_panel.h"
#include "platform/capture/active_sound_recorder.h"
#include "support/errors.h"
#include "support/formats.h"

#include <QObject>

namespace {

QObject& PresenterContext() {
    static QObject* context = new QObject;
    return *context;
}

// The buttons and the elapsed time of a recorder show its state.
void ShowState(int i) {
    Recorder& r = Rec(i);
    RecorderFrameControls& rec = S().main.rec[size_t(i)];
    rec.XPButtonRecord.setChecked(r.Wanted());
    rec.XPButtonPause.setChecked(r.PauseWanted());
}

void ShowPosition(int i, qint64 positionMs) {
    // Minutes and seconds: the duration text without its hundredths.
    const QString text = Tps2MinSecCen(double(positionMs), 2, QStringLiteral("0"));
    S().main.rec[size_t(i)].LabelChrono.setText(text.left(text.lastIndexOf(QLatin1Char(':'))));
}

}  // namespace

void BtnRecordOn(int index, const QString& folder, const QString& fileName, const QString& extension) {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnRecordOn"));
    if (!trap(10, [&] { CheckRecorderIndex(index); })) return;
    StartRequest request;
    request.Origin = CommandOrigin::Button;
    request.Folder = folder;
    request.Name = fileName;
    request.Extension = extension;
    Rec(index).Start(request);
}

void BtnPauseOn(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnPauseOn"));
    trap(10, [&] { Rec(index).TogglePause(); });
}

void BtnStopOn(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnStopOn"));
    trap(10, [&] { Rec(index).Stop(StopReason::Operator); });
}

void BtnRecordContinueOn(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:BtnRecordContinueOn"));
    trap(10, [&] { Rec(index).ContinueIntoNextFile(); });
}

bool RecorderEngineRecording(int index) { return index >= 0 && index < kRecorders && Rec(index).EngineRecording(); }
bool RecorderCanContinue(int index) { return index >= 0 && index < kRecorders && Rec(index).CanContinue(); }

void ReportRecorderStopped(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ReportRecorderStopped"));
    trap(10, [&] { Rec(index).ReportStopped(); });
}

QString RecordingFailureCause(int index) { return Rec(index).FailureCause(); }

void RestartLostRecording(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:RestartLostRecording"));
    trap(10, [&] { Rec(index).RestartLost(); });
}

void XPButtonPause_Click(int index) { BtnPauseOn(index); }

void ConnectRecorderButtons() {
    QObject* ctx = &PresenterContext();
    for (int i = 0; i < kRecorders; ++i) {
        RecorderFrameControls& rec = S().main.rec[size_t(i)];
        rec.XPButtonRecord.Click = [i] { XPButtonRecord_Click(i); };
        rec.XPButtonPause.Click = [i] { XPButtonPause_Click(i); };
        rec.XPButtonStop.Click = [i] { XPButtonStop_Click(i); };
        Recorder* r = &Rec(i);
        QObject::disconnect(r, nullptr, ctx, nullptr);
        QObject::connect(r, &Recorder::StateChanged, ctx, [](int index) { ShowState(index); });
        QObject::connect(r, &Recorder::Position, ctx, [](int index, qint64 ms) { ShowPosition(index, ms); });
        QObject::connect(r, &Recorder::TakeEnded, ctx,
                         [](int index) { S().main.rec[size_t(index)].LabelChrono.setText(QString()); });
        // The finished file appears in the recorder's history grid at once.
        QObject::connect(r, &Recorder::FileFinished, ctx, [](int index, const QString&, bool) {
            if (index < RecordersInService() && !MainState().UnloadStarted) InitAffichageHisto(index);
        });
        ShowState(i);
    }
}

void ResetRecordingControlState() {
    for (int i = 0; i < kRecorders; ++i) Rec(i).ResetTakes();
    ResetTimeLeftSupervision();
    ResetRecoveryState();
    ResetMainTimerState();
}
