#include "recording/recording.h"

#include "platform/capture/active_sound_recorder.h"
#include "support/errors.h"
#include "support/tracelog.h"

#include <QHash>

namespace {

struct Registry {
    std::array<Recorder*, kRecorders> recorders{};
    int inService = 1;
    Registry() {
        for (int i = 0; i < kRecorders; ++i) recorders[size_t(i)] = new Recorder(i);
    }
};

Registry& Reg() {
    // Lives for the whole process (the engines and timers refer to it).
    static Registry* r = new Registry;
    return *r;
}


}  // namespace

Recorder& Rec(int index) {
    CheckRecorderIndex(index);
    return *Reg().recorders[size_t(index)];
}

void CheckRecorderIndex(int index) {
    if (index < 0 || index >= kRecorders) RaiseError(9, QStringLiteral("Subscript out of range"));
}

int RecordersInService() { return qBound(0, Reg().inService, kRecorders); }
void SetRecordersInService(int count) { Reg().inService = count; }

void EditRecorderConfig(int index, const std::function<void(RecorderConfig&)>& change) {
    Recorder& r = Rec(index);
    RecorderConfig c = r.config();
    change(c);
    r.SetConfig(c);
}

RecorderStatusView RecorderStatusOf(int recorder) {
    if (recorder < 0 || recorder >= kRecorders) return {};
    return Rec(recorder).StatusView();
}

std::array<RecorderConfig, kRecorders> RecorderConfigs() {
    std::array<RecorderConfig, kRecorders> out;
    for (int i = 0; i < kRecorders; ++i) out[size_t(i)] = Reg().recorders[size_t(i)]->config();
    return out;
}

void ResetRecorders() {
    for (Recorder* r : Reg().recorders) {
        RecorderConfig c;
        c.Index = r->index();
        r->SetConfig(c);
        r->ResetRuntime();
    }
    Reg().inService = 1;
}

bool AllEnginesIdle() {
    for (Recorder* r : Reg().recorders)
        if (r->engine() && !r->engine()->Idle()) return false;
    return true;
}

RecordingEnvironment& RecordingEnv() {
    static RecordingEnvironment env;
    return env;
}
bool ProgramUnloading() { return RecordingEnv().Unloading && RecordingEnv().Unloading(); }
bool ProgramQuitting() { return RecordingEnv().Quitting && RecordingEnv().Quitting(); }

QString OriginName(CommandOrigin origin) {
    switch (origin) {
    case CommandOrigin::Button: return QStringLiteral("button");
    case CommandOrigin::Key: return QStringLiteral("key");
    case CommandOrigin::Contact: return QStringLiteral("contact");
    case CommandOrigin::Udp: return QStringLiteral("udp");
    case CommandOrigin::Planning: return QStringLiteral("planning");
    case CommandOrigin::SliceTimer: return QStringLiteral("slice");
    case CommandOrigin::Control: return QStringLiteral("control");
    case CommandOrigin::Recovery: return QStringLiteral("recovery");
    }
    return {};
}

QString StateCode(RecorderState state) {
    switch (state) {
    case RecorderState::OutOfService: return QStringLiteral("out-of-service");
    case RecorderState::Idle: return QStringLiteral("idle");
    case RecorderState::Waiting: return QStringLiteral("waiting");
    case RecorderState::Recording: return QStringLiteral("recording");
    case RecorderState::Paused: return QStringLiteral("paused");
    case RecorderState::Stopping: return QStringLiteral("stopping");
    case RecorderState::Failed: return QStringLiteral("failed");
    }
    return {};
}
