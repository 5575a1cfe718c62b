// Bounded random-input runs of the tag extractor, the interpreter and the
// reception path: a fixed number of inputs from a fixed seed, built from the
// message grammar and mutated (cases, missing ">", control characters, odd
// numbers, invalid UTF-8), with no crash, no hang and the interpreter's flags
// always back to rest.
#include "core/main_window_state.h"
#include "udp_test_util.h"

#include "core/main_controls.h"

#include <QRandomGenerator>

using namespace udptest;

namespace {

class Generator {
public:
    explicit Generator(quint32 seed) : g_(seed) {}

    int below(int n) { return int(g_.bounded(n)); }
    bool chance(int percent) { return below(100) < percent; }

    QString tagName() {
        static const char* names[] = {"Record", "Recorder", "WaitDuration", "SongId", "Song", "ArticleId",
                                      "Article", "Convert", "ASC82Plus", "Do", "SoundFile", "X"};
        QString n = QString::fromLatin1(names[below(int(std::size(names)))]);
        if (chance(30)) n = n.toLower();
        if (chance(10)) n = n.toUpper();
        return n;
    }
    QString value() {
        static const char* values[] = {"Start", "Stop", "Pause", "On", "Off", " Start", "start", "1", "8", "9", "0",
                                       "-1", "99", "2a", "x", "1e9", "-2147483649", "0.5", "1.5", "..", "../..",
                                       "a/b", "\\\\host\\share", "", "  ", "600001", "2147483647"};
        QString v = QString::fromLatin1(values[below(int(std::size(values)))]);
        if (chance(20)) v += noise(below(12));
        return v;
    }
    QString noise(int length) {
        QString s;
        for (int i = 0; i < length; ++i) {
            switch (below(5)) {
            case 0: s += QChar(char16_t(below(32))); break;              // control characters, NUL
            case 1: s += QChar(char16_t(0x80 + below(0x780))); break;    // Latin and beyond
            case 2: s += QLatin1Char("<>:/\\."[below(6)]); break;
            default: s += QChar(char16_t(0x20 + below(0x5F))); break;  // printable ASCII
            }
        }
        return s;
    }
    QString message() {
        QString m;
        const int tags = below(8);
        for (int i = 0; i < tags; ++i) {
            if (chance(10)) m += noise(below(6));
            m += QLatin1Char('<') + tagName() + QLatin1Char(':') + value();
            if (!chance(8)) m += QLatin1Char('>');
        }
        if (chance(15)) m += noise(below(40));
        if (chance(3)) m = QString(below(1100), QLatin1Char('<'));
        return m.left(1024);
    }
    QByteArray bytes() {
        QByteArray b = chance(50) ? message().toUtf8() : message().toLatin1();
        if (!b.isEmpty() && chance(30)) b[below(int(b.size()))] = char(0x80 + below(0x80));  // invalid UTF-8
        return b;
    }

private:
    QRandomGenerator g_;
};

class UdpFuzz : public ::testing::Test {
protected:
    FastClock fast{100000};
    void SetUp() override {
        ResetTraceState();
        ResetSharedState();
        ResetSetupControls();
        FreshUdp();
        SetClock(&fast);
        MainState().StartupDone = true;
    }
    void TearDown() override {
        ResetUdpRemote();
        SetClock(nullptr);
    }
    void ExpectAtRest(const QString& input) {
        ASSERT_FALSE(UdpCommands().InProcess[0]) << input.toStdString();
        for (int i = 0; i < kRecorders; ++i) ASSERT_FALSE(Rec(i).Wanted()) << input.toStdString();
    }
};

TEST_F(UdpFuzz, ExtraireBaliseOnRandomMessages) {
    Generator gen(20240319);
    for (int i = 0; i < 20000; ++i) {
        const QString message = gen.message();
        const QString tag = QLatin1Char('<') + gen.tagName() + QLatin1Char(':');
        const QString value = ExtraireBalise(message, tag);
        ASSERT_FALSE(value.contains(QLatin1Char('>'))) << message.toStdString();
        const qsizetype at = message.indexOf(tag, 0, Qt::CaseInsensitive);
        if (at < 0) {
            ASSERT_TRUE(value.isEmpty());
        } else if (!value.isEmpty()) {
            ASSERT_EQ(message.mid(at + tag.size(), value.size() + 1), value + QLatin1Char('>')) << message.toStdString();
        }
    }
}

TEST_F(UdpFuzz, InterpreterOnRandomMessages) {
    Generator gen(7);
    Peer services(RandomLoopback());
    SetTarget(0, services.address(), services.port());
    FrmSetupControls& c = ::Setup();
    for (int i = 0; i < kRecorders; ++i) {
        c.ComboEmissionUDPPodcaster[i].setEntries({"00", "01"});
        c.ComboEmissionUDPPodcaster[i].setListIndex(1);
        c.CheckUDPPodcaster[i].setChecked(true);
        c.ComboEmissionUDPConvertir[i].setEntries({"00", "01"});
        c.ComboEmissionUDPConvertir[i].setListIndex(1);
        c.CheckUDPConvertir[i].setChecked(true);
        // Every recorder in service, each with a recording to announce
        // until a start of its own replaces it.
        Rec(size_t(i)).runtime().AnnouncedFilePath = QStringLiteral("/fuzz/rec%1.wav").arg(i + 1);
        UdpCommands().PvSSongId[size_t(i)] = QStringLiteral("fuzz%1").arg(i + 1);
    }
    SetRecordersInService(kRecorders);
    QElapsedTimer real;
    real.start();
    for (int i = 0; i < 3000; ++i) {
        const QString message = gen.message();
        QElapsedTimer one;
        one.start();
        PutInInbox(0, message);
        // A message that waits finishes on its line's own timer.
        platform::WaitInEventLoop([] { return !UdpCommands().InProcess[0]; }, 3000);
        ASSERT_LT(one.elapsed(), 3000) << message.toStdString();
        ExpectAtRest(message);
        if (i % 200 == 0) {
            Trace().ListeLogTemp.clear();
            Trace().ListeIncidents.clear();
        }
    }
    EXPECT_LT(real.elapsed(), 120000);
    // The runs reached the notifications, the deepest path.
    platform::LetEventsRunFor(50);
    EXPECT_FALSE(services.received().isEmpty());
}

TEST_F(UdpFuzz, RandomDatagramsThroughABoundLine) {
    Generator gen(99);
    const QString home = RandomLoopback();
    const quint16 port = FreePort(home);
    ASSERT_TRUE(BindLine(0, home, port));
    MainBis().ReadyIntervalMs = 1;
    Peer peer(RandomLoopback());
    int sent = 0;
    for (int i = 0; i < 300; ++i) {
        const QByteArray bytes = gen.bytes();
        if (bytes.isEmpty()) continue;  // an empty datagram is no read
        peer.send(home, port, bytes);
        ++sent;
        if (i % 50 == 49) platform::LetEventsRunFor(20);
    }
    ASSERT_TRUE(platform::WaitInEventLoop(
        [&] {
            return LinesWith("Data read from the socket").size() >= qsizetype(sent) && MainBis().ListeUDPIn[0].empty() &&
                   !MainBis().HandOverRunning[0] && !UdpCommands().InProcess[0];
        },
        60000));
    ExpectAtRest("datagrams");
    EXPECT_EQ(LinesWith("Data read from the socket").size(), qsizetype(sent));
}

}  // namespace
