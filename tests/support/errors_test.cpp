// The error convention: traps that carry on, and the texts of the error manager.
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ShownBox {
    QString text, title;
    MsgButtons buttons;
    MsgIcon icon;
};

class RecordingDialogs : public Dialogs {
public:
    int MessageBox(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon, int) override {
        shown.append({text, title, buttons, icon});
        if (onShow) onShow();
        return MsgOk;
    }
    QList<ShownBox> shown;
    std::function<void()> onShow;
};

class ErrorManager : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        hadDrive = qEnvironmentVariableIsSet("VELMORA_DRIVE");
        savedDrive = qgetenv("VELMORA_DRIVE");
        qputenv("VELMORA_DRIVE", (tmp.path() + "/").toUtf8());
        ResetTraceState();
        Err().Clear();
        Trace().LogFolder = tmp.path() + QStringLiteral("/");
        Trace().SetupLoaded = true;
        App().MainWindowCaption = QStringLiteral("Quillon Recorder 3");
        SetDialogs(&dialogs);
    }
    void TearDown() override {
        SetDialogs(nullptr);
        ResetTraceState();
        Err().Clear();
        App().MainWindowCaption.clear();
        if (hadDrive) qputenv("VELMORA_DRIVE", savedDrive);
        else qunsetenv("VELMORA_DRIVE");
    }
    void report(qint32 number, const QString& description, const QString& source, qint32 line, const QString& where) {
        Err().ErrNumber = number;
        Err().ErrDescription = description;
        Err().ErrSource = source;
        Err().ErrLine = line;
        GestionDesErreurs(where);
    }
    // The text part of the last incident line.
    QString lastIncident() const {
        if (Trace().ListeIncidents.isEmpty()) return {};
        return Trace().ListeIncidents.last().mid(QStringLiteral("10:00:00:000 : : : :").size());
    }
    QStringList logBody() const {
        QFile f(tmp.path() + "/20240610.Log");
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QString& l : QString::fromUtf8(f.readAll()).split("\r\n"))
            if (!l.isEmpty() && !l.startsWith("==:==:==:====:=:=:=:")) out << l.mid(20);
        return out;
    }

    QTemporaryDir tmp;
    bool hadDrive = false;
    QByteArray savedDrive;
    ManualClock clock{QDateTime(QDate(2024, 6, 10), QTime(10, 0))};
    ScopedClock scoped{&clock};
    RecordingDialogs dialogs;
};

TEST_F(ErrorManager, TrapReportsTheFailingStepAndCarriesOn) {
    bool laterStepRan = false;
    ErrorTrap trap(QStringLiteral("Lib_Public:DetermineDossierConfig"));
    EXPECT_TRUE(trap(10, [] {}));
    EXPECT_FALSE(trap(40, [] { RaiseError(13, QStringLiteral("Type mismatch")); }));
    EXPECT_TRUE(trap(50, [&] { laterStepRan = true; }));
    EXPECT_TRUE(laterStepRan);
    EXPECT_TRUE(trap.failed());

    const QString message = QStringLiteral("Err:13 (Type mismatch)  Source:Lib_Public Sub:DetermineDossierConfig:40");
    EXPECT_EQ(lastIncident(), message);
    EXPECT_TRUE(Trace().CheckIncidents);
    // Framed with "=" and flushed at once.
    const QString frame(message.size(), QLatin1Char('='));
    EXPECT_EQ(logBody(), (QStringList{frame, message, frame}));
    EXPECT_EQ(Err().ErrNumber, 0) << "the error is cleared once reported";
    EXPECT_TRUE(Err().ErrDescription.isEmpty());
    EXPECT_FALSE(Trace().InErrorManager);
    EXPECT_TRUE(dialogs.shown.isEmpty()) << "ordinary errors are not shown to the operator";
}

TEST_F(ErrorManager, ObjectErrorsAreReportedByTheirOwnCode) {
    report(qint32(0x80040000u + 5), QStringLiteral("Device busy"), QStringLiteral("AsRecMms.Recorder"), 30,
           QStringLiteral("Frm_Main:InitRecorder"));
    EXPECT_EQ(lastIncident(),
              QStringLiteral("Err:5 (Device busy)  Source:Frm_Main Sub:InitRecorder:30 (Source: AsRecMms.Recorder)"));

    report(qint32(0x80040000u + 5), QStringLiteral("Device busy"), QStringLiteral("  "), 30,
           QStringLiteral("Frm_Main:InitRecorder"));
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:5 (Device busy)  Source:Frm_Main Sub:InitRecorder:30"));

    // Only object errors name their source.
    report(53, QStringLiteral("File not found"), QStringLiteral("VM3_Quillon_Recorder"), 20, QStringLiteral("M:P"));
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:53 (File not found)  Source:M Sub:P:20"));

    // The base itself and codes from 65535 up keep their full number.
    report(qint32(0x80040000u), QStringLiteral("d"), QStringLiteral("s"), 10, QStringLiteral("M:P"));
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:-2147221504 (d)  Source:M Sub:P:10"));
    report(qint32(0x80040000u + 65535), QStringLiteral("d"), QStringLiteral("s"), 10, QStringLiteral("M:P"));
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:-2147155969 (d)  Source:M Sub:P:10"));
}

TEST_F(ErrorManager, LongDescriptionsAreCutAtTheirSentences) {
    QString hundred = QStringLiteral("First part. Second part. ");
    hundred += QString(100 - hundred.size(), QLatin1Char('x'));
    ASSERT_EQ(hundred.size(), 100);
    report(5, hundred, {}, 10, {});
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:5 (") + hundred + ")");

    const QString longer = hundred + QLatin1Char('y');
    report(5, longer, {}, 10, {});
    QString expected = longer;
    expected.replace(". ", "  ");  // line feed + blank, then the line feed shown as a blank
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:5 (") + expected + ")");
}

TEST_F(ErrorManager, NoErrorNoWhereAndEveryColonOfWhere) {
    report(0, QStringLiteral("nothing"), {}, 10, QStringLiteral("M:P"));
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
    EXPECT_TRUE(logBody().isEmpty());

    report(6, QStringLiteral("Overflow"), {}, 70, QStringLiteral("   "));
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:6 (Overflow)"));

    report(6, QStringLiteral("Overflow"), {}, 70, QStringLiteral("FrmSetup:Planning:Check"));
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:6 (Overflow)  Source:FrmSetup Sub:Planning Sub:Check:70"));
}

TEST_F(ErrorManager, DisconnectedAutomationServerIsShownToTheOperator) {
    report(qint32(0x80010108u), QStringLiteral("The object invoked has disconnected from its clients."), {}, 70,
           QStringLiteral("Frm_Main:Timer1_Timer"));
    const QStringList incidents = Trace().ListeIncidents;
    ASSERT_EQ(incidents.size(), 2);
    EXPECT_TRUE(incidents[0].endsWith(
        "Err:-2147417848 (The object invoked has disconnected from its clients.)  Source:Frm_Main Sub:Timer1_Timer:70"));
    EXPECT_EQ(lastIncident(), QStringLiteral("Automation Error |Sub: Frm_Main:Timer1_Timer:70"));
    EXPECT_EQ(logBody().size(), 6) << "two framed lines";

    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Automation Error !!!\r\n\r\nSub: Frm_Main:Timer1_Timer:70"));
    EXPECT_EQ(dialogs.shown[0].title, QStringLiteral("Quillon Recorder 3"));
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::Ok);
}

TEST_F(ErrorManager, ErrorsWhileReportingAreIgnored) {
    // The operator's box itself fails and reports: the manager does not recurse.
    dialogs.onShow = [this] {
        report(13, QStringLiteral("inner"), {}, 10, QStringLiteral("Ui:Box"));
        throw std::runtime_error("box failed");
    };
    report(qint32(0x80010108u), QStringLiteral("gone"), {}, 10, QStringLiteral("M:P"));
    EXPECT_EQ(dialogs.shown.size(), 1);
    for (const QString& l : Trace().ListeIncidents) EXPECT_FALSE(l.contains("inner")) << l.toStdString();
    EXPECT_FALSE(Trace().InErrorManager);
    EXPECT_EQ(Err().ErrNumber, 0);

    // The next error is reported normally.
    dialogs.onShow = nullptr;
    report(9, QStringLiteral("Subscript out of range"), {}, 20, QStringLiteral("M:Q"));
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:9 (Subscript out of range)  Source:M Sub:Q:20"));
}

TEST_F(ErrorManager, ExceptionsFillTheErrorRecord) {
    ErrorTrap trap(QStringLiteral("Lib_Public:Step"));
    trap(10, [] { throw std::runtime_error("disk gone"); });
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:51 (disk gone)  Source:Lib_Public Sub:Step:10"));
    trap(20, [] { throw 42; });
    EXPECT_EQ(lastIncident(), QStringLiteral("Err:51 (Unknown error)  Source:Lib_Public Sub:Step:20"));

    try {
        RaiseError(qint32(0x80040000u + 7), QStringLiteral("No device"), QStringLiteral("Capture"));
    } catch (...) {
        CaptureCurrentException(90);
    }
    EXPECT_EQ(Err().ErrNumber, qint32(0x80040000u + 7));
    EXPECT_EQ(Err().ErrDescription, QStringLiteral("No device"));
    EXPECT_EQ(Err().ErrSource, QStringLiteral("Capture"));
    EXPECT_EQ(Err().ErrLine, 90);
}

TEST(AbsentOperator, DefaultDialogsAnswerWithTheDefault) {
    SetDialogs(nullptr);
    Dialogs& d = CurrentDialogs();
    EXPECT_EQ(d.MessageBox("Quit?", "T", MsgButtons::YesNo, MsgIcon::Question, MsgNo), MsgNo);
    EXPECT_EQ(d.TaskDialog("T", "Save?", {{100, "Save"}, {101, "Discard"}}, 101, 5000), 101);
    EXPECT_TRUE(d.SaveFile("/tmp/", "a.ini", "*.ini").isEmpty());
    EXPECT_TRUE(d.OpenFile("/tmp/", "a.Log", "Logs|*.log").isEmpty());
    EXPECT_TRUE(d.FolderSelect("/tmp/").isEmpty());

    RecordingDialogs mine;
    SetDialogs(&mine);
    EXPECT_EQ(&CurrentDialogs(), &mine);
    SetDialogs(nullptr);
    EXPECT_EQ(&CurrentDialogs(), &d);
}

}  // namespace
