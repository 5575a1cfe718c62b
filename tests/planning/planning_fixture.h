#pragma once
// Common ground of the planning tests: a sandbox drive with its settings
// file, a manual clock, the planning installed, a time zone of choice, and
// the trace lines the planning wrote.
#include "core/main_controls.h"
#include "planning/planning.h"
#include "planning/planning_state.h"
#include "ui/setup/setup_pages.h"
#include "platform/os.h"
#include "ui/setup/frm_setup.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QDateTime& t, std::ostream* os) {
    *os << t.toString(Qt::ISODateWithMs).toStdString() << " (UTC " << t.toUTC().toString(Qt::ISODate).toStdString()
        << ")";
}

// The process's local time zone for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : saved_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone() {
        if (had_) qputenv("TZ", saved_);
        else qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray saved_;
    bool had_;
};

inline QDateTime Utc(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}
inline QDateTime Local(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// The planning installed afresh on the sandbox drive: no start made, no
// wait before the analysis, the settings file of the default family tree.
inline void InstallPlanningForTest() {
    ResetIniCache();
    ResetPlanningState();
    InstallPlanning();
    SetAnalysisWaitMs(0);
    App().ApplicationFolder = DefaultRoot();
    App().UseDefaultRoot = true;
    App().InstanceNumber = 0;
}

class PlanningTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ManualClock clock{Local(2024, 3, 19, 10, 0)};
    QString drive;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        drive = dir.path() + "/";
        qputenv("VELMORA_DRIVE", drive.toUtf8());
        SetClock(&clock);
        ResetSharedState();
        ResetSetupControls();
        ResetTraceState();
        SetupLinks() = SetupHooks{};
        InstallPlanningForTest();
        SetLocaleCodeForTests("FRA");
        QDir().mkpath(drive + "Logs");
        Trace().LogFolder = drive + "Logs/";
    }

    void TearDown() override {
        ResetPlanningState();
        SetupLinks() = SetupHooks{};
        SetLocaleCodeForTests(QString());
        SetClock(nullptr);
        qunsetenv("VELMORA_DRIVE");
    }

    QString SettingsPath() const { return NomFichierSettings(".Ini", ""); }

    // A planning line in slot k of the settings file ("Actif" = "ON").
    void WriteLine(int k, const QMap<QString, QString>& keys) {
        const QString sec = "Planning_" + N2S(k, 3, 0, "0");
        ASSERT_TRUE(EcritureIni(SettingsPath(), sec, "Actif", "ON"));
        for (auto it = keys.begin(); it != keys.end(); ++it)
            ASSERT_TRUE(EcritureIni(SettingsPath(), sec, it.key(), it.value()));
    }
    // A daily line ("Jour") at hh:mm in slot k.
    void WriteDaily(int k, const QString& hour, const QString& minute, const QString& recorder = "Recorder 1") {
        WriteLine(k, {{"Recorder", recorder}, {"Frequence", "Jour"}, {"Heure", hour}, {"Minute", minute}});
    }

    // Runs the computation at the clock's time; the next start (invalid when none).
    QDateTime Analyse() {
        ComputeNextTiming();
        return Planning().nextStart;
    }
    int NextSlot() const { return Planning().nextLine; }
    QString NextText() const { return ::Setup().TextProchainTiming.text(); }

    QStringList TraceLines() const {
        QStringList lines;
        for (const QFileInfo& fi : QDir(drive + "Logs").entryInfoList({"*.Log"}, QDir::Files)) {
            QFile f(fi.absoluteFilePath());
            if (f.open(QIODevice::ReadOnly)) lines += QString::fromUtf8(f.readAll()).split("\r\n");
        }
        return lines + Trace().ListeLogTemp + Trace().ListeLog;
    }
    int CountTraces(const QString& text) const {
        int n = 0;
        for (const QString& l : TraceLines())
            if (l.contains(text)) ++n;
        return n;
    }
    bool Incident(const QString& text) const {
        for (const QString& l : Trace().ListeIncidents)
            if (l.contains(text)) return true;
        return false;
    }
    // Starts made of slot k (the first trace of a start).
    int StartsOf(int k) const { return CountTraces("Start planning: Task: " + QString::number(k) + " "); }

    // Lets the clock run to `until` in steps of stepMs (real and wall time
    // alike), with a tick of the planning timer whenever its period is over.
    void RunTimerUntil(const QDateTime& until, int stepMs = 100) {
        qint64 sinceTick = 0;
        while (clock.now() < until) {
            clock.advanceMs(stepMs);
            sinceTick += stepMs;
            if (sinceTick >= TimerPlanning().interval()) {
                sinceTick = 0;
                TimerPlanning_Timer();
            }
        }
    }
};
