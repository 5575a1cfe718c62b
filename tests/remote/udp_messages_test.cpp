// The command interpreter on real recorders (the capture engine's test tone):
// starts, pauses and stops named by the messages, files named after the ids,
// notifications received by a peer, the waits and their bounds.
#include "ui/setup/setup_pages.h"
#include "core/main_window_state.h"
#include "core/recording_fixture.h"
#include "remote/serial_link.h"
#include "support/app_globals.h"
#include "support/ini.h"
#include "tests/remote/pty_pair.h"
#include "udp_test_util.h"

#include "support/errors.h"

#include <QRegularExpression>
#include <QElapsedTimer>
#include <QTimer>

using namespace udptest;

namespace {

TEST(ExtraireBalise, FindsTheFirstValueOfATagWithoutRegardToCase) {
    EXPECT_EQ(ExtraireBalise("<A:1><B:2>", "<b:"), "2");
    EXPECT_EQ(ExtraireBalise("<Record:Start><Recorder:1>", "<Record:"), "Start");
    EXPECT_EQ(ExtraireBalise("<Record:Start><Recorder:1>", "<Recorder:"), "1");
    EXPECT_EQ(ExtraireBalise("x<SongId:1><SongId:2>", "<SongId:"), "1");
    EXPECT_EQ(ExtraireBalise("<SongId:>", "<SongId:"), "");
    EXPECT_EQ(ExtraireBalise("<Record: Start >", "<Record:"), " Start ");
    EXPECT_EQ(ExtraireBalise("<Record:Start", "<Record:"), "") << "a tag without its closing \">\"";
    EXPECT_EQ(ExtraireBalise("   ", "<Record:"), "");
    EXPECT_EQ(ExtraireBalise("<Record:Start>", "<Recorder:"), "");
    EXPECT_EQ(ExtraireBalise("<SongId:5>", "<Song:"), "") << "an alias is another tag";
    EXPECT_EQ(ExtraireBalise("<a:>b>", "<a:>"), "") << "the \">\" of the tag itself closes it";
    EXPECT_EQ(ExtraireBalise("<a:b>", "<a:b>c"), "");
}

class UdpCommand : public h5b::RecorderFixture {
protected:
    QString folder;
    QString home = RandomLoopback();

    void SetUp() override {
        RecorderFixture::SetUp();
        if (HasFatalFailure()) return;
        SetClock(nullptr);  // the waits run on real time unless a test says otherwise
        FreshUdp();
        MainState().StartupDone = true;
        folder = Folder("Rec1");
        Prepare(0, 1, folder);
        FrmSetupControls& c = ::Setup();
        c.CheckRecord128.setChecked(false);
        QStringList entries;
        for (int n = 0; n <= 9; ++n) entries << QString("0%1").arg(n);
        for (int i = 0; i < kRecorders; ++i) {
            c.ComboEmissionUDPPodcaster[i].setEntries(entries);
            c.ComboEmissionUDPPodcaster[i].setListIndex(0);
            c.ComboEmissionUDPConvertir[i].setEntries(entries);
            c.ComboEmissionUDPConvertir[i].setListIndex(0);
        }
    }
    void TearDown() override {
        for (int i = 0; i < 2; ++i)
            if (RecorderEngineRecording(i)) Stop(i);
        ResetUdpRemote();
        RecorderFixture::TearDown();
    }

    // A message of line `line`, interpreted to its end (its waits run on the
    // line's own timer while events go on).
    void Message(const QString& m, int line = 0) {
        PutInInbox(line, m);
        platform::WaitInEventLoop([line] { return !UdpCommands().InProcess[size_t(line)]; }, 20000);
    }
    int Closed() { return int(TextsWith("RecordingFinalizationDone").size()); }
    // Notifications of recorder 1 to a peer through target 2 (list entry "03").
    void NotifyTo(const Peer& peer, bool podcast = true, bool convert = true) {
        SetTarget(2, peer.address(), peer.port());
        FrmSetupControls& c = ::Setup();
        c.CheckUDPPodcaster[0].setChecked(podcast);
        c.ComboEmissionUDPPodcaster[0].setListIndex(3);
        c.CheckUDPConvertir[0].setChecked(convert);
        c.ComboEmissionUDPConvertir[0].setListIndex(3);
    }
    bool Recording(int i) { return RecorderEngineRecording(i); }
    void ExpectIdle() {
        EXPECT_FALSE(UdpCommands().InProcess[0]);
        EXPECT_FALSE(UdpCommands().InProcess[1]);
    }
};

TEST_F(UdpCommand, DatagramStartsARecordingNamedAfterTheSongAndTheStopAnnouncesTheFile) {
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port));
    Peer automation(RandomLoopback());
    Peer services(RandomLoopback());
    NotifyTo(services);

    automation.send(home, port, QString("<Record:Start><SongId:12345><Recorder:1>"));
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Recording(0); }, 5000));
    const QString file = folder + "12345.wav";
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(S().main.rec[0].XPButtonRecord.Checked());
    EXPECT_EQ(UdpCommands().PvSSongId[0], "12345");
    EXPECT_TRUE(UdpCommands().PvSArticleId[0].isEmpty());
    EXPECT_EQ(Rec(0).runtime().AnnouncedFilePath, file);
    const QStringList checked = LinesWith("XPButtonRecord.Checked: True |Sub: FrmSetup:LabelDataArrivalUDP_Change");
    ASSERT_EQ(checked.size(), 1);
    EXPECT_EQ(ColumnsOf(checked[0]), " :0: :");
    EXPECT_EQ(TextsWith("PvSSongId set to: 12345").size(), 1);
    EXPECT_EQ(TextsWith("UDP: LabelDataArrivalUDP_Change: Action: Start |Recorder: 1 |SongId: 12345 |ArticleId:  "
                        "|AConvertir:  |ASC82Plus: ").size(), 1);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return !UdpCommands().InProcess[0]; }, 2000));
    ExpectIdle();

    platform::LetEventsRunFor(1000);
    automation.send(home, port, QString("<Record:Stop><Recorder:1>"));
    ASSERT_TRUE(services.waitFor(2, 15000));
    EXPECT_EQ(services.received()[0], "<Do:Podcast><SongId:12345><SoundFile:" + file + ">");
    EXPECT_EQ(services.received()[1], "<Do:Convert><SongId:12345><SoundFile:" + file + ">");
    // The services are told once the file is complete.
    EXPECT_GE(Closed(), 1);
    EXPECT_FALSE(Recording(0));
    const h5b::Probe p = h5b::ProbeFile(file);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.codec, "pcm_s16le");
    EXPECT_GT(p.duration, 0.8);

    const QStringList podcast = LinesWith("UDP: CheckUDPPodcaster: 1");
    ASSERT_EQ(podcast.size(), 1);
    EXPECT_EQ(ColumnsOf(podcast[0]), "0:0: :");
    const QString target = services.address() + ":" + QString::number(services.port());
    for (const QString& t : {QString("UDP: ComboEmissionUDPPodcaster(NoPipe).ListIndex: 3"),
                             "UDP: Idx: 2: " + target, "UDP: Adresse:NoPort: " + target, QString("UDP: PvSArticleId: "),
                             QString("UDP: PvSSongId: 12345"),
                             "UDP: MsgUDP: <Do:Podcast><SongId:12345><SoundFile:" + file + ">",
                             "UDP: Send to: " + target + " <Do:Podcast><SongId:12345><SoundFile:" + file + ">",
                             QString("UDP: CheckUDPConvertir: 1"),
                             "UDP: Send to: " + target + " <Do:Convert><SongId:12345><SoundFile:" + file + ">"})
        EXPECT_EQ(Texts().count(t), 1) << t.toStdString();
    // The conversion writes only its first and last lines.
    EXPECT_EQ(TextsWith("UDP: Idx: ").size(), 1);
    EXPECT_EQ(TextsWith("UDP: MsgUDP: ").size(), 1);
    // The ids stay for the notifications of a later stop.
    EXPECT_EQ(UdpCommands().PvSSongId[0], "12345");
}

TEST_F(UdpCommand, TheStopAnnouncesTheRecordingItStoppedNotTheNextOne) {
    Peer services(RandomLoopback());
    NotifyTo(services);
    Message("<Record:Start><Recorder:1><ArticleId:FIRST>");
    ASSERT_TRUE(Recording(0));
    const QString first = folder + "FIRST.wav";
    platform::LetEventsRunFor(500);
    // While the stop waits for the file to be closed, another system starts
    // the recorder again (another input line: events run during the wait).
    bool restarted = false;
    QObject context;
    QObject::connect(&Engine(0), &platform::ActiveSoundRecorder::RecordingStopped, &context, [&](int, int) {
        if (restarted) return;
        restarted = true;
        QTimer::singleShot(0, [&] { Message("<Record:Start><Recorder:1><SongId:SECOND>", 1); });
    });
    Message("<Record:Stop><Recorder:1>");
    ASSERT_TRUE(restarted);
    ASSERT_TRUE(services.waitFor(2, 15000));
    EXPECT_EQ(services.received()[0], "<Do:Podcast><ArticleId:FIRST><SoundFile:" + first + ">");
    EXPECT_EQ(services.received()[1], "<Do:Convert><ArticleId:FIRST><SoundFile:" + first + ">");
    EXPECT_EQ(TextsWith("UDP: PvSArticleId: FIRST").size(), 1);
    EXPECT_EQ(TextsWith("UDP: PvSSongId: ").size(), 1);
    EXPECT_TRUE(TextsWith("UDP: PvSSongId: SECOND").isEmpty());
    // The second recording runs on, with its own ids for its own stop.
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Recording(0); }, 3000));
    EXPECT_EQ(UdpCommands().PvSSongId[0], "SECOND");
    EXPECT_EQ(Rec(0).runtime().AnnouncedFilePath, folder + "SECOND.wav");
    platform::LetEventsRunFor(300);
    Message("<Record:Stop><Recorder:1>");
    ASSERT_TRUE(services.waitFor(4, 15000));
    EXPECT_EQ(services.received()[2], "<Do:Podcast><SongId:SECOND><SoundFile:" + folder + "SECOND.wav>");
    EXPECT_TRUE(h5b::ProbeFile(first).ok);
}

TEST_F(UdpCommand, BothIdsTheArticleNamesTheFileAndTheOptionForces128Kbits) {
    Peer services(RandomLoopback());
    NotifyTo(services, true, false);
    ::Setup().CheckRecord128.setChecked(true);
    Message("<Record:Start><Recorder:1><SongId:SONG1><ArticleId:ART1>");
    EXPECT_TRUE(Recording(0));
    EXPECT_EQ(UdpCommands().PvSArticleId[0], "ART1");
    EXPECT_TRUE(UdpCommands().PvSSongId[0].isEmpty());
    EXPECT_EQ(TextsWith("ArticleId set to: ART1").size(), 1);
    ExpectIdle();
    platform::LetEventsRunFor(1000);
    Message("<Record:Off><Recorder:1>");
    ASSERT_TRUE(services.waitFor(1, 5000));
    platform::LetEventsRunFor(100);
    EXPECT_EQ(services.received(), QStringList({"<Do:Podcast><ArticleId:ART1><SoundFile:" + folder + "ART1.mp3>"}));
    const h5b::Probe p = h5b::ProbeFile(folder + "ART1.mp3");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.codec, "mp3");
    EXPECT_EQ(p.bitRate, 128000);
    EXPECT_FALSE(QFileInfo::exists(folder + "SONG1.wav"));
}

TEST_F(UdpCommand, TagsAndActionsIgnoreCaseButABlankMakesAnUnknownAction) {
    Message("<record:on><recorder:1><song:low>");
    EXPECT_TRUE(Recording(0));
    EXPECT_TRUE(QFileInfo::exists(folder + "low.wav"));
    Message("<Record: Stop><Recorder:1>");
    EXPECT_EQ(TextsWith("UDP: Unknow action:  Stop").size(), 1);
    EXPECT_TRUE(Recording(0));
    Message("<RECORD:STOP><RECORDER:1>");
    platform::WaitInEventLoop([&] { return !Recording(0); }, 3000);
    EXPECT_FALSE(Recording(0));
    ExpectIdle();
}

TEST_F(UdpCommand, TwoPausesToggleThePause) {
    Message("<Record:Start><Recorder:1><SongId:paused>");
    ASSERT_TRUE(Recording(0));
    Message("<Record:Pause><Recorder:1>");
    EXPECT_TRUE(S().main.rec[0].XPButtonPause.Checked());
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !TextsWith("RecordingPaused").isEmpty(); }, 3000));
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusPaused);
    Message("<Record:Pause><Recorder:1>");
    EXPECT_FALSE(S().main.rec[0].XPButtonPause.Checked());
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !TextsWith("RecordingResumed").isEmpty(); }, 3000));
    EXPECT_EQ(Engine(0).RecorderStatus(), platform::StatusRecordingFile);
    ExpectIdle();
}

TEST_F(UdpCommand, StartOfARecordingRecorderChangesNothing) {
    Message("<Record:Start><Recorder:1><SongId:first>");
    ASSERT_TRUE(Recording(0));
    const QString announced = Rec(0).runtime().AnnouncedFilePath;
    Message("<Record:Start><Recorder:1><SongId:second>");
    const QStringList err = LinesWith("Err: Record already started: No action");
    ASSERT_EQ(err.size(), 1);
    EXPECT_EQ(ColumnsOf(err[0]), "0:0: :");
    EXPECT_EQ(UdpCommands().PvSSongId[0], "first");
    EXPECT_EQ(Rec(0).runtime().AnnouncedFilePath, announced);
    EXPECT_FALSE(QFileInfo::exists(folder + "second.wav"));
}

TEST_F(UdpCommand, RecorderNumbersThatNameNoRecorderActOnNone) {
    for (const QString& number : {QString("9"), QString("99"), QString("-1")}) {
        SCOPED_TRACE(number.toStdString());
        const int before = int(Trace().ListeIncidents.size());
        Message("<Record:Start><SongId:nine><Recorder:" + number + ">");
        for (int i = 0; i < kRecorders; ++i) EXPECT_FALSE(S().main.rec[i].XPButtonRecord.Checked()) << i;
        EXPECT_FALSE(Recording(0));
        EXPECT_FALSE(Recording(1));
        const QStringList incidents = Trace().ListeIncidents.mid(before).filter(
            "Err:9 (Subscript out of range: Recorder: " + number + " is not a recorder (1 to 8): no action)");
        EXPECT_EQ(incidents.size(), 1) << Trace().ListeIncidents.join("\n").toStdString();
        ExpectIdle();
    }
    EXPECT_TRUE(FilesIn(folder).isEmpty());
    EXPECT_TRUE(UdpCommands().PvSSongId[0].isEmpty());
    // 0 and a text that is no number designate recorder 1.
    Message("<Record:Pause><Recorder:0>");
    EXPECT_TRUE(S().main.rec[0].XPButtonPause.Checked());
    Message("<Record:Pause><Recorder:x>");
    EXPECT_FALSE(S().main.rec[0].XPButtonPause.Checked());
}

TEST_F(UdpCommand, ARecorderOutOfServiceIsNeitherStartedNorAnnounced) {
    Peer services(RandomLoopback());
    NotifyTo(services);
    // Two recorders in service: recorder 5 has no capture.
    ::Setup().CheckUDPPodcaster[4].setChecked(true);
    ::Setup().ComboEmissionUDPPodcaster[4].setListIndex(3);
    const int before = int(Trace().ListeIncidents.size());
    Message("<Record:Start><SongId:ghost><Recorder:5>");
    EXPECT_FALSE(S().main.rec[4].XPButtonRecord.Checked()) << "no wanted recording left behind";
    EXPECT_TRUE(UdpCommands().PvSSongId[4].isEmpty());
    Message("<Record:Stop><Recorder:5>");
    EXPECT_EQ(Trace().ListeIncidents.mid(before).filter("Recorder: 5 is not in service: no action").size(), 2);
    EXPECT_TRUE(TextsWith("UDP: CheckUDPPodcaster").isEmpty());
    platform::LetEventsRunFor(300);
    EXPECT_TRUE(services.received().isEmpty());
    ExpectIdle();
}

TEST_F(UdpCommand, AStartThatMadeNoFileIsNotAnnouncedAtItsStop) {
    Peer services(RandomLoopback());
    NotifyTo(services);
    // The recorder's folder cannot be made (a file stands in its way).
    const QString blocked = drive + "blocked";
    QFile f(blocked);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    Prepare(0, 1, blocked + "/Rec1/");
    Message("<Record:Start><SongId:nofile><Recorder:1>");
    EXPECT_FALSE(Recording(0));
    EXPECT_TRUE(Rec(0).runtime().AnnouncedFilePath.isEmpty());
    Message("<Record:Stop><Recorder:1>");
    EXPECT_EQ(TextsWith("Err: UDP: No recording file to announce: not sent to ").size(), 2)
        << Texts().join("\n").toStdString();
    platform::LetEventsRunFor(300);
    EXPECT_TRUE(services.received().isEmpty()) << services.received().join(" | ").toStdString();
    ExpectIdle();
}

TEST_F(UdpCommand, RecorderWithoutActionOnlyTracesTheMessage) {
    Trace().ListeLogTemp.clear();
    Trace().ListeLog.clear();
    Message("<Recorder:1><SongId:nothing>");
    const QStringList texts = Texts();
    const QString frame(QString("UDP: LabelDataArrivalUDP_Change: Start: |Data: <Recorder:1><SongId:nothing>").size(), '=');
    ASSERT_EQ(texts.size(), 8) << texts.join("\n").toStdString();
    EXPECT_EQ(texts[0], frame);
    EXPECT_EQ(texts[1], "UDP: LabelDataArrivalUDP_Change: Start: |Data: <Recorder:1><SongId:nothing>");
    EXPECT_EQ(texts[3], "UDP: Receipt: <Recorder:1><SongId:nothing>");
    EXPECT_TRUE(texts[4].startsWith("UDP: LabelDataArrivalUDP_Change: Action:  |Recorder: 1 |SongId: nothing"));
    EXPECT_EQ(texts[6], "UDP: LabelDataArrivalUDP_Change: End: |Data: <Recorder:1><SongId:nothing>");
    EXPECT_FALSE(Recording(0));
    // An action without a recorder is traced and not carried out.
    Message("<Record:Start><SongId:nobody>");
    EXPECT_EQ(TextsWith("UDP: Action: Start").size(), 1);
    EXPECT_FALSE(Recording(0));
    EXPECT_TRUE(TextsWith("Unknow action").isEmpty());
}

TEST_F(UdpCommand, IdentifiersNeverLeadOutOfTheRecordersFolder) {
    const QString longId = QString(300, QChar(0x00E9));  // 600 bytes in UTF-8
    const QList<QPair<QString, QString>> cases = {
        {"../../escape", "__escape.wav"},
        {"a/b\\c", "a_b_c.wav"},
        {QString("nul") + QChar(0) + "x", "nulx.wav"},
        {QString("ctl\x01\x1f\x7f") + "x", "ctlx.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second.toStdString());
        Message("<Record:Start><Recorder:1><SongId:" + c.first + ">");
        ASSERT_TRUE(Recording(0));
        EXPECT_TRUE(QFileInfo::exists(folder + c.second)) << FilesIn(folder).join(" | ").toStdString();
        EXPECT_EQ(Rec(0).runtime().AnnouncedFilePath, folder + c.second);
        Stop(0);
    }
    Message("<Record:Start><Recorder:1><ArticleId:" + longId + ">");
    ASSERT_TRUE(Recording(0));
    const QString longName = QFileInfo(Rec(0).runtime().AnnouncedFilePath).fileName();
    EXPECT_TRUE(longName.endsWith(".wav"));
    EXPECT_LE(longName.toUtf8().size(), 255);
    EXPECT_GT(longName.toUtf8().size(), 250);
    EXPECT_TRUE(QFileInfo::exists(folder + longName));
    Stop(0);
    // An id with nothing usable keeps the recorder's own naming rule.
    Message("<Record:Start><Recorder:1><SongId:..>");
    ASSERT_TRUE(Recording(0));
    EXPECT_EQ(TextsWith("File name given has no usable character: recorder's own name kept: ").size(), 1);
    const QString fallback = QFileInfo(Rec(0).runtime().AnnouncedFilePath).fileName();
    EXPECT_TRUE(QRegularExpression("^\\d{8}_\\d{2}_\\d{2}_\\d{2}\\.wav$").match(fallback).hasMatch()) << fallback.toStdString();
    EXPECT_EQ(UdpCommands().PvSSongId[0], "..");
    Stop(0);
    // Everything stayed in the folder; nothing was written beside it.
    EXPECT_EQ(FilesIn(folder).size(), cases.size() + 2);
    EXPECT_EQ(QDir(drive).entryList(QDir::Files), QStringList());
    EXPECT_FALSE(QFileInfo::exists(drive + "escape.wav"));
}

TEST_F(UdpCommand, StopAfterWaitDurationLeavesTheProgramResponsive) {
    Message("<Record:Start><Recorder:1><SongId:wait>");
    ASSERT_TRUE(Recording(0));
    int ticks = 0;
    bool recordingMeanwhile = false;
    QTimer meter;
    QObject::connect(&meter, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 20) recordingMeanwhile = Recording(0);
    });
    meter.start(50);
    const qint64 before = CurrentClock().tickMs();  // the clock of the wait
    Message("<Record:Stop><Recorder:1><WaitDuration:1500>");
    const qint64 took = CurrentClock().tickMs() - before;
    meter.stop();
    EXPECT_GE(took, 1500);
    EXPECT_LT(took, 4000);
    EXPECT_GE(ticks, 25) << "events ran during the wait";
    EXPECT_TRUE(recordingMeanwhile) << "the recorder went on recording during the wait";
    EXPECT_FALSE(Recording(0));
    const QStringList texts = Texts();
    const int end = int(texts.indexOf(
        "UDP: LabelDataArrivalUDP_Change: WaitDuration: 1500 ms |End |Sub: FrmSetup:LabelDataArrivalUDP_Change"));
    const int stopped = int(texts.indexOf("Recorder: Pipe stopped"));
    ASSERT_GE(end, 0);
    EXPECT_GT(stopped, end);
    EXPECT_EQ(texts.count("UDP: LabelDataArrivalUDP_Change: WaitDuration: 1500 ms |Start |Sub: "
                          "FrmSetup:LabelDataArrivalUDP_Change"), 1);
}

TEST_F(UdpCommand, ALineThatWaitsNeverHoldsUpAnotherLine) {
    // Recorder 2 records; line 2 stops it (its notifications wait for the
    // file to close); line 0 then asks recorder 1 to start in 30 s; a new
    // start of recorder 2 on line 2 must not wait for line 0's 30 s.
    Prepare(1, 1, Folder("Rec2"), "Studio");
    PutInInbox(2, "<Record:Start><Recorder:2><SongId:first>");
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !UdpCommands().InProcess[2]; }, 5000));
    ASSERT_TRUE(Recording(1));
    platform::LetEventsRunFor(500);
    PutInInbox(2, "<Record:Stop><Recorder:2>");
    QTimer::singleShot(100, [] { PutInInbox(0, "<Record:Start><Recorder:1><SongId:later><WaitDuration:30000>"); });
    platform::LetEventsRunFor(300);
    ASSERT_TRUE(UdpCommands().InProcess[0]) << "line 0 waits its 30 s";
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !UdpCommands().InProcess[2]; }, 5000)) << "line 2's stop ends";
    QElapsedTimer sent;
    sent.start();
    PutInInbox(2, "<Record:Start><Recorder:2><SongId:second>");
    ASSERT_TRUE(platform::WaitInEventLoop([this] { return Recording(1); }, 5000));
    EXPECT_LT(sent.elapsed(), 1000) << "the start on line 2 reached its recorder within a second";
    EXPECT_TRUE(UdpCommands().InProcess[0]) << "line 0 still waits";
    EXPECT_FALSE(Recording(0));
    EXPECT_TRUE(QFileInfo::exists(Folder("Rec2") + "second.wav"));
    ResetUdpRemote();  // line 0's wait is given up with the test
}

TEST_F(UdpCommand, WaitDurationIsBoundedToTenMinutes) {
    FastClock fast(10000);
    ScopedClock scoped(&fast);
    const qint64 start = fast.tickMs();
    QElapsedTimer real;
    real.start();
    Message("<Record:Start><WaitDuration:86400000>");  // a day, and no recorder
    const qint64 waited = fast.tickMs() - start;
    EXPECT_GE(waited, 600000);
    EXPECT_LT(waited, 86400000);
    EXPECT_LT(real.elapsed(), 5000);
    const QStringList cut = LinesWith("UDP: LabelDataArrivalUDP_Change: WaitDuration: 86400000 ms is too long: cut to 600000 ms");
    ASSERT_EQ(cut.size(), 1);
    EXPECT_EQ(ColumnsOf(cut[0]), "0: : :");
    EXPECT_EQ(TextsWith("WaitDuration: 600000 ms |Start").size(), 1);
    EXPECT_EQ(TextsWith("WaitDuration: 600000 ms |End").size(), 1);
}

TEST_F(UdpCommand, SecondMessageOfABusyLineWaitsForTheFirstAndNothingWaitsNested) {
    FastClock fast(100);  // 60 000 ms of the clock pass in 600 ms
    ScopedClock scoped(&fast);
    qint64 pressed = 0, returned = 0;
    // During the first message's wait, the operator presses the Stop test button.
    QTimer::singleShot(100, [&] {
        pressed = fast.tickMs();
        CommandTestUDP_Click(1);
        returned = fast.tickMs();
    });
    PutInInbox(0, "<Record:Start><Recorder:1><SongId:busy><WaitDuration:60000>");
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return pressed > 0; }, 5000));
    EXPECT_LT(returned - pressed, 1000) << "the button never waits for the busy line";
    EXPECT_TRUE(TextsWith("UDP: Receipt: <Record:Stop>").isEmpty()) << "the second waits in the line's queue";
    // The first message goes on, then the second.
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !TextsWith("UDP: Receipt: <Record:Stop>").isEmpty(); }, 10000));
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !UdpCommands().InProcess[0]; }, 10000));
    const QStringList texts = Texts();
    EXPECT_LT(texts.indexOf(QRegularExpression(".*WaitDuration: 60000 ms \\|End.*")),
              texts.indexOf("UDP: Receipt: <Record:Stop><Recorder:1>"));
    EXPECT_TRUE(QFileInfo::exists(folder + "busy.wav"));
    EXPECT_FALSE(Recording(0)) << "the stop came after the start";
    ExpectIdle();
}

TEST_F(UdpCommand, ClosingTheProgramEndsAWaitWithoutItsAction) {
    // The system ends the program while a start waits a minute.
    QTimer::singleShot(200, [] { MainState().UnloadStarted = true; });
    QElapsedTimer elapsed;
    elapsed.start();
    Message("<Record:Start><Recorder:1><SongId:late><WaitDuration:60000>");
    const qint64 took = elapsed.elapsed();
    MainState().UnloadStarted = false;
    EXPECT_LT(took, 3000);
    EXPECT_FALSE(Recording(0));
    EXPECT_FALSE(QFileInfo::exists(folder + "late.wav"));
    EXPECT_EQ(TextsWith("UDP: LabelDataArrivalUDP_Change: the program is closing: no action").size(), 1);
    ExpectIdle();
}

TEST_F(UdpCommand, NotificationsAreSkippedWithTheirTracesOnly) {
    Peer services(RandomLoopback());
    Message("<Record:Start><Recorder:1><SongId:quiet>");
    ASSERT_TRUE(Recording(0));
    // Options off.
    NotifyTo(services, false, false);
    Message("<Record:Stop><Recorder:1>");
    EXPECT_EQ(TextsWith("UDP: CheckUDPPodcaster: 0").size(), 1);
    EXPECT_EQ(TextsWith("UDP: CheckUDPConvertir: 0").size(), 1);
    EXPECT_TRUE(TextsWith("UDP: ComboEmissionUDPPodcaster").isEmpty());
    // No target chosen.
    NotifyTo(services);
    ::Setup().ComboEmissionUDPPodcaster[0].setListIndex(0);
    ::Setup().ComboEmissionUDPConvertir[0].setListIndex(0);
    Message("<Record:Stop><Recorder:1>");
    EXPECT_EQ(TextsWith("UDP: ComboEmissionUDPPodcaster(NoPipe).ListIndex: 0").size(), 1);
    EXPECT_TRUE(TextsWith("UDP: Idx:").isEmpty());
    // A target without address.
    NotifyTo(services);
    ::Setup().TexteUDPIPCible[2].setText(" ");
    Message("<Record:Stop><Recorder:1>");
    EXPECT_EQ(TextsWith("UDP: Idx: 2: :" + QString::number(services.port())).size(), 1);
    EXPECT_TRUE(TextsWith("UDP: Adresse:NoPort:").isEmpty());
    // A recorder with neither id.
    UdpCommands().PvSSongId[0].clear();
    NotifyTo(services);
    Message("<Record:Stop><Recorder:1>");
    EXPECT_EQ(Texts().count("UDP: MsgUDP: "), 1);
    EXPECT_TRUE(TextsWith("UDP: Send to:").isEmpty());
    platform::LetEventsRunFor(100);
    EXPECT_TRUE(services.received().isEmpty());
}

TEST_F(UdpCommand, TestButtonsStartAndStopRecorderOne) {
    CommandTestUDP_Click(0);
    ASSERT_TRUE(Recording(0));
    EXPECT_TRUE(QFileInfo::exists(folder + "ART00009.wav"));
    CommandTestUDP_Click(1);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return !Recording(0); }, 3000));
    Command_Click();
    ASSERT_TRUE(Recording(0));
    EXPECT_TRUE(QFileInfo::exists(folder + "99999999.wav"));
    Command1_Click();
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return !Recording(0); }, 3000));
    EXPECT_EQ(UdpCommands().PvSSongId[0], "99999999");
}

TEST_F(UdpCommand, SerialCommandAloneGoesToTheSwitchersPort) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready());
    ASSERT_TRUE(pty.openPeer());
    // The switcher on port 3, as the settings file names it.
    App().ApplicationFolder = DefaultRoot();
    App().UseDefaultRoot = true;
    ResetIniCache();
    const QString ini = NomFichierSettings(".Ini", "");
    QDir().mkpath(QFileInfo(ini).absolutePath());
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("[PortCOM]\r\nActif=1\r\nNoPort=2\r\nDevice_3=" + pty.a + "\r\n").toUtf8());
    f.close();
    ResetSerialLink();
    InstallSerialPage();
    InitGeneralPortCOM();
    ASSERT_TRUE(SerialPortOpen());

    Message("<ASC82Plus:SW 03 IN 2>");
    EXPECT_EQ(pty.peerRead("\r\n", 3000), QByteArray("SW 03 IN 2\r\n"));
    const QStringList texts = Texts();
    const int toSend = int(texts.indexOf("COM: Data to send: SW 03 IN 2"));
    const int sent = int(texts.indexOf("UDP: LabelDataArrivalUDP_Change: COM: Data sended: SW 03 IN 2"));
    const int end = int(texts.indexOf("UDP: LabelDataArrivalUDP_Change: End: |Data: <ASC82Plus:SW 03 IN 2>"));
    ASSERT_GE(toSend, 0);
    EXPECT_GT(sent, toSend);
    EXPECT_GT(end, sent);
    EXPECT_TRUE(TextsWith("UDP: Action:").isEmpty()) << "no recorder is touched";
    EXPECT_FALSE(Recording(0));
    ExpectIdle();

    // Port closed: traced as not sent, and the rest of the message still runs.
    ResetSerialLink();
    Message("<Record:Start><Recorder:1><SongId:after><ASC82Plus:SW 04>");
    EXPECT_EQ(TextsWith("Err: COM: Port COM not Open. Data not sended: SW 04").size(), 1);
    EXPECT_TRUE(Recording(0));
    EXPECT_TRUE(pty.peerDrain(200).isEmpty());
    ResetSerialLink();
}

}  // namespace
