// The trace log, read back from its daily files.
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kRule = QStringLiteral("==:==:==:====:=:=:=:===========================================");
constexpr qint64 kDayMs = 24LL * 3600 * 1000;

class TraceLogFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        hadDrive = qEnvironmentVariableIsSet("VELMORA_DRIVE");
        savedDrive = qgetenv("VELMORA_DRIVE");
        drive = tmp.path() + QStringLiteral("/");
        qputenv("VELMORA_DRIVE", drive.toUtf8());
        ResetTraceState();
        Err().Clear();
        App().DateDisplayFormat = QStringLiteral("dd/MM/yyyy");
        folder = drive + QStringLiteral("Histo_VM3_Quillon_Recorder/");
        ASSERT_TRUE(QDir().mkpath(folder));
        Trace().LogFolder = folder;
    }
    void TearDown() override {
        ResetTraceState();
        Err().Clear();
        if (hadDrive) qputenv("VELMORA_DRIVE", savedDrive);
        else qunsetenv("VELMORA_DRIVE");
    }

    static QByteArray raw(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }
    // Lines of a log file (CR LF separated), without the empty tail.
    QStringList lines(const QString& name) const {
        QStringList l = QString::fromUtf8(raw(folder + name)).split(QStringLiteral("\r\n"));
        if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
        return l;
    }
    int headers(const QString& name) const { return int(lines(name).count(kRule)) / 3; }
    QStringList body(const QString& name) const {
        QStringList out;
        for (const QString& l : lines(name))
            if (!l.startsWith(QStringLiteral("==:==:==:====:=:=:=:"))) out << l;
        return out;
    }
    void touch(const QString& name) {
        QFile f(folder + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    QTemporaryDir tmp;
    QString drive, folder;
    bool hadDrive = false;
    QByteArray savedDrive;
    ManualClock clock{QDateTime(QDate(2024, 3, 19), QTime(14, 5, 9, 42)), 3 * 3600 * 1000};
    ScopedClock scoped{&clock};
};

TEST_F(TraceLogFile, LinePrefixShowsTimeAndColumns) {
    EXPECT_EQ(TracePrefix(-1, 2, -1), QStringLiteral("14:05:09:042 : :2: :"));
    EXPECT_EQ(TracePrefix(123, 0, 0), QStringLiteral("14:05:09:042 :123:0:0:"));
    EXPECT_EQ(TracePrefix(1, 7, 9), QStringLiteral("14:05:09:042 :1:7:9:"));
    EXPECT_EQ(TracePrefix(1, 7, 10), QStringLiteral("14:05:09:042 :1:7:A:"));
    EXPECT_EQ(TracePrefix(-1, -1, 12), QStringLiteral("14:05:09:042 : : :C:"));
    EXPECT_EQ(TracePrefix(4, -2, -2), QStringLiteral("14:05:09:042 :Debug:"));
    // Only both columns at -2 make a debug line.
    EXPECT_EQ(TracePrefix(4, -2, -1), QStringLiteral("14:05:09:042 :4: : :"));

    TraceLog(-1, 2, -1, QStringLiteral("Pipe stopped"));
    ASSERT_EQ(Trace().ListeLogTemp.size(), 1);
    EXPECT_EQ(Trace().ListeLogTemp.last(), QStringLiteral("14:05:09:042 : :2: :Pipe stopped"));
    clock.advanceMs(1);
    TraceLog(0, -2, -2, QStringLiteral("level 12"));
    EXPECT_EQ(Trace().ListeLogTemp.last(), QStringLiteral("14:05:09:043 :Debug:level 12"));
}

TEST_F(TraceLogFile, StartupLinesWaitForTheSetupWindowThenGoOutInOrder) {
    TraceLog(-1, -1, -1, QStringLiteral("Start"), false, true);
    TraceLog(-1, 0, -1, QStringLiteral("Folders computed"), false, true);
    EXPECT_EQ(Trace().ListeLogTemp.size(), 2);
    EXPECT_TRUE(Trace().ListeLog.isEmpty());
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "nothing on disk before setup";

    Trace().SetupLoaded = true;
    TraceLog(-1, 1, -1, QStringLiteral("Setup loaded"));
    EXPECT_TRUE(Trace().ListeLogTemp.isEmpty());
    ASSERT_EQ(Trace().ListeLog.size(), 3);
    EXPECT_FALSE(QFileInfo::exists(folder + "20240319.Log")) << "no flush asked yet";

    TraceLog(-1, 1, -1, QStringLiteral("Arrêt demandé"), false, true);
    EXPECT_TRUE(Trace().ListeLog.isEmpty());
    EXPECT_EQ(body("20240319.Log"),
              (QStringList{"14:05:09:042 : : : :Start", "14:05:09:042 : :0: :Folders computed",
                           "14:05:09:042 : :1: :Setup loaded", "14:05:09:042 : :1: :Arrêt demandé"}));
    // CR LF line ends, UTF-8 text.
    const QByteArray bytes = raw(folder + "20240319.Log");
    EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n'));
    EXPECT_TRUE(bytes.contains(QStringLiteral("Arrêt demandé").toUtf8()));
}

TEST_F(TraceLogFile, HeaderBlockHeadsTheFirstFlush) {
    Trace().SetupLoaded = true;
    Trace().AsrecmmsVersion = QStringLiteral("6.2.0.1");
    clock.setTick(2 * kDayMs + (3 * 3600 + 4 * 60 + 5) * 1000 + 999);
    TraceLog(-1, -1, -1, QStringLiteral("Ready"), false, true);

    const QStringList l = lines("20240319.Log");
    ASSERT_EQ(l.size(), 11);
    EXPECT_EQ(l[0], kRule);
    EXPECT_EQ(l[1], QStringLiteral("==:==:==:====:=:=:=:System started since 2 D 3 H 4 Min 5 Sec"));
    EXPECT_EQ(l[2], QStringLiteral("==:==:==:====:=:=:=:App.Version: ") + VersionApplication());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}\\.\\d{4}\\.\\d{4}$")).match(VersionApplication()).hasMatch())
        << VersionApplication().toStdString();
    EXPECT_EQ(l[3], QStringLiteral("==:==:==:====:=:=:=:App.ExeName: VM3_Quillon_Recorder"));
    EXPECT_EQ(l[4], QStringLiteral("==:==:==:====:=:=:=:App.ProductName: Quillon Recorder"));
    EXPECT_EQ(l[5], QStringLiteral("==:==:==:====:=:=:=:Computer.Name: ") + platform::ComputerName());
    EXPECT_EQ(l[6], QStringLiteral("==:==:==:====:=:=:=:Operating System: ") + platform::OsDisplayString());
    EXPECT_EQ(l[7], kRule);
    EXPECT_EQ(l[8], QStringLiteral("==:==:==:====:=:=:=:asrecmms.Version: 6.2.0.1"));
    EXPECT_EQ(l[9], kRule);
    EXPECT_EQ(l[10], QStringLiteral("14:05:09:042 : : : :Ready"));
    EXPECT_EQ(Trace().LastHeaderDay, QStringLiteral("19/03/2024"));
}

TEST_F(TraceLogFile, OneHeaderPerDayNewFileAfterMidnightAndAnotherAfterRestart) {
    Trace().SetupLoaded = true;
    TraceLog(-1, -1, -1, QStringLiteral("first"), false, true);
    clock.advanceMs(60000);
    TraceLog(-1, -1, -1, QStringLiteral("second"), false, true);
    EXPECT_EQ(headers("20240319.Log"), 1);
    EXPECT_EQ(body("20240319.Log").size(), 2);

    clock.set(QDateTime(QDate(2024, 3, 20), QTime(0, 0, 1, 5)));
    TraceLog(-1, -1, -1, QStringLiteral("after midnight"), false, true);
    EXPECT_EQ(headers("20240320.Log"), 1);
    EXPECT_EQ(body("20240320.Log"), QStringList{"00:00:01:005 : : : :after midnight"});
    EXPECT_EQ(body("20240319.Log").size(), 2) << "yesterday's file is left alone";

    // The program starts again the same day: a new header in the same file.
    ResetTraceState();
    Trace().LogFolder = folder;
    Trace().SetupLoaded = true;
    TraceLog(-1, -1, -1, QStringLiteral("started again"), false, true);
    EXPECT_EQ(headers("20240320.Log"), 2);
    EXPECT_EQ(body("20240320.Log").last(), QStringLiteral("00:00:01:005 : : : :started again"));
}

TEST_F(TraceLogFile, EmptyFlushOnTheSameDayLeavesTheFileAlone) {
    Trace().SetupLoaded = true;
    TraceLog(-1, -1, -1, QStringLiteral("x"), false, true);
    const QByteArray before = raw(folder + "20240319.Log");
    ASSERT_FALSE(before.isEmpty());
    QStringList none;
    QString name;
    TraceLogForce(none, name, false);
    EXPECT_EQ(raw(folder + "20240319.Log"), before);
    EXPECT_TRUE(name.isEmpty()) << "stopped before naming the file";

    // Same day already headed in this run, file gone: it is not recreated.
    QFile::remove(folder + "20240319.Log");
    TraceLogFlushPending();
    EXPECT_FALSE(QFileInfo::exists(folder + "20240319.Log"));

    // A new day with nothing pending still writes the day's header.
    clock.set(QDateTime(QDate(2024, 3, 21), QTime(8, 0)));
    TraceLogFlushPending();
    EXPECT_EQ(headers("20240321.Log"), 1);
    EXPECT_TRUE(body("20240321.Log").isEmpty());
}

TEST_F(TraceLogFile, FileNameIsFilledInForTheCallerAndYesterdayGoesToYesterdaysFile) {
    QStringList pending{"a", "b"};
    QString name;
    TraceLogForce(pending, name, false);
    EXPECT_EQ(name, QStringLiteral("20240319"));
    EXPECT_TRUE(pending.isEmpty());
    EXPECT_EQ(body("20240319.Log"), (QStringList{"a", "b"}));

    pending = {"late"};
    name = QStringLiteral("  ");
    TraceLogForce(pending, name, true);
    EXPECT_EQ(name, QStringLiteral("20240318"));
    EXPECT_EQ(headers("20240318.Log"), 1);
    EXPECT_EQ(body("20240318.Log"), QStringList{"late"});

    pending = {"own"};
    name = QStringLiteral("Special");
    TraceLogForce(pending, name, false);
    EXPECT_EQ(body("Special.Log"), QStringList{"own"});
}

TEST_F(TraceLogFile, FramedLineHasFrameLinesAsLongAsTheText) {
    Trace().SetupLoaded = true;
    TraceLogEncadre(1, 2, 12, QStringLiteral("Start of Rec. 3"), QStringLiteral("=-"), false);
    EXPECT_EQ(body("20240319.Log"),
              (QStringList{"14:05:09:042 :1:2:C:===============", "14:05:09:042 :1:2:C:Start of Rec. 3",
                           "14:05:09:042 :1:2:C:==============="}));
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());

    TraceLogEncadre(-1, 0, -1, QStringLiteral("Disk full"), QStringLiteral("*"), true);
    EXPECT_EQ(Trace().ListeIncidents, QStringList{"14:05:09:042 : :0: :Disk full"}) << "frames are no incidents";
    EXPECT_EQ(body("20240319.Log").mid(3),
              (QStringList{"14:05:09:042 : :0: :*********", "14:05:09:042 : :0: :Disk full",
                           "14:05:09:042 : :0: :*********"}));
}

TEST_F(TraceLogFile, IncidentsAreTrimmedFlaggedAndCappedAtAThousand) {
    TraceLog(-1, 1, -1, QStringLiteral("  : Disk full  "), true, false);
    EXPECT_TRUE(Trace().CheckIncidents);
    EXPECT_EQ(Trace().ListeIncidents, QStringList{"14:05:09:042 : :1: :Disk full"});
    EXPECT_EQ(Trace().ListeLogTemp.last(), QStringLiteral("14:05:09:042 : :1: :  : Disk full  "));

    Trace().ListeIncidents.clear();
    for (int i = 0; i < 1001; ++i) TraceLog(-1, -1, -1, QString::number(i), true, false);
    EXPECT_EQ(Trace().ListeIncidents.size(), 1001);
    TraceLog(-1, -1, -1, QStringLiteral("one more"), true, false);
    EXPECT_EQ(Trace().ListeIncidents, QStringList{"14:05:09:042 : : : :one more"});

    // An incident with a flush after setup is written at once.
    Trace().SetupLoaded = true;
    TraceLog(-1, -1, -1, QStringLiteral("Card lost"), true, true);
    EXPECT_EQ(body("20240319.Log").last(), QStringLiteral("14:05:09:042 : : : :Card lost"));
}

TEST_F(TraceLogFile, UptimeTextAndRebootWarnings) {
    EXPECT_EQ(UptimeText(999), QStringLiteral("0 Min 0 Sec"));
    EXPECT_EQ(UptimeText(65000), QStringLiteral("1 Min 5 Sec"));
    EXPECT_EQ(UptimeText((3 * 3600 + 4 * 60 + 5) * 1000LL), QStringLiteral("3 H 4 Min 5 Sec"));
    EXPECT_EQ(UptimeText(kDayMs), QStringLiteral("1 D 0 H 0 Min 0 Sec"));
    EXPECT_EQ(UptimeText(400 * kDayMs + 61000), QStringLiteral("400 D 0 H 1 Min 1 Sec"));

    const QString warn45 = QStringLiteral("Reboot needed because computer started since more 45 days");
    const QString warn48 = QStringLiteral("Reboot needed because computer started since more 48 days");
    Trace().SetupLoaded = true;
    clock.setTick(45 * kDayMs + 3600000);  // 45 days: not more than 45
    TraceLog(-1, -1, -1, QStringLiteral("a"), false, true);
    EXPECT_FALSE(body("20240319.Log").join('\n').contains(warn45));

    clock.set(QDateTime(QDate(2024, 3, 20), QTime(9, 0)));
    clock.setTick(46 * kDayMs);
    TraceLog(-1, -1, -1, QStringLiteral("b"), false, true);
    EXPECT_EQ(body("20240320.Log"), (QStringList{"09:00:00:000 : : : :b", "09:00:00:000 : : : :" + warn45}))
        << "the warning goes out with the same flush";
    EXPECT_EQ(Trace().ListeIncidents, QStringList{"09:00:00:000 : : : :" + warn45});

    clock.set(QDateTime(QDate(2024, 3, 21), QTime(9, 0)));
    clock.setTick(47 * kDayMs);
    TraceLog(-1, -1, -1, QStringLiteral("c"), false, true);
    EXPECT_EQ(body("20240321.Log"), QStringList{"09:00:00:000 : : : :c"}) << "given once per run";

    ResetTraceState();
    Trace().LogFolder = folder;
    Trace().SetupLoaded = true;
    clock.setTick(49 * kDayMs);
    TraceLog(-1, -1, -1, QStringLiteral("d"), false, true);
    const QStringList l = body("20240321.Log");
    EXPECT_TRUE(l.contains("09:00:00:000 : : : :" + warn45));
    EXPECT_TRUE(l.contains("09:00:00:000 : : : :" + warn48));
}

TEST_F(TraceLogFile, PurgeDeletesLogsOlderThan45DaysOncePerDay) {
    // 19 March 2024 - 45 days = 3 February 2024.
    for (const char* n : {"20240203.Log", "20240202.Log", "20231231.LOG", "20240202.txt", "20240101.Log.bak",
                          "Notes.Log", ".19990101.Log", "20250101.Log"})
        touch(n);
    ASSERT_TRUE(QDir().mkpath(folder + "20000101.Log"));
    Trace().SetupLoaded = true;
    TraceLog(-1, -1, -1, QStringLiteral("x"), false, true);

    const QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left, (QStringList{"20000101.Log", "20240101.Log.bak", "20240202.txt", "20240203.Log", "20240319.Log",
                                 "20250101.Log", "Notes.Log"}));
    EXPECT_EQ(Trace().LastLogPurgeDay, QStringLiteral("19/03/2024"));

    // Once a day: an old file appearing later the same day stays until tomorrow.
    touch("20240110.Log");
    TraceLog(-1, -1, -1, QStringLiteral("y"), false, true);
    EXPECT_TRUE(QFileInfo::exists(folder + "20240110.Log"));
    clock.set(QDateTime(QDate(2024, 3, 20), QTime(10, 0)));
    TraceLog(-1, -1, -1, QStringLiteral("z"), false, true);
    EXPECT_FALSE(QFileInfo::exists(folder + "20240110.Log"));
    EXPECT_FALSE(QFileInfo::exists(folder + "20240203.Log")) << "now 46 days old";
}

TEST_F(TraceLogFile, UnwritableFolderIsReportedAndThePendingLinesDropped) {
    Trace().SetupLoaded = true;
    Trace().LogFolder = drive + QStringLiteral("missing/");
    TraceLog(-1, -1, -1, QStringLiteral("lost line"), false, true);

    EXPECT_TRUE(Trace().ListeLog.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(drive + "missing"));
    ASSERT_FALSE(Trace().ListeIncidents.isEmpty());
    const QString incident = Trace().ListeIncidents.last();
    EXPECT_TRUE(incident.startsWith(QStringLiteral("14:05:09:042 : : : :Err:76 (Path not found: ") + drive +
                                    "missing/20240319.Log)"))
        << incident.toStdString();
    EXPECT_TRUE(incident.endsWith(QStringLiteral("  Source:Lib_Public Sub:TraceLogForce:40"))) << incident.toStdString();
    EXPECT_FALSE(Trace().InErrorManager);
    EXPECT_EQ(Err().ErrNumber, 0);

    // Once the folder is right again, the day's file gets its header.
    Trace().LogFolder = folder;
    TraceLog(-1, -1, -1, QStringLiteral("back"), false, true);
    EXPECT_EQ(headers("20240319.Log"), 1);
    EXPECT_EQ(body("20240319.Log").last(), QStringLiteral("14:05:09:042 : : : :back"));
}

TEST_F(TraceLogFile, WithoutALogFolderNothingIsWrittenAndLinesStayPending) {
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    {
        // An old log beside the program must not be purged.
        QFile old(tmp.path() + "/20000101.Log");
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    }
    Trace().LogFolder.clear();
    Trace().SetupLoaded = true;
    TraceLog(-1, -1, -1, QStringLiteral("early error"), true, true);
    TraceLogFlushPending();
    EXPECT_EQ(Trace().ListeLog.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/20240319.Log"));
    EXPECT_TRUE(QFileInfo::exists(tmp.path() + "/20000101.Log"));
    QDir::setCurrent(cwd);

    Trace().LogFolder = folder;
    TraceLogFlushPending();
    EXPECT_EQ(body("20240319.Log"), QStringList{"14:05:09:042 : : : :early error"});
}

TEST_F(TraceLogFile, WindowsAreToldWhenTheHoldersChange) {
    int calls = 0;
    qsizetype seen = -1;
    Trace().OnChanged = [&] {
        ++calls;
        seen = Trace().ListeLog.size();
    };
    Trace().SetupLoaded = true;
    TraceLog(-1, -1, -1, QStringLiteral("a"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, 1);
    TraceLogFlushPending();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(seen, 0);
}

}  // namespace
