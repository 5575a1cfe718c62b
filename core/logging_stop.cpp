// A stop of the logging recorder asked by the operator's hand (its REC or
// STOP button): the logging recorder keeps the station's legal record, so
// the operator confirms. Stops by the planning, a remote command, a slice
// end or the shutdown are never asked.
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "support/app_globals.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/tracelog.h"

namespace {

constexpr int kAnswerYes = 101;
constexpr int kAnswerNo = 102;

bool IsLoggingRecorder(int index) {
    return index >= 0 && index < kRecorders && Rec(index).config().RecordKind() == RecordKindLogging;
}

}  // namespace

bool ConfirmLoggingStop(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ConfirmLoggingStop"));
    if (!IsLoggingRecorder(index) || !Rec(index).EngineRecording()) return true;
    // One question at a time: a second click while it is open does nothing.
    if (MainState().QuestionOpen) return false;
    int answer = kAnswerNo;
    trap(10, [&] {
        MainState().QuestionOpen = true;
        const QString label = Rec(index).config().Label.trimmed();
        answer = CurrentDialogs().TaskDialog(
            App().MainWindowCaption,
            QStringLiteral("Voulez-vous arrêter la pige") + (label.isEmpty() ? QString() : " " + label) +
                QStringLiteral(" ?\nL'enregistrement continu de l'antenne sera interrompu."),
            {{kAnswerYes, QStringLiteral("Oui")}, {kAnswerNo, QStringLiteral("Non")}}, kAnswerNo,
            kLoggingStopQuestionMs);
    });
    MainState().QuestionOpen = false;
    const bool stop = answer == kAnswerYes;
    trap(20, [&] {
        TraceLog(-1, index, -1,
                 stop ? QStringLiteral("Pige: stop confirmed by the operator")
                      : QStringLiteral("Pige: stop cancelled, the logging recording goes on"));
    });
    return stop;
}

// The REC button: a start when the recorder records nothing, else a stop
// (asked first for the logging recorder). The button shows the recorder's
// state afterwards, whatever the outcome.
void XPButtonRecord_Click(int index) {
    ErrorTrap trap(QStringLiteral("Frm_Main:XPButtonRecord_Click"));
    if (!trap(10, [&] { CheckRecorderIndex(index); })) return;
    Recorder& r = Rec(index);
    if (!r.Wanted()) {
        BtnRecordOn(index);
    } else if (ConfirmLoggingStop(index)) {
        BtnStopOn(index);
    }
    emit r.StateChanged(index);
}

void XPButtonStop_Click(int index) {
    if (!ConfirmLoggingStop(index)) return;
    BtnStopOn(index);
}
