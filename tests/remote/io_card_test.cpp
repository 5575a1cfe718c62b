// The digital I/O card driven through its driver interface by a scripted
// driver: no board, the simulated card, putting in service, the closing-edge
// rule with real recorders behind the contacts, the relay word, driver
// failures; and the GPIO backend on the kernel's GPIO simulator where the
// machine has one.
#include "core/main_window_state.h"
#include "core/local_inputs.h"
#include "core/recording_fixture.h"
#include "remote/io_card.h"
#include "ui/setup/setup_pages.h"
#include "support/app_globals.h"
#include "tests/remote/scripted_card.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <unistd.h>

using namespace h5b;

namespace {

class IoCardTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        ResetIoCard();
        App().ApplicationFolder.clear();
        App().UseDefaultRoot = false;
        script = std::make_shared<CardScript>();
        InstallIoCard([s = script] { return std::make_unique<ScriptedCard>(s); });
        InstallIoCardPage();
        FrmSetup_InitGeneral();  // the lists, then the card
    }
    void TearDown() override {
        ResetIoCard();
        SetupLinks().InitCard = nullptr;
        SetupLinks().CloseCard = nullptr;
        App().UseDefaultRoot = false;
        RecorderFixture::TearDown();
    }

    QStringList CardTraces() {
        QStringList out;
        for (const TraceLine& t : AllTraceLines())
            if (t.text.contains("P8R8")) out << t.text;
        return out;
    }
    // One poll with these contacts closed.
    void Poll(quint32 inputs) {
        script->inputs = inputs;
        TimerP8R8_Timer();
    }
    void BindContact(int recorder, int command, int input) {
        EditRecorderConfig(recorder, [&](RecorderConfig& c) {
            c.Contacts[size_t(command)] = ContactBinding{input + 1, true, qint16(input), false};
        });
    }
    // Position of a recorder's trace in the whole log (-1 when absent).
    int TraceIndex(int recorder, const QString& text) {
        const QList<TraceLine> all = AllTraceLines();
        for (int k = 0; k < all.size(); ++k)
            if (all[k].recorder == recorder && all[k].text == text) return k;
        return -1;
    }
    bool WaitForTrace(int recorder, const QString& text, int ms) {
        return platform::WaitInEventLoop([&] { return TracesOf(recorder).contains(text); }, ms);
    }

    std::shared_ptr<CardScript> script;
};

TEST_F(IoCardTest, NoBoardIsAnErrorUnlessTheProgramRunsFromItsDefaultRoot) {
    ResetIoCard();
    script->boards = 0;
    script->initError = "no GPIO chip configured";
    FrmSetup_InitGeneral();
    const FrmSetupControls& c = ::Setup();
    EXPECT_EQ(CardTraces(), (QStringList{"P8R8: no GPIO chip configured", "P8R8: Driver Open Error"}));
    EXPECT_FALSE(c.CheckP8R8Actif.enabled());
    EXPECT_EQ(c.cbCardType.text(), "2: Not Support!");
    EXPECT_FALSE(c.MyFrameP8R8In.enabled());
    EXPECT_FALSE(TimerP8R8().isActive());

    // From the default root: the card is simulated; nothing reaches a driver.
    ResetTraceState();
    ResetIoCard();
    App().UseDefaultRoot = true;
    FrmSetup_InitGeneral();
    EXPECT_TRUE(Card().CardSimulated);
    EXPECT_TRUE(c.CheckP8R8Actif.enabled());
    EXPECT_FALSE(TimerP8R8().isActive());  // the box starts unchecked
    EXPECT_FALSE(CardTraces().contains("P8R8: Driver Open Error"));
    script->calls.clear();
    ::Setup().CheckP8R8Actif.setChecked(true);
    EXPECT_TRUE(TimerP8R8().isActive());
    EXPECT_TRUE(c.MyFrameP8R8In.enabled() && c.MyFrameP8R8Out.enabled());
    Poll(0x9);
    ::Setup().ChckBoxP8R8Out[0].setChecked(true);
    ::Setup().ChckBoxP8R8Out[2].setChecked(true);
    EXPECT_TRUE(CardTraces().contains("P8R8: Send on: 5"));
    EXPECT_TRUE(script->calls.isEmpty()) << script->calls.join(", ").toStdString();
    EXPECT_FALSE(c.ChckBoxP8R8In[0].checked());
    ::Setup().CheckP8R8Actif.setChecked(false);
    EXPECT_FALSE(TimerP8R8().isActive());
    EXPECT_FALSE(c.MyFrameP8R8Out.enabled());
}

TEST_F(IoCardTest, ClosingEdgesRunTheBoundCommandsOnce) {
    FrmSetupControls& c = ::Setup();
    c.CheckP8R8Actif.setChecked(true);
    ASSERT_EQ(c.cbCardType.text(), "1: PCI-P8R8");
    ASSERT_TRUE(TimerP8R8().isActive());
    TimerP8R8().stop();  // the test polls by itself
    Prepare(0, 1, Folder("Contact0"));
    Prepare(1, 1, Folder("Contact1"));
    c.TexteFichierRecordPeripherique[0].setText("Contact studio");
    BindContact(0, 0, 0);  // input 0 records on recorder 1
    BindContact(1, 1, 3);  // input 3 pauses recorder 2
    BindContact(0, 2, 5);  // input 5 stops recorder 1
    BindContact(1, 0, 0);  // input 0 again: recorder 1 comes first

    // Inputs 0 and 3 close at once: 0 then 3, one trace.
    Poll(0x9);
    EXPECT_TRUE(c.ChckBoxP8R8In[0].checked() && c.ChckBoxP8R8In[3].checked());
    EXPECT_EQ(CardTraces().filter("Receipt on").size(), 1);
    EXPECT_TRUE(CardTraces().contains("P8R8: Receipt on: 0,3,"));
    const int record = TraceIndex(0, "XPButtonRecord.Checked: True |Sub: Frm_Main:ContactOn");
    const int pause = TraceIndex(1, ">>>>>Peripheral reception<<<<<");
    ASSERT_GE(record, 0);
    ASSERT_GT(pause, record);
    EXPECT_TRUE(RecordButton(0).Checked());
    EXPECT_FALSE(RecordButton(1).Checked());
    EXPECT_TRUE(S().main.rec[1].XPButtonPause.Checked());
    ASSERT_TRUE(WaitForTrace(0, "RecordingStarted", 5000));
    EXPECT_TRUE(TracesOf(0).contains("Recording File: " + Folder("Contact0") + "Contact studio.wav"))
        << TracesOf(0).join(" | ").toStdString();

    // Held closed: nothing more.
    Poll(0x9);
    EXPECT_EQ(CardTraces().filter("Receipt on").size(), 1);
    EXPECT_EQ(CountOf(TracesOf(1), ">>>>>Peripheral reception<<<<<"), 1);

    // Input 0 opens (no command) and closes again: a record contact on a
    // recorder that records does nothing.
    Poll(0x8);
    EXPECT_FALSE(c.ChckBoxP8R8In[0].checked());
    EXPECT_TRUE(CardTraces().contains("P8R8: Receipt on: 3,"));
    Poll(0x9);
    EXPECT_EQ(CountOf(TracesOf(0), "XPButtonRecord.Checked: True |Sub: Frm_Main:ContactOn"), 1);
    EXPECT_TRUE(RecordButton(0).Checked());

    // All open: one trace.
    Poll(0);
    Poll(0);
    EXPECT_EQ(CardTraces().filter("P8R8: No more reception").size(), 1);
    EXPECT_FALSE(c.ChckBoxP8R8In[3].checked());

    // The stop contact stops; on an idle recorder it does nothing.
    const int before = Finalisations(0);
    Poll(0x20);
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return Finalisations(0) > before; }, 10000));
    EXPECT_FALSE(RecordButton(0).Checked());
    const int stops = CountOf(TracesOf(0), "Recorder: Pipe stopped");
    Poll(0);
    Poll(0x20);
    EXPECT_EQ(CountOf(TracesOf(0), "Recorder: Pipe stopped"), stops);
    EXPECT_FALSE(RecordButton(0).Checked());
}

TEST_F(IoCardTest, ListEntryOfAnInputBindsThatBit) {
    FrmSetupControls& c = ::Setup();
    ComboCtl& list = c.ComboPeripherique[3 * 1 + 0];  // record of recorder 2
    const int entry = int(list.entries().indexOf("P8R8 DIO   In: 3"));
    ASSERT_GT(entry, 0);
    list.setListIndex(entry);
    c.CheckP8R8Actif.setChecked(true);
    TimerP8R8().stop();
    Prepare(1, 1, Folder("Contact1"));
    Poll(1u << 3);
    EXPECT_TRUE(RecordButton(1).Checked());
    EXPECT_EQ(CountOf(TracesOf(1), "XPButtonRecord.Checked: True |Sub: Frm_Main:ContactOn"), 1);
    BtnStopOn(1);
}

TEST_F(IoCardTest, RelayWordAndUnsupportedBoards) {
    script->words[0] = 0;  // 16 inputs and 16 relays
    FrmSetupControls& c = ::Setup();
    c.CheckP8R8Actif.setChecked(true);
    EXPECT_EQ(c.cbCardType.text(), "0: PCI-P16R16");
    EXPECT_TRUE(script->calls.contains("Config 0"));
    c.ChckBoxP8R8Out[0].setChecked(true);
    c.ChckBoxP8R8Out[2].setChecked(true);
    EXPECT_TRUE(CardTraces().contains("P8R8: Send on: 5"));
    EXPECT_EQ(script->calls.last(), "DO16 768 5");
    c.ChckBoxP8R8Out[15].setChecked(true);
    EXPECT_EQ(script->calls.last(), "DO16 768 32773");

    // A read that fails is an incident, once.
    script->nextError = "inputs not readable: Input/output error";
    TimerP8R8().stop();
    Poll(0);
    Poll(0);
    EXPECT_EQ(Trace().ListeIncidents.filter("Err: P8R8: inputs not readable: Input/output error").size(), 1);

    // At shutdown the poll stops by itself.
    TimerP8R8().start();
    MainState().QuitRequested = true;
    TimerP8R8_Timer();
    EXPECT_FALSE(TimerP8R8().isActive());
    MainState().QuitRequested = false;

    // A board of another type: not polled, relays not written.
    c.CheckP8R8Actif.setChecked(false);
    script->words[0] = 7;
    script->calls.clear();
    c.CheckP8R8Actif.setChecked(true);
    EXPECT_TRUE(CardTraces().contains("Err: P8R8: Active board Error"));
    EXPECT_EQ(c.cbCardType.text(), "2: Not Support!");
    EXPECT_FALSE(TimerP8R8().isActive());
    c.ChckBoxP8R8Out[1].setChecked(true);
    EXPECT_EQ(script->calls, QStringList{"Config 0"});
}

TEST_F(IoCardTest, PollRunsEvery50msOnlyWhileInService) {
    FrmSetupControls& c = ::Setup();
    platform::LetEventsRunFor(120);
    EXPECT_EQ(script->reads, 0);
    c.CheckP8R8Actif.setChecked(true);
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return script->reads >= 3; }, 2000));
    c.CheckP8R8Actif.setChecked(false);
    const int reads = script->reads;
    platform::LetEventsRunFor(150);
    EXPECT_EQ(script->reads, reads);
    CloseP8R8();
    EXPECT_EQ(script->calls.last(), "Close");
}

TEST(GpioLines, ListsAndRanges) {
    bool ok = false;
    EXPECT_EQ(platform::ParseGpioLines("0-3,8", &ok), (QList<int>{0, 1, 2, 3, 8}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(platform::ParseGpioLines(" 16 - 17 , 20 ", &ok), (QList<int>{16, 17, 20}));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(platform::ParseGpioLines("", &ok).isEmpty());
    EXPECT_TRUE(ok);
    for (const char* bad : {"a", "3-1", "1-2-3", "-4", "0-99"}) {
        EXPECT_TRUE(platform::ParseGpioLines(bad, &ok).isEmpty()) << bad;
        EXPECT_FALSE(ok) << bad;
    }
}

// The GPIO backend on a chip of the kernel's simulator (gpio-sim), where the
// machine offers one (module loaded, configfs mounted, rights to use it).
class GpioSimChip {
public:
    GpioSimChip() {
        const QString root = "/sys/kernel/config/gpio-sim";
        if (!QFileInfo(root).isDir() || !QFileInfo(root).isWritable()) {
            reason = "no kernel GPIO simulator here (load the module gpio-sim and mount configfs)";
            return;
        }
        device = root + QString("/quillon-%1").arg(getpid());
        if (!QDir().mkdir(device) || !QDir().mkdir(device + "/gpio-bank0") ||
            !put(device + "/gpio-bank0/num_lines", "32") || !put(device + "/live", "1")) {
            reason = "could not create a simulated GPIO chip";
            return;
        }
        chip = get(device + "/gpio-bank0/chip_name");
        lineFolder = "/sys/devices/platform/" + get(device + "/dev_name") + "/" + chip + "/";
        ok = !chip.isEmpty();
        if (!ok) reason = "the simulated chip has no name";
    }
    ~GpioSimChip() {
        if (device.isEmpty()) return;
        put(device + "/live", "0");
        QDir().rmdir(device + "/gpio-bank0");
        QDir().rmdir(device);
    }
    bool pull(int line, bool up) { return put(lineFolder + QString("sim_gpio%1/pull").arg(line), up ? "pull-up" : "pull-down"); }
    QString value(int line) { return get(lineFolder + QString("sim_gpio%1/value").arg(line)); }

    bool ok = false;
    QString reason, device, chip, lineFolder;

private:
    static bool put(const QString& path, const QByteArray& text) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }
    static QString get(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }
};

TEST(GpioCard, SimulatedChipInputsAndRelays) {
    GpioSimChip sim;
    if (!sim.ok) GTEST_SKIP() << sim.reason.toStdString();
    platform::GpioCardConfig config;
    config.chip = sim.chip;
    config.inputs = platform::ParseGpioLines("0-7", nullptr);
    config.outputs = platform::ParseGpioLines("8-15", nullptr);
    auto card = platform::MakeGpioCardDriver(config);
    ASSERT_EQ(card->DriverInit(), 1) << card->TakeError().toStdString();
    EXPECT_EQ(card->GetConfigAddressSpace(0)[0], 1);
    ASSERT_TRUE(sim.pull(0, true));
    ASSERT_TRUE(sim.pull(3, true));
    EXPECT_EQ(card->DI8(0), 0x9);
    ASSERT_TRUE(sim.pull(0, false));
    EXPECT_EQ(card->DI8(0), 0x8);
    card->DO8(0, 5);
    EXPECT_EQ(sim.value(8), "1");
    EXPECT_EQ(sim.value(9), "0");
    EXPECT_EQ(sim.value(10), "1");
    EXPECT_TRUE(card->TakeError().isEmpty());
    card->Close();

    // Lines the chip does not have: no board.
    config.outputs = platform::ParseGpioLines("40-47", nullptr);
    auto wrong = platform::MakeGpioCardDriver(config);
    EXPECT_EQ(wrong->DriverInit(), 0);
    EXPECT_TRUE(wrong->TakeError().contains("has no line 40"));
}

TEST(GpioCard, MissingChipFindsNoBoard) {
    platform::GpioCardConfig config;
    auto none = platform::MakeGpioCardDriver(config);
    EXPECT_EQ(none->DriverInit(), 0);
    EXPECT_EQ(none->TakeError(), "no GPIO chip configured");
    config.chip = "/dev/quillon-no-such-gpiochip";
    config.inputs = config.outputs = platform::ParseGpioLines("0-7", nullptr);
    auto missing = platform::MakeGpioCardDriver(config);
    EXPECT_EQ(missing->DriverInit(), 0);
    EXPECT_TRUE(missing->TakeError().startsWith("GPIO chip /dev/quillon-no-such-gpiochip: "));
    EXPECT_EQ(missing->DI8(0), 0);
}

}  // namespace
