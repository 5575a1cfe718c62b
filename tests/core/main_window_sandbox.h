#pragma once
// A sandboxed run of the main window's logic: a fresh drive folder, a fixed
// date, scripted answers to the questions, and a recorder of the process end.
#include "archive/history.h"
#include "core/frm_main.h"
#include "ui/setup/setup_pages.h"
#include "core/operator_rights.h"
#include "platform/capture/active_sound_recorder.h"
#include "ui/setup/frm_setup.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Questions answered by the test.
struct ScriptedDialogs : Dialogs {
    struct Box {
        QString text, title;
        MsgButtons buttons;
        MsgIcon icon;
        int defaultResult;
    };
    struct Task {
        QString title, text;
        QList<QPair<int, QString>> buttons;
        int defaultId, timeoutMs;
    };
    QList<Box> boxes;
    QList<Task> tasks;
    int boxAnswer = MsgNo;
    // Answer of the task dialog; 0 = nobody answers and the time limit passes.
    int taskAnswer = 0;

    int MessageBox(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon,
                   int defaultResult) override {
        boxes.push_back({text, title, buttons, icon, defaultResult});
        return boxAnswer;
    }
    int TaskDialog(const QString& title, const QString& text, const QList<QPair<int, QString>>& buttons,
                   int defaultId, int timeoutMs) override {
        tasks.push_back({title, text, buttons, defaultId, timeoutMs});
        return taskAnswer ? taskAnswer : defaultId;
    }
};

class MainWindowSandbox : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        drive = dir_.path() + "/";
        qputenv("VELMORA_DRIVE", drive.toUtf8());
        // The program's control socket in a runtime folder of this test's own.
        QDir().mkpath(drive + "run");
        QFile::setPermissions(drive + "run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", (drive + "run").toUtf8());
        qunsetenv("VELMORA_APP_FOLDER");
        qunsetenv("QUILLON_COMPONENTS_URL");
        qputenv("QUILLON_TEST_TONE", "1");
        restart();
    }

    void TearDown() override {
        resetAll();
        SetDialogs(nullptr);
        SetComponentsCheck({});
    }

    static void resetAll() {
        DeleteCaptureEngines();
        ResetMainWindowLogic();
        MainHost() = FrmMainHost{};
        ResetSharedState();
        ResetSetupControls();
        ResetIniCache();
        ResetTraceState();
        ResetHistoryGrids();
        ResetOperatorState();
        App() = AppGlobals{};
    }

    // A fresh process on the same drive.
    void restart() {
        resetAll();
        SetDialogs(&dialogs);
        processEnds = 0;
        MainHost().EndProcess = [this] { ++processEnds; };
        InstallSetupController();
    }

    // Writes a text file (CR LF lines), creating its folder.
    static void writeFile(const QString& path, const QStringList& lines) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write((lines.join("\r\n") + "\r\n").toUtf8());
    }

    QString appFolder() const { return drive + "Tessaline/Velmora/"; }
    QString settingsPath(int instance = 0) const {
        return appFolder() + "Settings/VM3_Quillon_Recorder/VM3_Quillon_Recorder" +
               (instance ? "_" + QString::number(instance) : QString()) + ".Ini";
    }
    QString configFolder() const { return appFolder() + "Config/"; }

    // Settings with `active` recorders in service and the given volumes.
    void writeSettings(int active, const QList<int>& volumes = {}) {
        QStringList lines;
        for (int i = 0; i < kRecorders; ++i) {
            lines << QString("[Recorder_%1]").arg(i, 2, 10, QChar('0'));
            lines << QString("Actif=%1").arg(i < active ? "ON" : "0FF");
            if (i < volumes.size()) lines << QString("Volume=%1").arg(volumes[i]);
        }
        writeFile(settingsPath(), lines);
    }

    // The program's start as the real entry does it.
    void startProgram() {
        Form_Initialize();
        Form_Load();
    }

    // Start-up finished: the formats are known and the format timer has ended.
    static void finishStartup() { MainTimers().TimerFormat.stop(); }

    QString todayLog() const {
        return Trace().LogFolder + D2S(clock.now().date()) + ".Log";
    }
    // Everything traced so far: the daily file, then the lines still held.
    QString allTrace() const {
        QString text;
        QFile f(todayLog());
        if (f.open(QIODevice::ReadOnly)) text = QString::fromUtf8(f.readAll()).replace("\r\n", "\n");
        text += "\n" + Trace().ListeLog.join("\n") + "\n" + Trace().ListeLogTemp.join("\n");
        return text;
    }
    int countLines(const QString& pattern) const {
        return int(allTrace().count(QRegularExpression(pattern, QRegularExpression::MultilineOption)));
    }
    QString fileText(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // True when recorder 0's engine came up with at least one device.
    static bool engineReady() {
        return Rec(0).engine() && ::Setup().ComboInputDevices[0].count() > 0;
    }

    QString drive;
    ScriptedDialogs dialogs;
    int processEnds = 0;
    ManualClock clock{QDateTime(QDate(2024, 3, 19), QTime(10, 0, 0))};
    ScopedClock scopedClock{&clock};

private:
    QTemporaryDir dir_;
};
