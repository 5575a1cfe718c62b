// Keyboard shortcuts on the real main window: key events sent to its widgets
// reach the shortcut table (modifier rule, first recorder wins, a held key
// acts once), those of the setup window's text fields do not, and a record
// shortcut pressed twice starts then stops a real recording.
#include "core/local_inputs.h"
#include "core/recording_fixture.h"
#include "ui/bindings.h"
#include "ui/main_window.h"
#include "ui/program_shell.h"
#include "ui/setup_window.h"
#include "ui/xpbutton_widget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>
#include <memory>
#include <unistd.h>

using namespace h5b;

namespace {

class KeyboardTest : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        ResetLocalInputs();
        shell = std::make_unique<ui::ProgramShell>();
        shell->install(false);
        shell->mainWindow()->refreshAll();
        shell->mainWindow()->show();
    }
    void TearDown() override {
        shell.reset();
        if (!sineModule.isEmpty()) Pactl({"unload-module", sineModule});
        RecorderFixture::TearDown();
    }

    static QString Pactl(const QStringList& args) {
        QProcess p;
        p.start("pactl", args);
        p.waitForFinished(5000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    void Bind(int recorder, int command, bool ctrl, bool alt, bool shift, int key) {
        EditRecorderConfig(recorder, [&](RecorderConfig& c) {
            c.Keys[size_t(command)] = KeyboardBinding{ctrl, alt, shift, 0, key};
        });
    }
    int KeyboardActions(int recorder) { return CountOf(TracesOf(recorder), ">>>>>Keyboard action<<<<<"); }
    bool WaitForTrace(int recorder, const QString& text, int ms) {
        return platform::WaitInEventLoop([&] { return TracesOf(recorder).contains(text); }, ms);
    }
    QWidget* Main() { return shell->mainWindow(); }

    std::unique_ptr<ui::ProgramShell> shell;
    QString sineModule;
};

TEST_F(KeyboardTest, ShortcutsMatchModifiersExactlyAndTheFirstRecorderOnly) {
    Prepare(0, 1, Folder("Rec1"));
    Prepare(1, 1, Folder("Rec2"));
    Bind(0, 0, true, false, false, 'R');  // Ctrl+R records on recorder 1 ...
    Bind(1, 0, true, false, false, 'R');  // ... and on recorder 2: the first wins
    Bind(1, 2, false, false, false, 116);  // F5 stops recorder 2
    // A key pressed on a widget of recorder 2's frame.
    QWidget* target = shell->mainWindow()->recorder(1).record;
    ASSERT_NE(target, nullptr);

    QTest::keyClick(target, Qt::Key_R);  // no Ctrl: nothing
    QTest::keyClick(target, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);  // one modifier too many
    QTest::keyClick(target, Qt::Key_F5, Qt::AltModifier);
    EXPECT_EQ(KeyboardActions(0) + KeyboardActions(1), 0);
    EXPECT_FALSE(RecordButton(0).Checked());

    QTest::keyClick(target, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(KeyboardActions(0), 1);
    EXPECT_EQ(KeyboardActions(1), 0);
    EXPECT_TRUE(RecordButton(0).Checked());
    EXPECT_FALSE(RecordButton(1).Checked());
    EXPECT_EQ(CountOf(TracesOf(0), "XPButtonRecord.Checked: True |Sub: Frm_Main:GestionClavier"), 1);
    ASSERT_TRUE(WaitForTrace(0, "RecordingStarted", 5000));

    // The key held down: its repeats do nothing.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_R, Qt::ControlModifier, "r", true);
    QApplication::sendEvent(target, &repeat);
    EXPECT_EQ(KeyboardActions(0), 1);
    EXPECT_TRUE(RecordButton(0).Checked());

    QTest::keyClick(Main(), Qt::Key_F5);
    EXPECT_EQ(KeyboardActions(1), 1);

    // The setup window's text fields keep their keys.
    ui::SetupWindow* setup = shell->setupWindow();
    setup->show();
    ui::BoundLineEdit* label = nullptr;
    for (auto* e : setup->findChildren<ui::BoundLineEdit*>())
        if (&e->model() == &::Setup().TexteLibelleRecorder[0]) label = e;
    ASSERT_NE(label, nullptr);
    label->setFocus();
    QTest::keyClick(label, Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(label, Qt::Key_F5);
    QTest::keyClicks(label, "Rx");
    EXPECT_EQ(KeyboardActions(0), 1);
    EXPECT_EQ(KeyboardActions(1), 1);
    EXPECT_TRUE(label->text().endsWith("Rx"));

    // The modifier state follows presses and releases of the modifier keys.
    QTest::keyPress(Main(), Qt::Key_Control);
    EXPECT_TRUE(Modifiers().CtrlDown);
    QTest::keyRelease(Main(), Qt::Key_Control, Qt::ControlModifier);
    EXPECT_FALSE(Modifiers().CtrlDown);

    // Pressed again: the recording stops.
    QTest::keyClick(target, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(KeyboardActions(0), 2);
    EXPECT_EQ(CountOf(TracesOf(0), "XPButtonRecord.Checked: False |Sub: Frm_Main:GestionClavier"), 1);
    EXPECT_TRUE(platform::WaitInEventLoop([&] { return Finalisations(0) == 1; }, 10000));
}

TEST_F(KeyboardTest, RecordShortcutPressedTwiceRecordsTheSoundServerSource) {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh (private test server)";
    // A sine source of this test's own (the server's feeds one recording at a time).
    const QString name = QString("qr_keyboard_sine_%1").arg(getpid());
    sineModule = Pactl({"load-module", "module-sine-source", "source_name=" + name, "rate=48000", "frequency=440"});
    ASSERT_FALSE(sineModule.isEmpty());
    int device = -1;
    platform::WaitInEventLoop([&] {
        for (int d = 0; d < Engine(0).InputDeviceCount(); ++d)
            if (Engine(0).InputDeviceSystemName(d) == name) device = d;
        return device >= 0;
    }, 5000);
    ASSERT_GE(device, 0);
    const QString folder = Folder("Clavier");
    Prepare(0, 1, folder);
    QStringList devices;
    for (int d = 0; d < Engine(0).InputDeviceCount(); ++d) devices << Engine(0).InputDeviceName(d);
    ::Setup().ComboInputDevices[0].setEntries(devices);
    ::Setup().ComboInputDevices[0].setListIndex(device);
    Bind(0, 0, false, false, false, 120);  // F9

    QTest::keyClick(Main(), Qt::Key_F9);
    ASSERT_TRUE(WaitForTrace(0, "RecordingStarted", 5000)) << TracesOf(0).join(" | ").toStdString();
    platform::LetEventsRunFor(1200);
    QTest::keyClick(Main(), Qt::Key_F9);
    ASSERT_TRUE(platform::WaitInEventLoop([&] { return Finalisations(0) == 1; }, 10000));
    EXPECT_FALSE(RecordButton(0).Checked());

    // Named by the pattern (a keyboard start asks nobody), one second of 440 Hz.
    const QStringList files = FilesIn(folder);
    ASSERT_EQ(files, QStringList{"20240115_10_20_30.wav"});
    const Probe p = ProbeFile(folder + files[0]);
    ASSERT_TRUE(p.ok);
    EXPECT_GT(p.duration, 0.8);
    EXPECT_EQ(dialogs.saveCalls, 0);
}

}  // namespace
