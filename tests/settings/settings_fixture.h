#pragma once
// Common ground of the settings tests: a fresh drive folder, fresh state,
// a fixed clock, and an INI reader of our own to look at what was written.
#include "core/main_controls.h"
#include "ui/setup/frm_setup.h"
#include "ui/setup/input_devices.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << l.join(" | ").toStdString(); }

// Sections and keys of an INI file, names folded to lower case; the first
// occurrence of a key wins, as the profile functions read it.
using IniMap = QMap<QString, QMap<QString, QString>>;

inline IniMap ReadIniFile(const QString& path) {
    IniMap map;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return map;
    const QString text = QString::fromUtf8(f.readAll());
    QString section;
    for (QString line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            map[section];
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq <= 0 || section.isEmpty()) continue;
        const QString key = line.left(eq).trimmed().toLower();
        if (!map[section].contains(key)) map[section][key] = line.mid(eq + 1).trimmed();
    }
    return map;
}

// Dialogs that answer as told and remember what they were asked.
class ScriptedDialogs : public Dialogs {
public:
    int answer = MsgNo;
    QString folderAnswer;
    QStringList questions;
    QStringList titles;
    QStringList folderStarts;
    int MessageBox(const QString& text, const QString& title, MsgButtons, MsgIcon, int) override {
        questions << text;
        titles << title;
        return answer;
    }
    QString FolderSelect(const QString& start) override {
        folderStarts << start;
        return folderAnswer;
    }
};

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2024, 3, 19), QTime(14, 5, 9))};
    QString drive;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        drive = dir.path() + "/";
        setenv("VELMORA_DRIVE", drive.toUtf8().constData(), 1);
        setenv("VELMORA_SMB_CONF", (drive + "no-smb.conf").toUtf8().constData(), 1);
        SetClock(&clock);
        SetDialogs(nullptr);
        SetInputDeviceSourceOverride({});
        ResetSharedState();
        ResetSetupControls();
        ResetIniCache();
        ResetTraceState();
        SetupLinks() = SetupHooks{};
        Hooks() = MainHooks{};
        App().ApplicationFolder = DefaultRoot();
        App().UseDefaultRoot = true;
        App().InstanceNumber = 0;
        QDir().mkpath(drive + "Logs");
        Trace().LogFolder = drive + "Logs/";
        // The start-up code computes these folders before the setup window loads.
        for (int i = 0; i < kRecorders; ++i)
            EditRecorderConfig(i, [&](RecorderConfig& rc) { rc.LocalSoundFolder = drive + "Local/Sons_Quillon_Recorder_0" + QString::number(i) + "/"; });
    }

    void TearDown() override {
        SetDialogs(nullptr);
        SetInputDeviceSourceOverride({});
        SetupLinks() = SetupHooks{};
        Hooks() = MainHooks{};
        SetClock(nullptr);
    }

    QString SettingsPath() { return NomFichierSettings(".Ini", ""); }

    // Writes the settings file as another program of the family would.
    void WriteSettingsFile(const QStringList& lines) {
        const QString path = SettingsPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write((lines.join("\r\n") + "\r\n").toUtf8());
    }

    // Every trace line so far: those still waiting and those flushed to the
    // day's log file.
    QStringList TraceLines() {
        QStringList lines;
        for (const QFileInfo& fi : QDir(drive + "Logs").entryInfoList({"*.Log"}, QDir::Files)) {
            QFile f(fi.absoluteFilePath());
            if (f.open(QIODevice::ReadOnly)) lines += QString::fromUtf8(f.readAll()).split("\r\n");
        }
        return lines + Trace().ListeLogTemp + Trace().ListeLog;
    }
    bool Traced(const QString& text) {
        for (const QString& l : TraceLines())
            if (l.contains(text)) return true;
        return false;
    }
};
