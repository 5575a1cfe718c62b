// Start, pause and stop of a recorder on the engine's test tone, the naming of
// the files, and the reports of the engine's errors and events.
#include "recording_fixture.h"

#include "support/app_globals.h"
#include "support/errors.h"

using namespace h5b;

namespace {

class RecordingTest : public RecorderFixture {};

struct FormatCase {
    int format;
    QString extension;
    QString codec;
};

}  // namespace

TEST_F(RecordingTest, EachFormatRecordsADecodableFileNamedAfterThePattern) {
    const QString folder = Folder(QStringLiteral("Rec1"));
    const QList<FormatCase> cases = {{1, ".wav", "pcm_s16le"},
                                     {2, ".mp3", "mp3"},
                                     {3, ".wma", "wmav2"},
                                     {4, ".ogg", "vorbis"},
                                     {5, ".aac", "aac"}};
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.codec.toStdString());
        Prepare(0, c.format, folder);
        SelectQuality(0, QStringLiteral("44100"));
        ::Setup().TexteNomFichier[0].setText(QStringLiteral("Rec_<yyyyMMdd_hh_mm_ss>"));
        Rec(0).runtime().AnnouncedFilePath.clear();
        Record(0, CommandOrigin::Key);
        const QString expected = folder + QStringLiteral("Rec_") + clock.now().toString("yyyyMMdd_HH_mm_ss") + c.extension;
        platform::LetEventsRunFor(1200);
        EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusRecordingFile);
        Stop(0);

        const QStringList traces = TracesOf(0);
        EXPECT_TRUE(traces.contains(QStringLiteral("SetRecordingMode: Ok")));
        EXPECT_TRUE(traces.contains(QStringLiteral("RecordedSound.FreeMemory: Ok")));
        EXPECT_TRUE(traces.contains(QStringLiteral("Recording File: ") + expected));
        EXPECT_TRUE(traces.contains(QStringLiteral("UDP Recording File: ") + Rec(0).config().NetworkFolder +
                                    QFileInfo(expected).fileName()));
        EXPECT_TRUE(traces.contains(QStringLiteral("Recorder: Pipe stopped")));
        EXPECT_TRUE(StartingWith(traces, QStringLiteral("Err:")).isEmpty()) << StartingWith(traces, "Err:").join("\n").toStdString();

        const Probe p = ProbeFile(expected);
        ASSERT_TRUE(p.ok) << expected.toStdString();
        EXPECT_EQ(p.codec, c.codec);
        EXPECT_EQ(p.rate, 44100);
        EXPECT_EQ(p.channels, 2);
        EXPECT_GT(p.duration, 0.7);
        EXPECT_LT(p.duration, 2.5);
        clock.advanceMs(60000);
    }
    EXPECT_EQ(FilesIn(folder).size(), cases.size());
}

TEST_F(RecordingTest, QualityChosenInTheSetupListWinsOverTheStoredText) {
    const QString folder = Folder(QStringLiteral("Quality"));
    Prepare(0, 1, folder);
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.QualityText = QStringLiteral("22050 Hz, 16 bits, stereo"); });
    // The first entry of the test tone other than 44100 Hz stereo.
    ComboCtl& q = ::Setup().ComboInputQuality[0];
    int chosen = -1;
    for (int k = 0; k < q.count() && chosen < 0; ++k)
        if (q.entry(k).contains(QStringLiteral("mono"), Qt::CaseInsensitive) && q.entry(k).contains(" 24")) chosen = k;
    ASSERT_GE(chosen, 0) << q.entries().join(" | ").toStdString();
    q.setListIndex(chosen);
    const QString text = q.text();
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Quality"));
    Record(0);
    platform::LetEventsRunFor(700);
    Stop(0);
    const Probe p = ProbeFile(folder + QStringLiteral("Quality.wav"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.rate, int(Val(text.left(6))));
    EXPECT_EQ(p.channels, 1);
    EXPECT_EQ(p.codec, QStringLiteral("pcm_s24le"));
}

TEST_F(RecordingTest, RemoteStartAt128KbitsRecordsMp3UnderAnMp3Name) {
    const QString folder = Folder(QStringLiteral("Remote128"));
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Remote"));
    Record(0, CommandOrigin::Udp, {}, true);
    BtnRecordOn(0);  // no effect: already recording (-64 reported)
    platform::LetEventsRunFor(1000);
    Stop(0);
    const QStringList files = FilesIn(folder);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].endsWith(QStringLiteral(".mp3")));
    const Probe p = ProbeFile(folder + files[0]);
    EXPECT_EQ(p.codec, QStringLiteral("mp3"));
    EXPECT_EQ(p.bitRate, 128000);
    EXPECT_TRUE(TracesOf(0).contains(
        QStringLiteral("Err: The recorder is busy (StartFromDirectSoundDevice)(Frm_Main:BtnRecordOn)")));
}

TEST_F(RecordingTest, PauseExcludesThePausedTimeFromTheFile) {
    const QString folder = Folder(QStringLiteral("Pause"));
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Paused"));
    Record(0);
    platform::LetEventsRunFor(700);
    S().main.rec[0].XPButtonPause.setChecked(true);
    BtnPauseOn(0);
    platform::LetEventsRunFor(900);
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusPaused);
    S().main.rec[0].XPButtonPause.setChecked(false);
    BtnPauseOn(0);
    platform::LetEventsRunFor(700);
    Stop(0);
    const QStringList traces = TracesOf(0);
    EXPECT_EQ(CountOf(traces, QStringLiteral("RecordingPaused")), 1);
    EXPECT_EQ(CountOf(traces, QStringLiteral("RecordingResumed")), 1);
    const Probe p = ProbeFile(folder + QStringLiteral("Paused.wav"));
    ASSERT_TRUE(p.ok);
    EXPECT_GT(p.duration, 1.1);
    EXPECT_LT(p.duration, 1.9);  // 2.3 s went by, 0.9 s of them paused
    // The stop event clears both buttons and the elapsed time.
    EXPECT_FALSE(RecordButton(0).Checked());
    EXPECT_FALSE(S().main.rec[0].XPButtonPause.Checked());
    EXPECT_TRUE(S().main.rec[0].LabelChrono.text().isEmpty());
    // Resuming a stopped recorder is reported under its operation.
    Rec(0).Continue();
    EXPECT_EQ(StartingWith(TracesOf(0), QStringLiteral("Err: ")).filter("(RecorderResume)(Frm_Main:BtnPauseOn)").size(), 1);
}

TEST_F(RecordingTest, BlankNameCancelsTheStartWithoutRecording) {
    const QString folder = Folder(QStringLiteral("Blank"));
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QString());
    dialogs.saveAnswers = {QString()};  // the operator cancels the save dialog
    Record(0);
    EXPECT_EQ(dialogs.saveCalls, 1);
    EXPECT_FALSE(RecordButton(0).Checked());
    const QStringList traces = TracesOf(0);
    EXPECT_TRUE(traces.contains(QStringLiteral("XPButtonRecord.Checked: False |Sub: Frm_Main:BtnRecordOn")));
    EXPECT_TRUE(StartingWith(traces, QStringLiteral("Recording File:")).isEmpty());
    EXPECT_TRUE(StartingWith(traces, QStringLiteral("Err:")).isEmpty());
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusNone);
    platform::LetEventsRunFor(300);
    EXPECT_TRUE(FilesIn(folder).isEmpty());

    // A name made only of what cannot stay in a file name cancels as well.
    ::Setup().TexteFichierRecordPeripherique[0].setText(QStringLiteral(".."));
    Record(0, CommandOrigin::Contact);
    EXPECT_FALSE(RecordButton(0).Checked());
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusNone);
    EXPECT_TRUE(FilesIn(folder).isEmpty());
}

TEST_F(RecordingTest, PendingFilePathIsUsedOnceAndAnnouncedWithoutFolder) {
    const QString folder = Folder(QStringLiteral("Ordinary"));
    const QString planned = Folder(QStringLiteral("Planned"));
    QDir().mkpath(planned);
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Rec_<hh_mm_ss>"));
    Record(0, CommandOrigin::Planning, planned + QStringLiteral("Journal 0800.wav"));
    EXPECT_EQ(Rec(0).runtime().AnnouncedFilePath, QStringLiteral("Journal 0800.wav"));
    platform::LetEventsRunFor(500);
    Stop(0);
    EXPECT_TRUE(ProbeFile(planned + QStringLiteral("Journal 0800.wav")).ok);

    Rec(0).runtime().AnnouncedFilePath.clear();
    Record(0, CommandOrigin::Key);
    platform::LetEventsRunFor(500);
    Stop(0);
    EXPECT_EQ(FilesIn(folder), QStringList{QStringLiteral("Rec_10_20_30.wav")});
    EXPECT_EQ(Rec(0).runtime().AnnouncedFilePath, Rec(0).config().NetworkFolder + QStringLiteral("Rec_10_20_30.wav"));
    EXPECT_EQ(FilesIn(planned).size(), 1);
}

TEST_F(RecordingTest, NamesFromOutsideStayInsideTheDestinationFolder) {
    const QString folder = Folder(QStringLiteral("Inbox/Deep"));
    Prepare(0, 1, folder);
    const QStringList before = QDir(drive).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    // The peripheral file name of a contact start.
    ::Setup().TexteFichierRecordPeripherique[0].setText(QStringLiteral("../../escaped/one"));
    Record(0, CommandOrigin::Contact);
    platform::LetEventsRunFor(300);
    Stop(0);
    // A remote identifier given as the file name.
    RecordButton(0).setChecked(true);
    BtnRecordOn(0, QString(), QStringLiteral("..\\..\\..\\two/.."), QString());
    platform::LetEventsRunFor(300);
    Stop(0);

    for (const QString& line : StartingWith(TracesOf(0), QStringLiteral("Recording File: "))) {
        const QString path = line.mid(int(strlen("Recording File: ")));
        EXPECT_TRUE(path.startsWith(folder)) << path.toStdString();
        EXPECT_FALSE(path.mid(folder.size()).contains(QLatin1Char('/'))) << path.toStdString();
        EXPECT_EQ(QFileInfo(path).absolutePath() + "/", folder);
    }
    const QStringList files = FilesIn(folder);
    EXPECT_TRUE(files.contains(QStringLiteral("__escaped_one.wav"))) << files.join(",").toStdString();
    EXPECT_TRUE(files.contains(QStringLiteral("___two_.wav"))) << files.join(",").toStdString();
    EXPECT_EQ(QDir(drive).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    EXPECT_FALSE(QFileInfo::exists(drive + QStringLiteral("escaped")));

    // The label of a logging recorder.
    Prepare(1, 1, Folder(QStringLiteral("Pige")), QStringLiteral("../../Antenne"), true);
    Record(1);
    platform::LetEventsRunFor(300);
    Stop(1);
    EXPECT_EQ(FilesIn(Folder(QStringLiteral("Pige"))),
              QStringList{QStringLiteral("Pige Antenne 20240115_10_20_30.wav")});
}

TEST_F(RecordingTest, StopOfAnIdleRecorderIsSilentAndReportsTheFreeSpace) {
    Prepare(0, 1, Folder(QStringLiteral("Idle")));
    BtnStopOn(0);
    const QStringList traces = TracesOf(0);
    EXPECT_TRUE(StartingWith(traces, QStringLiteral("Err:")).isEmpty());
    EXPECT_TRUE(traces.contains(QStringLiteral("Recorder: Pipe stopped")));
    const FreeSpaceDisplay& space = ::Setup().FreeSpace[0];
    EXPECT_FALSE(space.LabelVolumeTotal.text().isEmpty());
    EXPECT_TRUE(traces.contains(QStringLiteral("Volume occupé: ") + space.LabelVolumeOccupe.text()));
    EXPECT_TRUE(traces.contains(QStringLiteral("Volume total: ") + space.LabelVolumeTotal.text()));
    ::Setup().CheckPigeAntenne[0].setChecked(true);
    BtnStopOn(0);
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("Pige: Pipe stopped")));
}

TEST_F(RecordingTest, EngineErrorsAreReportedWithTheirOperation) {
    Prepare(0, 1, Folder(QStringLiteral("Errors")));
    // No device selected.
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("NoDevice"));
    Rec(0).SetBoundDevice(-1);
    Record(0);
    EXPECT_TRUE(TracesOf(0).contains(
        QStringLiteral("Err: The input device is not valid (StartFromDirectSoundDevice)(Frm_Main:BtnRecordOn)")));
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusNone);
    EXPECT_TRUE(RecordButton(0).Checked());  // left as it was: the recording is still wanted
    EXPECT_TRUE(Trace().ListeIncidents.join(QStringLiteral("\n"))
                    .contains(QStringLiteral("Rec. 1: recording not started: The input device is not valid")));
    // A code without a message is reported by its number.
    AfficherErreurARS(-95, 0, 0, QStringLiteral("RecorderStop"), QStringLiteral("Frm_Main:BtnStopOn"));
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("Err: -95 (RecorderStop)(Frm_Main:BtnStopOn)")));
    // The operator's stop ends the wanted state, even with nothing recording.
    BtnStopOn(0);
    EXPECT_FALSE(RecordButton(0).Checked());
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("XPButtonRecord.Checked: False |Sub: Frm_Main:BtnStopOn")));
    // A stop that is not a normal end, on a recorder nothing wants recording
    // any more: reported, and the buttons cleared.
    S().main.rec[0].LabelChrono.setText(QStringLiteral("00:07"));
    emit Engine(0).RecordingStopped(0, 0);
    EXPECT_TRUE(TracesOf(0).contains(QStringLiteral("RecordingStopped, Err: ") + QString::number(Engine(0).LastError())));
    EXPECT_FALSE(RecordButton(0).Checked());
    EXPECT_TRUE(S().main.rec[0].LabelChrono.text().isEmpty());
    EXPECT_TRUE(TracesOf(0).contains(
        QStringLiteral("XPButtonRecord.Checked: False |Sub: Frm_Main:ActiveSoundRecorder1_RecordingStopped")));
}

TEST_F(RecordingTest, PlannedDurationEndsTheRecordingOnceItIsPassed) {
    const QString folder = Folder(QStringLiteral("Planned"));
    Prepare(0, 1, folder);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Planned"));
    Record(0);
    Rec(0).runtime().PlannedDuration = 600;
    Rec(0).runtime().PlannedPodcast = QStringLiteral("Flux Info");
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return !RecordButton(0).Checked(); }, 5000));
    platform::WaitInEventLoop([&] { return CountOf(TracesOf(0), "RecordingFinalizationDone") >= 1; }, 5000);
    const QStringList traces = TracesOf(0);
    EXPECT_EQ(CountOf(traces, QStringLiteral("Max duration reached: 600 ms")), 1);
    EXPECT_TRUE(traces.contains(
        QStringLiteral("XPButtonRecord.Checked: False |Sub: Frm_Main:ActiveSoundRecorder1_RecordingPosition")));
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 0);
    EXPECT_TRUE(Rec(0).runtime().PlannedPodcast.isEmpty());
    const Probe p = ProbeFile(folder + QStringLiteral("Planned.wav"));
    ASSERT_TRUE(p.ok);
    EXPECT_GT(p.duration, 0.55);
    EXPECT_LT(p.duration, 1.2);

    // No limit: the recording goes on.
    clock.advanceMs(1000);
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Unplanned"));
    Record(0);
    platform::LetEventsRunFor(1500);
    EXPECT_TRUE(RecordButton(0).Checked());
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusRecordingFile);
    EXPECT_EQ(CountOf(TracesOf(0), QStringLiteral("Max duration reached: 600 ms")), 1);
    Stop(0);
}

TEST_F(RecordingTest, AnyStopEndsThePlannedRecordingButNotTheOneThePlanningPrepares) {
    Prepare(0, 1, Folder(QStringLiteral("Stops")));
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Take"));
    Record(0);
    Rec(0).runtime().PlannedDuration = 3600000;
    Rec(0).runtime().PlannedPodcast = QStringLiteral("Flux");
    platform::LetEventsRunFor(300);
    Stop(0);  // the operator
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 0);
    EXPECT_TRUE(Rec(0).runtime().PlannedPodcast.isEmpty());

    // The planning's start stops the recorder first: its duration comes with
    // its request and belongs to the new recording.
    Record(0);
    Rec(0).runtime().PlannedPodcast = QStringLiteral("Flux");
    platform::LetEventsRunFor(300);
    Rec(0).Stop(StopReason::Planning);
    StartRequest planned;
    planned.Origin = CommandOrigin::Planning;
    planned.DurationMs = 3600000;
    planned.Podcast = QStringLiteral("Flux");
    ASSERT_TRUE(Rec(0).Start(planned).Accepted);
    EXPECT_EQ(Rec(0).runtime().PlannedPodcast, QStringLiteral("Flux"));
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 3600000);
    Stop(0);

    // The engine's own end of the recording.
    Rec(0).runtime().PlannedDuration = 5000;
    emit Engine(0).RecordingStopped(0, 1);
    EXPECT_EQ(Rec(0).runtime().PlannedDuration, 0);
    EXPECT_TRUE(Rec(0).runtime().PlannedPodcast.isEmpty());
}

TEST_F(RecordingTest, ElapsedTimeShowsMinutesAndSeconds) {
    emit Engine(0).RecordingPosition(0, 83456);
    EXPECT_EQ(S().main.rec[0].LabelChrono.text(), QStringLiteral("01:23"));
    emit Engine(0).RecordingPosition(0, 6000000 + 7000);
    EXPECT_EQ(S().main.rec[0].LabelChrono.text(), QStringLiteral("100:07"));
}

TEST_F(RecordingTest, FileNameByKindOfRecorderAndOriginOfTheStart) {
    Prepare(0, 2, Folder(QStringLiteral("Names")));
    QString folder = Rec(0).config().RecordFolder;
    // Automatic starts: the recorder's text, or the date pattern.
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("  Chronique <dd>  "));
    EXPECT_EQ(Rec(0).NextFileName(folder, true, CommandOrigin::Udp), QStringLiteral("Chronique <dd>"));
    ::Setup().TexteNomFichier[0].setText(QString());
    EXPECT_EQ(Rec(0).NextFileName(folder, true, CommandOrigin::Udp), QStringLiteral("<yyyyMMdd_hh_mm_ss>"));
    // Manual start with a text and no question: the text.
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Emission"));
    EXPECT_EQ(DetermineNomFichier(0, folder, true), QStringLiteral("Emission"));
    EXPECT_EQ(dialogs.saveCalls, 0);
    // The question asked at each recording, when the operator may not be asked.
    ::Setup().CheckNomFichier[0].setChecked(true);
    EXPECT_EQ(DetermineNomFichier(0, folder, false), QString());
    // The save dialog: existing file, the operator refuses, then chooses another.
    const QString other = Folder(QStringLiteral("Other"));
    QDir().mkpath(other);
    QFile(other + "Exists.mp3").open(QIODevice::WriteOnly);
    dialogs.saveAnswers = {other + "Exists.mp3", other + "Exists.mp3", other + "New.mp3"};
    dialogs.messageAnswers = {MsgNo, MsgYes};
    ::Setup().TexteNomFichier[0].setText(QString());
    EXPECT_EQ(DetermineNomFichier(0, folder, true), QStringLiteral("Exists"));
    EXPECT_EQ(dialogs.saveCalls, 2);
    EXPECT_EQ(dialogs.messages, QStringList(2, QStringLiteral("Fichier existant. Voulez-vous l'écraser ?")));
    EXPECT_EQ(folder, other);
    EXPECT_EQ(dialogs.lastFilter, QStringLiteral("mp3|*.mp3;"));
    EXPECT_EQ(dialogs.lastProposed, QStringLiteral("lundi 15 janvier 2024 10H 20Min 30Sec"));
    // Logging recorder and recorder without file.
    ::Setup().CheckPigeAntenne[0].setChecked(true);
    EXPECT_EQ(DetermineNomFichier(0, folder, true), QStringLiteral("Pige Antenne <yyyyMMdd_hh_mm_ss>"));
    ::Setup().TexteLibelleRecorder[0].setText(QStringLiteral(" Studio 2 "));
    EXPECT_EQ(::Setup().TexteNomFichier[0].text(), QStringLiteral("Pige Studio 2 <yyyyMMdd_hh_mm_ss>"));
    // (A recorder without file is no longer a setting of its own.)
}

TEST_F(RecordingTest, LabelChangeKeepsTheTextOfARecorderThatAsksForItsName) {
    Prepare(0, 1, Folder(QStringLiteral("Ask")));
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Magazine <dd>"));
    ::Setup().CheckNomFichier[0].setChecked(true);
    ::Setup().TexteLibelleRecorder[0].setText(QStringLiteral("Studio"));
    EXPECT_EQ(::Setup().TexteNomFichier[0].text(), QStringLiteral("Magazine <dd>"));
    EXPECT_EQ(dialogs.saveCalls, 0);
}

TEST_F(RecordingTest, FinishedRecordingAppearsInItsHistoryGridAtOnce) {
    const QString folder = Folder(QStringLiteral("Grid"));
    Prepare(0, 1, folder);
    SelectQuality(0, QStringLiteral("44100"));
    ::Setup().TexteNomFichier[0].setText(QStringLiteral("Take_<hh_mm_ss>"));
    InitAffichageHisto(0);
    EXPECT_EQ(MSFlexGridHisto(0).rowCount(), 0);
    Record(0, CommandOrigin::Key);
    platform::LetEventsRunFor(300);
    Stop(0);
    const HistoryGrid& grid = MSFlexGridHisto(0);
    ASSERT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.cell(0, kHistoColumnName), QStringLiteral("Take_10_20_30.wav"));
    EXPECT_EQ(grid.cell(0, kHistoColumnPath), folder + QStringLiteral("Take_10_20_30.wav"));
}
