// A recording that is wanted keeps being tried when it fails (attempts spaced
// out, one incident at the loss and one at the recovery), the operator's stop
// ends it, and no recording ever writes over an existing file or outside its
// folder, whatever its name holds.
#include "recording_fixture.h"

#include <QCryptographicHash>

using namespace h5b;

namespace {

class RecoveryTest : public RecorderFixture {
protected:
    QStringList Incidents() const { return Trace().ListeIncidents; }
    int IncidentsWith(const QString& text) const {
        int n = 0;
        for (const QString& line : Trace().ListeIncidents)
            if (line.contains(text)) ++n;
        return n;
    }
    static QByteArray Digest(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
    void Write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // One tick of the recovery at the clock's time plus ms.
    void TickAfter(qint64 ms) {
        clock.advanceMs(ms);
        RecoveryTick();
    }
    void WaitRecording(int i) {
        EXPECT_TRUE(platform::WaitInEventLoop([&] { return RecorderEngineRecording(i); }, 5000));
    }
};

}  // namespace

TEST_F(RecoveryTest, FailingStartIsTriedAgainSpacedOutAndRecoversWithTwoIncidents) {
    // The folder cannot be made: a file stands where its parent should be.
    const QString blocker = drive + QStringLiteral("blocked");
    Write(blocker, "not a folder");
    Prepare(0, 1, drive + QStringLiteral("blocked/Pige/"), QStringLiteral("Antenne"), true);
    Record(0);
    RecorderHealth& h = Rec(0).health();
    ASSERT_TRUE(h.Lost);
    EXPECT_TRUE(RecordButton(0).Checked()) << "the recording stays wanted";
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 1: recording not started: cannot create the folder ")), 1)
        << Incidents().join("\n").toStdString();
    EXPECT_TRUE(h.LastError.contains(QStringLiteral("Not a directory"))) << h.LastError.toStdString();
    RecorderStatusView v = RecorderStatusOf(0);
    EXPECT_TRUE(v.Wanted);
    EXPECT_EQ(v.Activity, RecorderActivity::Failed);
    EXPECT_EQ(v.Cause, h.LastError);

    // Attempts at 1 s, then 2, 4, 8 s apart, then every 10 s at most.
    QList<qint64> attempts;
    qint64 elapsed = 0;
    for (int step = 0; step < 600; ++step) {
        const int before = h.Retries;
        TickAfter(100);
        elapsed += 100;
        if (h.Retries != before) attempts << elapsed;
    }
    EXPECT_EQ(attempts, (QList<qint64>{1000, 3000, 7000, 15000, 25000, 35000, 45000, 55000}));
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 1:")), 1) << "no incident per attempt";
    EXPECT_TRUE(StartingWith(TracesOf(0), QStringLiteral("Rec. 1: not recording since")).isEmpty())
        << "an unchanged cause is not traced at every attempt";

    // The way is free again: the next attempt records, and once the take
    // holds, the recovery is told with the length of the gap.
    ASSERT_TRUE(QFile::remove(blocker));
    TickAfter(10000);
    WaitRecording(0);
    EXPECT_EQ(FilesIn(drive + QStringLiteral("blocked/Pige/")).size(), 1);
    TickAfter(3000);
    EXPECT_FALSE(h.Lost);
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 1: recording resumed after a gap of 1 min 10 s (9 attempt(s))")), 1)
        << Incidents().join("\n").toStdString();
    EXPECT_EQ(RecorderStatusOf(0).Activity, RecorderActivity::Recording);
    Stop(0);
    EXPECT_EQ(RecorderStatusOf(0).Activity, RecorderActivity::Idle);
}

TEST_F(RecoveryTest, OperatorsStopEndsTheAttempts) {
    const QString blocker = drive + QStringLiteral("blocked");
    Write(blocker, "x");
    Prepare(0, 1, drive + QStringLiteral("blocked/sub/"));
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Interview"));
    Record(0);
    ASSERT_TRUE(Rec(0).health().Lost);
    TickAfter(1000);
    EXPECT_EQ(Rec(0).health().Retries, 1);
    // The stop button: nothing records, the stop ends the wanted state.
    XPButtonStop_Click(0);
    EXPECT_FALSE(RecordButton(0).Checked());
    TickAfter(100);
    EXPECT_FALSE(Rec(0).health().Lost);
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("Rec. 1: recording no longer wanted, no further attempt")));
    ASSERT_TRUE(QFile::remove(blocker));
    for (int k = 0; k < 30; ++k) TickAfter(1000);
    EXPECT_FALSE(RecorderEngineRecording(0));
    EXPECT_FALSE(QFileInfo::exists(drive + QStringLiteral("blocked/sub/")));
}

TEST_F(RecoveryTest, ArrivalOfADeviceBringsTheNextAttemptAtOnce) {
    Prepare(0, 1, Folder(QStringLiteral("Arrival")), QStringLiteral("Antenne"), true);
    RecorderHealth& h = Rec(0).health();
    h.WaitingForDevice = true;
    h.MissingDevice = QStringLiteral("'qr_usb'");
    Record(0);
    ASSERT_TRUE(h.Lost);
    EXPECT_EQ(RecorderStatusOf(0).Activity, RecorderActivity::WaitingForDevice);
    EXPECT_EQ(RecorderStatusOf(0).Cause, QStringLiteral("device 'qr_usb' is not there"));
    // While it is away, attempts do not reach the engine.
    for (int k = 0; k < 100; ++k) TickAfter(100);
    EXPECT_TRUE(FilesIn(Folder(QStringLiteral("Arrival"))).isEmpty());
    const qint64 next = h.NextRetryTick;
    ASSERT_GT(next - clock.tickMs(), 500);
    // It arrives: the next tick starts the recording.
    h.WaitingForDevice = false;
    h.MissingDevice.clear();
    RetryRecorderNow(0);
    TickAfter(100);
    WaitRecording(0);
    TickAfter(3000);
    EXPECT_EQ(IncidentsWith(QStringLiteral("recording resumed after a gap of")), 1);
    Stop(0);
}

TEST_F(RecoveryTest, PlannedRecordingLostPastItsEndIsNotStartedAgain) {
    const QString blocker = drive + QStringLiteral("blocked");
    Write(blocker, "x");
    Prepare(0, 1, drive + QStringLiteral("blocked/sub/"));
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Planned"));
    StartRequest planned;
    planned.Origin = CommandOrigin::Planning;
    planned.DurationMs = 5000;
    Rec(0).Start(planned);
    ASSERT_TRUE(Rec(0).health().Lost);
    TickAfter(1000);
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 4000) << "what is left of the planned duration";
    TickAfter(5000);
    EXPECT_FALSE(RecordButton(0).Checked());
    EXPECT_FALSE(Rec(0).health().Lost);
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("Rec. 1: the planned duration ended during the loss")));
}

TEST_F(RecoveryTest, ExistingFilesAreNeverWrittenOver) {
    const QString folder = Folder(QStringLiteral("Pige"));
    Prepare(0, 1, folder, QStringLiteral("Antenne"), true);
    // A slice of the same name is there already (clock set back, restart
    // within the same second).
    const QString first = folder + QStringLiteral("Pige Antenne 20240115_10_20_30.wav");
    Write(first, QByteArray(4096, 'k'));
    const QByteArray before = Digest(first);
    Record(0);
    WaitRecording(0);
    const QString second = folder + QStringLiteral("Pige Antenne 20240115_10_20_30 (2).wav");
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("File exists: ") + first + QStringLiteral(", recording into ") + second));
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("Recording File: ") + second));
    platform::LetEventsRunFor(400);
    // The next slice in the same second: a third name, and no gap.
    BtnRecordContinueOn(0);
    const QString third = folder + QStringLiteral("Pige Antenne 20240115_10_20_30 (3).wav");
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("Recording File: ") + third));
    platform::LetEventsRunFor(400);
    Stop(0);
    EXPECT_EQ(Digest(first), before);
    EXPECT_EQ(FilesIn(folder).size(), 3);
    EXPECT_TRUE(ProbeFile(second).ok);
    EXPECT_TRUE(ProbeFile(third).ok);

    // An ordinary recorder started by a remote command with a file name of its
    // own: the same rule, and a name without folder stays in the recorder's
    // folder.
    const QString mine = Folder(QStringLiteral("Remote"));
    Prepare(1, 2, mine, QStringLiteral("Studio"));
    Write(mine + QStringLiteral("12345678.mp3"), "earlier take");
    const QByteArray earlier = Digest(mine + QStringLiteral("12345678.mp3"));
    Record(1, CommandOrigin::Planning, QStringLiteral("12345678.mp3"));
    WaitRecording(1);
    platform::LetEventsRunFor(300);
    Stop(1);
    EXPECT_EQ(Digest(mine + QStringLiteral("12345678.mp3")), earlier);
    EXPECT_TRUE(ProbeFile(mine + QStringLiteral("12345678 (2).mp3")).ok);
}

TEST_F(RecoveryTest, LabelsWithControlCharactersOrTooLongStillGiveADatedNameInTheFolder) {
    const QString folder = Folder(QStringLiteral("Labels"));
    const QString label = QStringLiteral("Ant") + QChar(0) + QStringLiteral("en\tne") + QChar(0x01);
    Prepare(0, 1, folder, label, true);
    Record(0);
    WaitRecording(0);
    platform::LetEventsRunFor(300);
    Stop(0);
    EXPECT_EQ(FilesIn(folder), QStringList{QStringLiteral("Pige Antenne 20240115_10_20_30.wav")});

    const QString longFolder = Folder(QStringLiteral("Long"));
    Prepare(1, 1, longFolder, QString(300, QChar(0x00E9)), true);
    clock.advanceMs(1000);
    Record(1);
    WaitRecording(1);
    platform::LetEventsRunFor(300);
    Stop(1);
    const QStringList files = FilesIn(longFolder);
    ASSERT_EQ(files.size(), 1);
    EXPECT_LE(files[0].toUtf8().size(), 255);
    EXPECT_TRUE(files[0].startsWith(QStringLiteral("Pige éé")));
    EXPECT_TRUE(files[0].endsWith(QStringLiteral(" 20240115_10_20_31.wav"))) << files[0].toStdString();
    EXPECT_TRUE(TracesOf(1).contains(QStringLiteral("File name shortened to fit the file system: ") + files[0]));
    EXPECT_TRUE(ProbeFile(longFolder + files[0]).ok);
}

TEST_F(RecoveryTest, FileDeletedWhileRecordingGoesOnIntoANewFileInItsFolderMadeAgain) {
    const QString folder = Folder(QStringLiteral("Deleted"));
    Prepare(0, 1, folder, QStringLiteral("Antenne"), true);
    Record(0);
    WaitRecording(0);
    platform::LetEventsRunFor(300);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    clock.advanceMs(2000);
    // Noticed within a few seconds, without the recording stopping.
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return !FilesIn(folder).isEmpty(); }, 4000));
    EXPECT_EQ(IncidentsWith(QStringLiteral("Rec. 1: the file being recorded was deleted")), 1);
    EXPECT_TRUE(RecorderEngineRecording(0));
    EXPECT_TRUE(RecordButton(0).Checked());
    platform::LetEventsRunFor(500);
    Stop(0);
    const QStringList files = FilesIn(folder);
    ASSERT_EQ(files, QStringList{QStringLiteral("Pige Antenne 20240115_10_20_32.wav")});
    const Probe p = ProbeFile(folder + files[0]);
    EXPECT_TRUE(p.ok);
    EXPECT_GT(p.duration, 0.4);
}

TEST_F(RecoveryTest, DeviceNewsBeforeStartUpHasFoundTheDeviceChangeNothing) {
    Prepare(0, 1, Folder(QStringLiteral("Early")));
    const int selected = ::Setup().ComboInputDevices[0].listIndex();
    EXPECT_EQ(Rec(0).config().DeviceName, QStringLiteral("test-tone")) << "the device chosen";
    EditRecorderConfig(0, [](RecorderConfig& c) { c.DeviceIndex = 0; });  // the number of the settings, not yet looked for
    emit Engine(0).DeviceChange(0);
    EXPECT_EQ(::Setup().ComboInputDevices[0].listIndex(), selected);
    EXPECT_EQ(Rec(0).config().DeviceName, QStringLiteral("test-tone"));
    EXPECT_FALSE(QFileInfo::exists(drive + QStringLiteral("Tessaline"))) << "nothing written";
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("DeviceChange")));
}
