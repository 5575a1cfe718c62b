// The serial link on a real pseudo-terminal pair: the stored settings, a
// command line at the switcher's end, a reply, an invalid port, a port in
// use, a device that goes away, an output that cannot drain.
#include "ui/setup/setup_pages.h"
#include "platform/comm_port.h"
#include "platform/os.h"
#include "remote/serial_link.h"
#include "settings/settings_fixture.h"
#include "tests/remote/pty_pair.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

namespace {

class SerialLinkTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        ResetSerialLink();
        InstallSerialPage();
        App().MainWindowCaption = "Velmora: Quillon Recorder";
    }
    void TearDown() override {
        ResetSerialLink();
        SettingsTest::TearDown();
    }

    // The "PortCOM" section as an operator left it, plus a device for port n.
    void WritePortSettings(const QStringList& keys) { WriteSettingsFile(QStringList{"[PortCOM]"} + keys); }

    // Texts of the trace lines (prefix and columns cut off), in order.
    QStringList Texts() {
        QStringList out;
        for (const QString& l : Trace().ListeLogTemp + Trace().ListeLog) out << l.mid(20);
        return out;
    }
    bool WaitForTrace(const QString& start, int ms) {
        return platform::WaitInEventLoop([&] { return !Texts().filter(QRegularExpression("^" + QRegularExpression::escape(start))).isEmpty(); }, ms);
    }
    // Opens port 3 on the given device with the stored defaults.
    void OpenPort3(const QString& device) {
        WritePortSettings({"Actif=1", "NoPort=2", "Device_3=" + device});
        InitGeneralPortCOM();
    }
};

TEST_F(SerialLinkTest, DefaultsWithoutSectionLeaveThePortClosed) {
    WriteSettingsFile({"[Recorder_00]", "Actif=ON"});
    InitGeneralPortCOM();
    const FrmSetupControls& c = ::Setup();
    EXPECT_EQ(c.ComboNoPort.text(), "1");
    EXPECT_EQ(SerialSettingsText(), "9600,N,8,1");
    EXPECT_FALSE(c.CheckPortCOMPresent.checked());
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_TRUE(Texts().filter("GPIO: COM:").isEmpty());
    EXPECT_EQ(c.LabelPortCOMDevice.text(), "/dev/ttyS0");

    // 14400 bauds and "1,5" stop bits: the text keeps its five fields; a
    // Linux port has no 1.5 stop bits, which the open reports.
    WritePortSettings({"Vitesse=6", "BitArret=1", "NoPort=3"});
    InitGeneralPortCOM();
    EXPECT_EQ(SerialSettingsText(), "14400,N,8,1,5");
    EXPECT_EQ(c.LabelPortCOMDevice.text(), "/dev/ttyS3");
}

TEST_F(SerialLinkTest, SettingsTextsThePortTakesAndRefuses) {
    auto s = platform::ParseCommSettings("9600,N,8,1");
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.baud, 9600);
    s = platform::ParseCommSettings("300,M,7,2");
    ASSERT_TRUE(s.ok) << s.error.toStdString();
    EXPECT_EQ(s.parity, 'M');
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopTenths, 20);
    EXPECT_FALSE(platform::ParseCommSettings("14400,N,8,1,5").ok);
    EXPECT_FALSE(platform::ParseCommSettings("9600,N,4,1").ok);
    EXPECT_FALSE(platform::ParseCommSettings("9600,X,8,1").ok);
    EXPECT_FALSE(platform::ParseCommSettings(",N,8,1").ok);
}

TEST_F(SerialLinkTest, CommandLineArrivesWithCrLfAndReplyIsTraced) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready());
    ASSERT_TRUE(pty.openPeer());
    OpenPort3(pty.a);
    ASSERT_TRUE(SerialPortOpen());
    EXPECT_EQ(::Setup().LabelPortCOMDevice.text(), pty.a);
    const QStringList init = Texts().filter("GPIO: COM:");
    ASSERT_EQ(init.size(), 3) << init.join(" | ").toStdString();
    EXPECT_EQ(init[0], "GPIO: COM: Init Port #3: 9600,N,8,1");
    EXPECT_EQ(init[1], "GPIO: COM: Port #3 device: " + pty.a);
    EXPECT_EQ(init[2], "GPIO: COM: Init Port #3 Result: True |OutBufferSize: 512");

    EXPECT_TRUE(SendPortCOM("CROSS 1 4", "COM: Data sended: "));
    EXPECT_EQ(pty.peerRead("\n", 3000), QByteArray("CROSS 1 4\r\n"));
    const QStringList sent = Texts().filter("COM: Data");
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0], "COM: Data to send: CROSS 1 4");
    EXPECT_EQ(sent[1], "COM: Data sended: CROSS 1 4");

    // The UDP interpreter's own text for the sent line.
    EXPECT_TRUE(SendPortCOM("TAKE 2", "UDP: LabelDataArrivalUDP_Change: COM: Data sended: "));
    EXPECT_EQ(pty.peerRead("\n", 3000), QByteArray("TAKE 2\r\n"));
    EXPECT_TRUE(Texts().contains("UDP: LabelDataArrivalUDP_Change: COM: Data sended: TAKE 2"));

    // The manual line of the setup window: sent, not traced.
    const int before = Texts().size();
    CommandSend_Click("STATUS?");
    EXPECT_EQ(pty.peerRead("\n", 3000), QByteArray("STATUS?\r\n"));
    EXPECT_TRUE(Texts().mid(before).filter("COM:").isEmpty());

    // The switcher answers.
    ASSERT_TRUE(pty.peerWrite("OK 1>4\r\n"));
    ASSERT_TRUE(WaitForTrace("COM: comEvReceive: ", 3000));
    EXPECT_TRUE(Texts().contains("COM: comEvReceive: OK 1>4<CR><LF>")) << Texts().join(" | ").toStdString();
}

TEST_F(SerialLinkTest, ControlCharactersOfACommandLineAreTracedByName) {
    // A line from the network may hold line breaks: the switcher gets the
    // bytes, the daily log one line per trace with the characters named.
    const QString line = QString("SW 1\r\nSW 2\t\x01") + QChar(0);
    EXPECT_FALSE(SendPortCOM(line, "COM: Data sended: "));
    PtyPair pty;
    ASSERT_TRUE(pty.ready());
    ASSERT_TRUE(pty.openPeer());
    OpenPort3(pty.a);
    ASSERT_TRUE(SerialPortOpen());
    EXPECT_TRUE(SendPortCOM(line, "UDP: LabelDataArrivalUDP_Change: COM: Data sended: "));
    EXPECT_EQ(pty.peerRead(QByteArray("\0\r\n", 3), 3000), line.toUtf8() + "\r\n");
    const QString named = "SW 1<CR><LF>SW 2<TAB><0x01><NUL>";
    const QStringList texts = Texts();
    EXPECT_TRUE(texts.contains("Err: COM: Port COM not Open. Data not sended: " + named)) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.contains("COM: Data to send: " + named)) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.contains("UDP: LabelDataArrivalUDP_Change: COM: Data sended: " + named));
    for (const QString& l : Trace().ListeLogTemp + Trace().ListeLog) {
        EXPECT_FALSE(l.contains(QChar('\r')) || l.contains(QChar('\n')) || l.contains(QChar(0)) || l.contains(QChar(1)))
            << l.toStdString();
    }
}

TEST_F(SerialLinkTest, LinesSentWhileOneDrainsArriveWhole) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready());
    ASSERT_TRUE(pty.openPeer());
    OpenPort3(pty.a);
    ASSERT_TRUE(SerialPortOpen());
    const QString longLine = QString(3000, 'L');
    bool nestedWhole = false;
    // Another source writes while the first line drains (events run during the wait).
    QTimer::singleShot(0, [&] { nestedWhole = SendPortCOM("SHORT", "COM: Data sended: "); });
    EXPECT_TRUE(SendPortCOM(longLine, "COM: Data sended: "));
    platform::WaitInEventLoop([&] { return nestedWhole; }, 3000);
    EXPECT_TRUE(nestedWhole);
    const QByteArray got = pty.peerRead("SHORT\r\n", 3000);
    EXPECT_TRUE(got == longLine.toUtf8() + "\r\nSHORT\r\n" || got == "SHORT\r\n" + longLine.toUtf8() + "\r\n")
        << got.left(60).toStdString();
}

TEST_F(SerialLinkTest, InvalidPortsAreReportedAndOutputIsRefused) {
    // A path that does not exist, then a device that is not a terminal.
    for (const QString& device : {dir.path() + "/no-such-tty", QString("/dev/null")}) {
        Trace().ListeLogTemp.clear();
        Trace().ListeLog.clear();
        WritePortSettings({"NoPort=1", "Device_2=" + device});
        InitGeneralPortCOM();
        CommandPortCOMInit_Click();
        const QStringList t = Texts().filter("GPIO: COM:");
        ASSERT_EQ(t.size(), 4) << t.join(" | ").toStdString();
        EXPECT_EQ(t[2], "GPIO: COM: Invalid COM port #2") << device.toStdString();
        EXPECT_EQ(t[3], "GPIO: COM: Init Port #2 Result: False |OutBufferSize: 512");
        EXPECT_FALSE(SerialPortOpen());
    }
    // A port number outside 1..9 (no selection).
    ::Setup().ComboNoPort.setListIndex(-1);
    CommandPortCOMInit_Click();
    EXPECT_TRUE(Texts().contains("GPIO: COM: Invalid COM port #0"));

    EXPECT_FALSE(SendPortCOM("CROSS 1 4", "COM: Data sended: "));
    EXPECT_TRUE(Texts().contains("Err: COM: Port COM not Open. Data not sended: CROSS 1 4"));

    ScriptedDialogs dialogs;
    SetDialogs(&dialogs);
    CommandSend_Click("STATUS?");
    EXPECT_EQ(dialogs.questions, QStringList{"Port COM non ouvert."});
    EXPECT_EQ(dialogs.titles, QStringList{"Velmora: Quillon Recorder"});
}

TEST_F(SerialLinkTest, SettingsThePortCannotTakeLeaveItClosed) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready());
    WritePortSettings({"Actif=1", "NoPort=0", "Vitesse=6", "BitArret=1", "Device_1=" + pty.a});
    InitGeneralPortCOM();
    EXPECT_FALSE(SerialPortOpen());
    const QStringList t = Texts().filter("GPIO: COM:");
    ASSERT_EQ(t.size(), 4) << t.join(" | ").toStdString();
    EXPECT_EQ(t[0], "GPIO: COM: Init Port #1: 14400,N,8,1,5");
    EXPECT_TRUE(t[2].startsWith("GPIO: COM: COM port #1 Err: 380 Invalid property value")) << t[2].toStdString();
    EXPECT_EQ(t[3], "GPIO: COM: Init Port #1 Result: False |OutBufferSize: 512");

    // 14400 bauds with one stop bit is fine.
    ::Setup().ComboPortComSetup[3].setListIndex(0);
    CommandPortCOMInit_Click();
    EXPECT_TRUE(SerialPortOpen());
    EXPECT_TRUE(Texts().contains("GPIO: COM: Init Port #1 Result: True |OutBufferSize: 512"));
}

TEST_F(SerialLinkTest, PortOpenedElsewhereIsInUse) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready());

    // Another program holds the device (an exclusive lock, as serial tools take it).
    QProcess holder;
    holder.start("flock", {"--exclusive", "--no-fork", pty.deviceA(), "sleep", "30"});
    ASSERT_TRUE(holder.waitForStarted(3000));
    QProcess probe;
    bool locked = false;
    for (int k = 0; k < 100 && !locked; ++k) {  // until the holder has its lock
        probe.start("flock", {"--nonblock", pty.deviceA(), "true"});
        probe.waitForFinished(3000);
        locked = probe.exitCode() != 0;
        if (!locked) platform::LetEventsRunFor(20);
    }
    ASSERT_TRUE(locked);
    OpenPort3(pty.a);
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_TRUE(Texts().contains("GPIO: COM: COM port #3 in use")) << Texts().join(" | ").toStdString();
    EXPECT_TRUE(Texts().contains("GPIO: COM: Init Port #3 Result: False |OutBufferSize: 512"));
    holder.kill();
    holder.waitForFinished(3000);

    // Now ours; other openers are refused: another program, and a second
    // port of this program reaching the same device under its real name.
    CommandPortCOMInit_Click();
    ASSERT_TRUE(SerialPortOpen());
    probe.start("flock", {"--nonblock", pty.deviceA(), "true"});
    ASSERT_TRUE(probe.waitForFinished(3000));
    EXPECT_NE(probe.exitCode(), 0);
    platform::CommPort second;
    second.SetDevice(pty.deviceA());
    EXPECT_EQ(second.Open().number, platform::kCommPortInUse);
    EXPECT_FALSE(second.PortOpen());

    // Closed by a new initialisation that fails: the device is free again.
    ::Setup().ComboNoPort.setListIndex(8);  // port 9: /dev/ttyS8, absent here
    CommandPortCOMInit_Click();
    EXPECT_FALSE(SerialPortOpen());
    EXPECT_TRUE(second.Open().ok());
}

TEST_F(SerialLinkTest, DeviceGoingAwayClosesThePort) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready());
    OpenPort3(pty.a);
    ASSERT_TRUE(SerialPortOpen());
    pty.stop();  // the adapter is pulled: the other side and the links are gone
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !SerialPortOpen(); }, 5000));
    ASSERT_TRUE(WaitForTrace("Err: COM: Port COM #3 (" + pty.a + ") lost: device removed or hung up", 1000)) << Texts().join(" | ").toStdString();
    EXPECT_FALSE(Trace().ListeIncidents.filter("Port COM #3 (" + pty.a + ") lost").isEmpty());
    EXPECT_FALSE(SendPortCOM("CROSS 1 4", "COM: Data sended: "));
    EXPECT_TRUE(Texts().contains("Err: COM: Port COM not Open. Data not sended: CROSS 1 4"));
}

TEST_F(SerialLinkTest, APortThatComesBackIsOpenedAgainByItselfWithTwoIncidents) {
    auto pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty->ready());
    const QString link = pty->a;
    OpenPort3(link);
    ASSERT_TRUE(SerialPortOpen());
    pty->stop();  // the adapter is pulled
    ASSERT_TRUE(platform::WaitInEventLoop([] { return !SerialPortOpen(); }, 5000));
    // Plugged back: the same link comes again (socat makes it anew).
    QProcess socat;
    socat.start("socat", {"pty,raw,echo=0,link=" + link, "pty,raw,echo=0,link=" + link + ".peer"});
    ASSERT_TRUE(socat.waitForStarted(5000));
    ASSERT_TRUE(platform::WaitInEventLoop([] { return SerialPortOpen(); }, 15000)) << Texts().join(" | ").toStdString();
    const QStringList incidents = Trace().ListeIncidents;
    EXPECT_EQ(incidents.filter("Port COM #3 (" + link + ") lost").size(), 1);
    EXPECT_EQ(incidents.filter(QRegularExpression("COM: Port COM #3 \\(.*\\) back: opened again after [0-9.]+ s")).size(), 1)
        << incidents.join(" | ").toStdString();
    // The link works: a line reaches the switcher's end.
    QFile peer(link + ".peer");
    ASSERT_TRUE(peer.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    EXPECT_TRUE(SendPortCOM("CROSS 2 5", "COM: Data sended: "));
    ResetSerialLink();
    socat.kill();
    socat.waitForFinished(2000);
}

TEST_F(SerialLinkTest, OutputThatCannotDrainIsBoundedAndCleared) {
    PtyPair pty;
    ASSERT_TRUE(pty.ready());
    ASSERT_TRUE(pty.openPeer());
    OpenPort3(pty.a);
    ASSERT_TRUE(SerialPortOpen());
    SetSerialDrainTimeout(300);
    pty.pause();  // nobody reads the other end: the line cannot leave
    const QString huge(1 << 20, 'X');
    EXPECT_FALSE(SendPortCOM(huge, "COM: Data sended: "));
    EXPECT_EQ(Texts().filter("Err: COM: Output not drained within 300 ms, output cleared").size(), 1);
    EXPECT_TRUE(Texts().filter("COM: Data sended: ").isEmpty());
    EXPECT_TRUE(SerialPortOpen());
    EXPECT_EQ(ComControl().OutBufferCount(), 0);

    // The switcher reads again: the next line goes out whole.
    pty.resume();
    pty.peerDrain(300);
    EXPECT_TRUE(SendPortCOM("CROSS 1 4", "COM: Data sended: "));
    EXPECT_TRUE(pty.peerRead("CROSS 1 4\r\n", 3000).endsWith("CROSS 1 4\r\n"));
}

TEST(SerialLineEvents, CounterChangesGiveTheirEventCodes) {
    platform::CommCounters a, b;
    EXPECT_TRUE(platform::CommEventsBetween(a, b).isEmpty());
    b.cts = 1;
    b.dcd = 2;
    b.frame = 1;
    b.parity = 3;
    b.bufOverrun = 1;
    EXPECT_EQ(platform::CommEventsBetween(a, b), (QList<int>{3, 5, 1004, 1008, 1009}));
    EXPECT_EQ(CommEventText(1004), "Erreur de trame");
    EXPECT_EQ(CommEventText(77), "77");
}

}  // namespace
