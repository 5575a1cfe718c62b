// UDP transport with real sockets on loopback: binding of the input lines,
// reception, the queues and their pacing, the output sockets.
#include "core/main_window_state.h"
#include "udp_test_util.h"

#include "core/main_controls.h"

#include <QHostAddress>
#include <QSet>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>

using namespace udptest;

namespace {

class UdpTransport : public ::testing::Test {
protected:
    QString home = RandomLoopback();  // this computer's address
    struct HandOver {
        QString text;
        qint64 tick;
    };
    QList<HandOver> handed;

    void SetUp() override {
        ResetTraceState();
        ResetSharedState();
        ResetSetupControls();
        FreshUdp();
        MainState().StartupDone = true;
        ::Setup().TexteAdresseIP.setText(home);
    }
    void TearDown() override {
        ResetUdpRemote();
        SetClock(nullptr);
    }

    // The hand-overs of line k are recorded instead of interpreted (the
    // transport alone: every text is a message).
    QSet<int> watched;
    void RecordHandOvers(int k) {
        watched.insert(k);
        UdpMessageSink& sink = UdpSink();
        sink.CarriesCommand = nullptr;
        sink.Busy = nullptr;
        sink.Interpret = [this](int line, const QString& text) {
            if (watched.contains(line) && !text.isEmpty()) handed.push_back({text, CurrentClock().tickMs()});
        };
    }
    bool WaitHandOvers(int count, int ms = 5000) {
        return platform::WaitInEventLoop([&] { return handed.size() >= count; }, ms);
    }
    size_t Queued(int k) { return MainBis().ListeUDPIn[size_t(k)].size(); }
    bool WaitQueued(int k, size_t count, int ms = 5000) {
        return platform::WaitInEventLoop([&] { return Queued(k) >= count; }, ms);
    }
};

TEST_F(UdpTransport, BurstIsQueuedAndHandedOverInOrderAtLeast200msApart) {
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port));
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPIn.Binded to: " + home + ":" + QString::number(port) + " (Index: 0)").size(), 1);
    // The source fields cannot be edited while the line is bound.
    EXPECT_FALSE(::Setup().TexteUDPIPSource[0].enabled());
    EXPECT_FALSE(::Setup().TexteUDPPortSource[0].enabled());
    RecordHandOvers(0);

    MainState().StartupDone = false;  // hold the queue to look at it
    Peer peer(RandomLoopback());
    for (const char* m : {"<Record:Start><Recorder:1>", "second", "third"}) peer.send(home, port, QString(m));
    ASSERT_TRUE(WaitQueued(0, 3));
    EXPECT_EQ(Queued(0), 3u);
    const QStringList reads = LinesWith("UDP: OnRead: Data read from the socket: ");
    ASSERT_EQ(reads.size(), 3);
    EXPECT_EQ(ColumnsOf(reads[0]), "0: : :");
    EXPECT_TRUE(::Setup().TexteUDPDonneeRecues[0].text().endsWith(" | third"));
    platform::LetEventsRunFor(50);
    EXPECT_TRUE(handed.isEmpty()) << "nothing is handed over before the end of the start-up";

    MainState().StartupDone = true;
    ASSERT_TRUE(WaitHandOvers(3));
    EXPECT_EQ(handed[0].text, "<Record:Start><Recorder:1>");
    EXPECT_EQ(handed[1].text, "second");
    EXPECT_EQ(handed[2].text, "third");
    EXPECT_GT(handed[1].tick - handed[0].tick, 200);
    EXPECT_GT(handed[2].tick - handed[1].tick, 200);
    // Each hand-over is traced framed with "*" on the line's column.
    for (const HandOver& h : handed) {
        const QStringList framed = LinesWith(h.text);
        ASSERT_FALSE(framed.isEmpty());
        const QString frame(h.text.size(), QLatin1Char('*'));
        EXPECT_EQ(Texts().count(frame), 2) << h.text.toStdString();
    }
    EXPECT_EQ(Queued(0), 0u);
    platform::LetEventsRunFor(30);
    EXPECT_FALSE(MainBis().TimerUDP.isActive()) << "the timer stops once every queue is empty";
}

TEST_F(UdpTransport, BlankDatagramIsTracedButNeitherShownNorQueued) {
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port));
    RecordHandOvers(0);
    Peer peer(RandomLoopback());
    peer.send(home, port, QString("   "));
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !LinesWith("Data read from the socket").isEmpty(); }, 3000));
    EXPECT_EQ(TextsWith("UDP: OnRead: Data read from the socket:    ").size(), 1);
    EXPECT_TRUE(::Setup().TexteUDPDonneeRecues[0].text().isEmpty());
    EXPECT_EQ(Queued(0), 0u);
    platform::LetEventsRunFor(50);
    EXPECT_TRUE(handed.isEmpty());
}

TEST_F(UdpTransport, LongDatagramIsCutTo1024BytesAndTextDecodesUtf8OrAnsi) {
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port));
    RecordHandOvers(0);
    Peer peer(RandomLoopback());
    peer.send(home, port, QByteArray(1500, 'x'));
    peer.send(home, port, QString("<SongId:Été>"));                 // UTF-8
    peer.send(home, port, QByteArray("<SongId:\xC9t\xE9 \x80>"));    // Windows-1252
    ASSERT_TRUE(WaitHandOvers(3));
    EXPECT_EQ(handed[0].text, QString(1024, 'x'));
    EXPECT_EQ(handed[1].text, "<SongId:Été>");
    EXPECT_EQ(handed[2].text, QString("<SongId:Été €>"));
    // Control characters cannot break a trace line in two.
    peer.send(home, port, QByteArray("a\r\nb\x01"));
    ASSERT_TRUE(WaitHandOvers(4));
    EXPECT_EQ(handed[3].text, QString("a\r\nb\x01"));
    EXPECT_EQ(TextsWith("Data read from the socket: a\\r\\nb\\x01").size(), 1);
}

TEST_F(UdpTransport, OnlyBoundLinesInServiceAreListenedTo) {
    const quint16 port0 = FreePort(home);
    quint16 port1 = FreePort(home);
    while (port1 == port0) port1 = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port0));
    ASSERT_TRUE(BindLine(1, home, port1));
    RecordHandOvers(0);
    RecordHandOvers(1);
    ::Setup().CheckUDPInActif[1].setChecked(false);
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPIn.Disconnected  (Index: 1)").size(), 1);
    EXPECT_TRUE(::Setup().TexteUDPIPSource[1].enabled());
    EXPECT_TRUE(::Setup().TexteUDPPortSource[1].enabled());

    Peer peer(RandomLoopback());
    peer.send(home, port1, QString("to the line out of service"));
    peer.send(home, quint16(port0 == 65535 ? port0 - 1 : port0 + 1), QString("to a port of nobody"));
    peer.send(home, port0, QString("to line 0"));
    ASSERT_TRUE(WaitHandOvers(1));
    platform::LetEventsRunFor(300);
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(handed[0].text, "to line 0");
    EXPECT_EQ(LinesWith("Data read from the socket").size(), 1);
}

TEST_F(UdpTransport, BlankSourceIsRefusedAndEveryInterfaceBecomesThisComputersAddress) {
    ::Setup().TexteUDPIPSource[0].setText("");
    ::Setup().CheckUDPInActif[0].setChecked(true);
    EXPECT_EQ(TextsWith("Err: Unable to Check CheckUDPInActif because of IP source is empty").size(), 1);
    EXPECT_EQ(MainBis().SocketWrenchUDPIn[0]->Handle(), -1);
    EXPECT_TRUE(TextsWith("Try to Bind").isEmpty());

    // "0.0.0.0" would listen on every interface: this computer's address is used.
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(1, "0.0.0.0", port));
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPIn.Binded to: " + home + ":" + QString::number(port) + " (Index: 1)").size(), 1);
    RecordHandOvers(1);
    Peer peer(RandomLoopback());
    QString elsewhere = RandomLoopback();
    while (elsewhere == home) elsewhere = RandomLoopback();
    peer.send(elsewhere, port, QString("to another address of the computer"));
    peer.send(home, port, QString("to the configured address"));
    ASSERT_TRUE(WaitHandOvers(1));
    platform::LetEventsRunFor(200);
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(handed[0].text, "to the configured address");
}

TEST_F(UdpTransport, HostNameSourceIsResolvedBeforeBinding) {
    const quint16 port = FreePort("127.0.0.1");
    ASSERT_TRUE(BindLine(0, "localhost", port));
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPin.Resolve: HostName changed to HostAddress: localhost to 127.0.0.1").size(), 1);
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPIn.Binded to: 127.0.0.1:" + QString::number(port) + " (Index: 0)").size(), 1);
}

TEST_F(UdpTransport, BindFailuresAreTracedAsIncidentsAndTheBoxStaysChecked) {
    // Port in use by another program.
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress(home), 0, QUdpSocket::DontShareAddress));
    EXPECT_FALSE(BindLine(0, home, other.localPort()));
    EXPECT_TRUE(::Setup().CheckUDPInActif[0].checked());
    EXPECT_TRUE(::Setup().TexteUDPIPSource[0].enabled());
    const QString inUse = "Err: UDP: SocketWrenchUDPIn.Bind: 10048: Address already in use (Index: 0) "
                          "|SubFrmSetup:CheckUDPInActif_Click";
    EXPECT_EQ(TextsWith(inUse).size(), 1);
    EXPECT_EQ(Trace().ListeIncidents.filter("10048: Address already in use").size(), 1);

    // A host name that does not resolve: the bind is tried with the name.
    EXPECT_FALSE(BindLine(1, "qr-no-such-host.invalid", 40000));
    EXPECT_EQ(TextsWith("Warning: UDP: SocketWrenchUDPin.Resolve: 11001: Host not found |Sub: "
                        "FrmSetup:CheckUDPInActif_Click").size(), 1);
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPIn: Try to Bind: qr-no-such-host.invalid:40000 (Index: 1)").size(), 1);
    EXPECT_EQ(TextsWith("Warning: UDP: SocketWrenchUDPIn.Bind: 11001: Host not found (Index: 1)").size(), 1);

    // A port that is no port.
    EXPECT_FALSE(BindLine(2, home, 0));
    EXPECT_EQ(TextsWith("Err: UDP: SocketWrenchUDPIn.Bind: 10049").size(), 1);
    // Editing the box marks the settings as modified (not while they load).
    EXPECT_TRUE(SetupFlags().SettingsModified);
}

TEST_F(UdpTransport, BurstOfAThousandIsKeptInOrderAndWhatGoesBeyondTheCapIsDropped) {
    FastClock fast(1000);
    ScopedClock scoped(&fast);
    MainBis().ReadyIntervalMs = 1;
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port));
    RecordHandOvers(0);
    MainState().StartupDone = false;
    Peer peer(RandomLoopback());
    // In chunks that the kernel buffers of any machine hold.
    for (int chunk = 0; chunk < 10; ++chunk) {
        for (int i = 0; i < 100; ++i) peer.send(home, port, QString("m%1").arg(chunk * 100 + i, 4, 10, QChar('0')));
        ASSERT_TRUE(WaitQueued(0, size_t(chunk + 1) * 100)) << "chunk " << chunk;
    }
    EXPECT_EQ(Queued(0), 1000u);
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
    for (int i = 0; i < 5; ++i) peer.send(home, port, QString("extra%1").arg(i));
    ASSERT_TRUE(platform::WaitInEventLoop([] { return LinesWith("datagram dropped").size() >= 5; }, 3000));
    EXPECT_EQ(Queued(0), 1000u) << "the queue never grows beyond its cap";
    EXPECT_EQ(TextsWith("Err: UDP: Reception queue full (1000 messages): datagram dropped: extra").size(), 5);
    EXPECT_EQ(Trace().ListeIncidents.filter("datagram dropped").size(), 1) << "one incident per overflow";

    MainState().StartupDone = true;
    ASSERT_TRUE(WaitHandOvers(1000, 60000));
    platform::LetEventsRunFor(20);
    ASSERT_EQ(handed.size(), 1000);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(handed[i].text, QString("m%1").arg(i, 4, 10, QChar('0')));
        if (i > 0) {
            ASSERT_GT(handed[i].tick - handed[i - 1].tick, 200) << "hand-over " << i;
        }
    }
    EXPECT_EQ(Trace().ListeIncidents.filter("Reception queue full: 5 datagram(s) dropped").size(), 1);
}

TEST_F(UdpTransport, OtherLinesKeepWorkingWhileALineWaits) {
    FastClock fast(5);
    ScopedClock scoped(&fast);
    const quint16 port0 = FreePort(home);
    quint16 port1 = FreePort(home);
    while (port1 == port0) port1 = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port0));
    ASSERT_TRUE(BindLine(1, home, port1));
    Peer peer(RandomLoopback());
    // Line 0 waits 3 s of the clock (600 ms) before an action without
    // recorder; line 1 gets a message 150 ms after it began to wait.
    peer.send(home, port0, QString("<Record:Start><WaitDuration:3000>"));
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !TextsWith("WaitDuration: 3000 ms |Start").isEmpty(); }, 3000));
    QTimer::singleShot(150, [&] { peer.send(home, port1, QString("<Record:Pause>")); });
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !TextsWith("WaitDuration: 3000 ms |End").isEmpty(); }, 3000));
    platform::LetEventsRunFor(100);
    const QStringList texts = Texts();
    const int line1 = int(texts.indexOf("UDP: Receipt: <Record:Pause>"));
    const int end0 = int(texts.indexOf(QRegularExpression(".*WaitDuration: 3000 ms \\|End.*")));
    ASSERT_GE(line1, 0) << "line 1 was not served";
    EXPECT_LT(line1, end0) << "line 1 had to wait for line 0\n" << texts.join("\n").toStdString();
    EXPECT_FALSE(UdpCommands().InProcess[0]);
    EXPECT_FALSE(UdpCommands().InProcess[1]);
}

TEST_F(UdpTransport, TheQueueTimerRunsOnlyWhileMessagesWaitAndThoseBehindABusyLineAreHandedOver) {
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port));
    int ticks = 0;
    QObject context;
    QObject::connect(&MainBis().TimerUDP, &QTimer::timeout, &context, [&] { ++ticks; });
    // Idle: no tick at all.
    platform::LetEventsRunFor(300);
    EXPECT_EQ(ticks, 0);
    EXPECT_FALSE(MainBis().TimerUDP.isActive());

    // A message whose action waits 1.5 s (no recorder: nothing else happens);
    // two more arrive on the same line meanwhile and wait behind it.
    Peer peer(RandomLoopback());
    QStringList interpreted;
    int ticksWhileBusy = -1;
    const auto interpret = UdpSink().Interpret;
    UdpSink().Interpret = [&](int line, const QString& text) {
        interpreted << text;
        if (interpreted.size() == 2) ticksWhileBusy = ticks;
        interpret(line, text);
    };
    peer.send(home, port, QString("<Record:Start><WaitDuration:1500>"));
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return interpreted.size() >= 1; }, 3000));
    platform::LetEventsRunFor(100);
    peer.send(home, port, QString("<Record:Pause>"));
    peer.send(home, port, QString("<Record:Stop>"));
    ASSERT_TRUE(WaitQueued(0, 2)) << "the two others wait behind the busy line";
    EXPECT_TRUE(MainBis().TimerUDP.isActive()) << "and the timer keeps running for them";
    ticks = 0;
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return interpreted.size() >= 3; }, 8000)) << interpreted.join(" | ").toStdString();
    EXPECT_EQ(interpreted, QStringList({"<Record:Start><WaitDuration:1500>", "<Record:Pause>", "<Record:Stop>"}));
    // About 1.3 s of waiting behind the busy line: a slow tick, no 10 ms polling.
    EXPECT_GE(ticksWhileBusy, 1);
    EXPECT_LE(ticksWhileBusy, 14);
    // Everything handed over: the timer stops.
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !MainBis().TimerUDP.isActive(); }, 1000));
    ticks = 0;
    platform::LetEventsRunFor(300);
    EXPECT_EQ(ticks, 0);
}

TEST_F(UdpTransport, JunkIsDroppedOnArrivalAndAFloodedLineDelaysNoOther) {
    const quint16 port0 = FreePort(home);
    quint16 port2 = FreePort(home);
    while (port2 == port0) port2 = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port0));
    ASSERT_TRUE(BindLine(2, home, port2));
    QList<HandOver> seen;
    const auto interpret = UdpSink().Interpret;
    UdpSink().Interpret = [&](int line, const QString& text) {
        if (line == 2) seen.push_back({text, CurrentClock().tickMs()});
        interpret(line, text);
    };
    Peer peer(RandomLoopback());
    // Line 0: junk without any command, and valid messages that each take a
    // turn; line 2: one command in the middle of it.
    for (int i = 0; i < 200; ++i) peer.send(home, port0, QString("junk %1").arg(i));
    for (int i = 0; i < 20; ++i) peer.send(home, port0, QString("<Record:Pause><Recorder:9>"));
    platform::LetEventsRunFor(500);
    const qint64 sent = CurrentClock().tickMs();
    peer.send(home, port2, QString("<Record:Pause>"));
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return !seen.isEmpty(); }, 5000));
    EXPECT_LT(seen[0].tick - sent, 1000) << "a valid command reaches its recorder within a second";
    EXPECT_FALSE(TextsWith("Err: UDP: No command in the message: dropped: junk").isEmpty());
    EXPECT_LE(Queued(0), 20u) << "junk never takes a place in the queue";
}

// ---------------------------------------------------------------- sending

TEST_F(UdpTransport, NothingIsSentTo127001) {
    Peer listener(home);
    SendDataUDPSocketWrench(0, "127.0.0.1", listener.port(), "<Do:Podcast>");
    SendDataUDPSocketWrench(1, "localhost", listener.port(), "<Do:Podcast>");
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPOut.Resolve: HostName changed to HostAddress: localhost to 127.0.0.1").size(), 1);
    EXPECT_TRUE(TextsWith("Connected to").isEmpty());
    EXPECT_TRUE(TextsWith("Data Sent to").isEmpty());
    EXPECT_EQ(Lines().size(), 1);
}

TEST_F(UdpTransport, NothingIsSentToThisComputerWhateverTheSpellingOf127001) {
    // Other spellings of the same address, and an address of every interface,
    // which the system would deliver here as well. The trace tells whether
    // a socket was connected; nothing listens on these ports.
    const quint16 port = FreePort(home);
    for (const QString& spelling : {QString("127.1"), QString(" 127.0.0.1 "), QString("127.0.1"),
                                    QString("::ffff:127.0.0.1"), QString("0.0.0.0"), QString("::")}) {
        SCOPED_TRACE(spelling.toStdString());
        SendDataUDPSocketWrench(1, spelling, port, "<Do:Podcast>");
        EXPECT_TRUE(TextsWith("Connected to").isEmpty()) << Texts().join("\n").toStdString();
        EXPECT_TRUE(TextsWith("Data Sent to").isEmpty());
    }
    EXPECT_EQ(TextsWith(" is no destination: nothing sent").size(), 2);
    EXPECT_EQ(CanonicalTargetAddress("127.1"), "127.0.0.1");
    EXPECT_EQ(CanonicalTargetAddress("::ffff:127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(CanonicalTargetAddress(" 10.1.2.3 "), "10.1.2.3");
    EXPECT_EQ(CanonicalTargetAddress("studio-pc"), "studio-pc");
    // 127.0.0.2 and the rest of the loopback block are ordinary destinations.
    Peer other(home);
    SendDataUDPSocketWrench(1, home, other.port(), "<Do:Convert>");
    ASSERT_TRUE(other.waitFor(1));
}

TEST_F(UdpTransport, ASocketConnectedElsewhereIsNeverReusedForAnotherDestination) {
    Peer a(home), b(home);
    SendDataUDPSocketWrench(6, home, a.port(), "to a");
    ASSERT_TRUE(a.waitFor(1));
    // The socket gets connected to b, but the write there fails: the last
    // destination that was sent to is still a.
    ASSERT_EQ(MainBis().SocketWrenchUDPOut[6]->Connect(home, b.port()), 0);
    MainBis().ConnectedAddress[6] = home;
    MainBis().ConnectedPort[6] = b.port();
    EXPECT_EQ(MainBis().LastAddress[6], home);
    EXPECT_EQ(MainBis().LastPort[6], a.port());
    SendDataUDPSocketWrench(6, home, a.port(), "to a again");
    ASSERT_TRUE(a.waitFor(2)) << "went to " << b.received().join(" | ").toStdString();
    EXPECT_EQ(a.received(), QStringList({"to a", "to a again"}));
    EXPECT_TRUE(b.received().isEmpty());
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPOut.Connected to: " + home + ":" + QString::number(a.port())).size(), 2);
}

TEST_F(UdpTransport, OneConnectedSocketPerTargetReusedUntilTheDestinationChanges) {
    Peer a(home), b(home);
    const QString pa = QString::number(a.port()), pb = QString::number(b.port());
    // Measured on the program's clock, as the pause is.
    const qint64 before = CurrentClock().tickMs();
    SendDataUDPSocketWrench(2, home, a.port(), "one");
    EXPECT_GT(CurrentClock().tickMs() - before, 200) << "each send is followed by a 200 ms pause";
    SendDataUDPSocketWrench(2, home, a.port(), "two");
    ASSERT_TRUE(a.waitFor(2));
    EXPECT_EQ(a.received(), QStringList({"one", "two"}));
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPOut.Connected to: " + home + ":" + pa).size(), 1);
    EXPECT_TRUE(TextsWith("Disconnected").isEmpty());
    const QStringList sent = LinesWith("UDP: SocketWrenchUDPOut.Write: Data Sent to: " + home + ":" + pa + " |Data: ");
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(ColumnsOf(sent[0]), "2: : :");

    SendDataUDPSocketWrench(2, home, b.port(), "three");
    ASSERT_TRUE(b.waitFor(1));
    const QStringList texts = Texts();
    const int disconnected = int(texts.indexOf("UDP: SocketWrenchUDPOut.Disconnected"));
    const int connected = int(texts.indexOf("UDP: SocketWrenchUDPOut.Connected to: " + home + ":" + pb));
    ASSERT_GE(disconnected, 0);
    EXPECT_GT(connected, disconnected);
    EXPECT_EQ(a.received().size(), 2);
}

TEST_F(UdpTransport, TestMessageGoesToEachPortOfTheTarget) {
    Peer a(home), c(home);
    FrmSetupControls& s = ::Setup();
    SetTarget(4, home, a.port());
    s.TexteUDPPortBCible[4].setText("");
    s.TexteUDPPortCCible[4].setText(QString::number(c.port()));
    s.TexteUDPPortDCible[4].setText("0");
    s.TexteUDPSend[4].setText("<Record:Start><Recorder:2>");
    BtnUDPSend_Click(4);
    ASSERT_TRUE(a.waitFor(1));
    ASSERT_TRUE(c.waitFor(1));
    platform::LetEventsRunFor(100);
    EXPECT_EQ(a.received(), QStringList({"<Record:Start><Recorder:2>"}));
    EXPECT_EQ(c.received(), QStringList({"<Record:Start><Recorder:2>"}));
    EXPECT_EQ(TextsWith("Data Sent to").size(), 2);
    EXPECT_EQ(TextsWith("UDP: SocketWrenchUDPOut.Disconnected").size(), 1) << "port C needs a new connection";

    // A blank message sends nothing.
    s.TexteUDPSend[4].setText("   ");
    BtnUDPSend_Click(4);
    EXPECT_EQ(TextsWith("Data Sent to").size(), 2);
}

TEST_F(UdpTransport, UnresolvableTargetIsReportedAndNothingIsSent) {
    SendDataUDPSocketWrench(3, "qr-no-such-host.invalid", 4000, "<Do:Convert>");
    EXPECT_EQ(TextsWith("Warning: UDP: SocketWrenchUDPOut.Resolve: 11001: Host not found |Sub: "
                        "Frm_MainBis:SendDataUDPSocketWrench").size(), 1);
    EXPECT_EQ(TextsWith("Err: UDP: SocketWrenchUDPOut.Connect: 11001: Host not found |Sub"
                        "Frm_MainBis:SendDataUDPSocketWrench").size(), 1);
    EXPECT_TRUE(TextsWith("Data Sent to").isEmpty());
}

TEST_F(UdpTransport, ClosedPeerPortIsReportedAsConnectionReset) {
    const quint16 nobody = FreePort(home);
    SendDataUDPSocketWrench(5, home, nobody, "first");
    SendDataUDPSocketWrench(5, home, nobody, "second");
    SendDataUDPSocketWrench(5, home, nobody, "third");
    EXPECT_FALSE(TextsWith("10054: Connection reset by peer").isEmpty()) << Texts().join("\n").toStdString();
}

}  // namespace
