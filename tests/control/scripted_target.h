#pragma once
// A ControlTarget for the protocol tests: eight recorders described by
// hand, every call written down, results and waits set by the test.
#include "control/control_target.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <functional>

namespace ctltest {

struct TargetCall {
    QString what;  // "start", "pause", "continue", "stop", "acknowledge", "incidents", "trace"
    int recorder = 0;
    control::StartArgs args;
    control::Caller who;
    qint64 seq = -1;
    bool all = false;
    int last = 0;
};

// Recorder 1: the logging recorder, recording; 2: out of service; 3..8 idle.
inline QJsonArray EightRecorders() {
    QJsonArray all;
    all.append(QJsonObject{
        {"recorder", 1}, {"label", "Antenne"}, {"in_service", true}, {"logging", true},
        {"state", "recording"}, {"state_text", "Enregistrement"}, {"writing", true}, {"wanted", true},
        {"device", "Monitor of Antenne"}, {"device_present", true}, {"format", "mp3"},
        {"format_text", "MP3 CBR 192 Kbps"}, {"folder", "/srv/audio/Antenne/"},
        {"file", "/srv/audio/Antenne/Pige Antenne 20261211_14_00_00.mp3"}, {"elapsed_s", 1925.4},
        {"file_bytes", 46209600}, {"bytes_written", 46209600}, {"free_bytes", 512000000000.0},
        {"seconds_left", 21333333}, {"silence", false}, {"silence_s", 0}, {"overruns", 0}, {"samples_lost", 0},
        {"peak_dbfs", QJsonArray{-12.5, -13.1}},
        {"last_incident", QJsonObject{{"time", "2026-12-11T13:58:02+01:00"},
                                      {"text", "Rec. 1: recording resumed after a gap of 2.1 s (1 attempt(s))"}}}});
    all.append(QJsonObject{{"recorder", 2}, {"label", "Studio"}, {"in_service", false}, {"state", "out-of-service"}});
    for (int r = 3; r <= 8; ++r)
        all.append(QJsonObject{{"recorder", r}, {"label", QStringLiteral("Rec %1").arg(r)}, {"in_service", true},
                               {"logging", false}, {"state", "idle"}, {"state_text", "Arrêté"}, {"writing", false},
                               {"wanted", false}, {"format", "wav"}, {"folder", "/srv/audio/"}, {"bytes_written", 0},
                               {"free_bytes", 512000000000.0}, {"seconds_left", 2962962}, {"silence", false},
                               {"silence_s", 0}, {"overruns", 0}, {"samples_lost", 0}});
    return all;
}

class ScriptedTarget : public control::ControlTarget {
public:
    QJsonObject program{{"version", "2026.1211.1628"}, {"instance", 1}, {"pid", 4242},
                        {"startup_done", true}, {"closing", false}};
    QJsonArray recorders = EightRecorders();
    QJsonArray incidents;
    QStringList trace;
    QJsonArray levels{QJsonObject{{"recorder", 1}, {"peak_dbfs", QJsonArray{-12.5, -13.1}}, {"short_term_lufs", -23.4}}};
    QList<TargetCall> calls;
    int levelCalls = 0;
    int statusCalls = 0;
    // Results by command ("start", ...); a success with the recorder's
    // object when none is set.
    QHash<QString, control::CommandResult> results;
    // Run inside every command call (before it returns), e.g. a wait in the
    // event loop.
    std::function<void(const TargetCall&)> during;

    QJsonObject Program() override { return program; }
    QJsonArray RecorderStatus() override {
        ++statusCalls;
        return recorders;
    }
    control::CommandResult Start(int recorder, const control::StartArgs& args, const control::Caller& who) override {
        TargetCall c{"start", recorder, args, who};
        return Command(c);
    }
    control::CommandResult Pause(int recorder, const control::Caller& who) override {
        return Command(TargetCall{"pause", recorder, {}, who});
    }
    control::CommandResult Continue(int recorder, const control::Caller& who) override {
        return Command(TargetCall{"continue", recorder, {}, who});
    }
    control::CommandResult Stop(int recorder, const control::Caller& who) override {
        return Command(TargetCall{"stop", recorder, {}, who});
    }
    QJsonArray Incidents(int last) override {
        TargetCall c;
        c.what = "incidents";
        c.last = last;
        calls.append(c);
        return incidents;
    }
    control::CommandResult Acknowledge(qint64 seq, bool all, const control::Caller& who) override {
        TargetCall c{"acknowledge", 0, {}, who, seq, all};
        return Command(c);
    }
    QStringList TraceLines(int last) override {
        TargetCall c;
        c.what = "trace";
        c.last = last;
        calls.append(c);
        return trace;
    }
    QJsonArray Levels() override {
        ++levelCalls;
        return levels;
    }

private:
    control::CommandResult Command(const TargetCall& call) {
        calls.append(call);
        if (during) during(call);
        if (results.contains(call.what)) return results.value(call.what);
        control::CommandResult ok;
        ok.ok = true;
        if (call.recorder >= 1) ok.recorder = recorders.at(call.recorder - 1).toObject();
        return ok;
    }
};

}  // namespace ctltest
