// The real windows on the state of the logic: recorder frames and tabs, the
// incident tab fed by the trace log, the close request, the menu, the setup
// window's pages, its save and close, and the trace lines it shows.
#include "archive/history.h"
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "core/operator_rights.h"
#include "core/main_controls.h"
#include "planning/planning.h"
#include "ui/setup/frm_setup.h"
#include "ui/setup/planning_editor.h"
#include "support/dialogs.h"
#include "support/app_globals.h"
#include "support/ini.h"
#include "support/tracelog.h"
#include "ui/bindings.h"
#include "ui/history_view.h"
#include "ui/incidents.h"
#include "ui/main_window.h"
#include "ui/program_shell.h"
#include "ui/setup_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>
#include <QtTest/qtestcase.h>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Answers the questions as a test operator would, and remembers them.
class ScriptedDialogs : public Dialogs {
public:
    QList<int> answers;
    QStringList questions, titles;
    int MessageBox(const QString& text, const QString& title, MsgButtons, MsgIcon, int defaultResult) override {
        questions << text;
        titles << title;
        return answers.isEmpty() ? defaultResult : answers.takeFirst();
    }
    QList<int> taskAnswers;
    QStringList tasks;
    QList<QStringList> taskButtons;
    QList<int> taskDefaults;
    int TaskDialog(const QString&, const QString& text, const QList<QPair<int, QString>>& buttons, int defaultId,
                   int) override {
        tasks << text;
        QStringList captions;
        for (const auto& b : buttons) captions << b.second;
        taskButtons << captions;
        taskDefaults << defaultId;
        return taskAnswers.isEmpty() ? defaultId : taskAnswers.takeFirst();
    }
};

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(drive_.isValid());
        qputenv("VELMORA_DRIVE", (drive_.path() + "/").toLocal8Bit());
        ResetIniCache();
        ResetTraceState();
        ResetSharedState();
        ResetSetupControls();
        ResetHistoryGrids();
        ResetMainWindowLogic();
        ResetOperatorState();
        Incidents().LabelIncidentsCount.setText(QString());
        SetDialogs(&dialogs_);
    }
    void TearDown() override {
        SetDialogs(nullptr);
        Trace().OnChanged = nullptr;
        ResetMainWindowLogic();
        qunsetenv("VELMORA_DRIVE");
    }
    QString drive() const { return drive_.path() + "/"; }

    QTemporaryDir drive_;
    ScriptedDialogs dialogs_;
};

template <class T, class M>
T* BoundTo(QWidget* root, const M& model) {
    for (T* w : root->findChildren<T*>())
        if (&w->model() == &model) return w;
    return nullptr;
}

// Value of a key in a section of an INI file, read independently of the
// program's reader.
QString IniValue(const QString& path, const QString& section, const QString& key) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<no file>";
    QString current;
    for (QString line : QString::fromUtf8(f.readAll()).split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) current = line.mid(1, line.indexOf(']') - 1);
        else if (current.compare(section, Qt::CaseInsensitive) == 0 && line.section('=', 0, 0).trimmed() == key)
            return line.section('=', 1).trimmed();
    }
    return "<no key>";
}

}  // namespace

TEST_F(WindowsTest, FramesAndTabsFollowTheRecordersInService) {
    SetRecordersInService(3);
    S().main.rec[0].MyFrameRecorder.setCaption("Pige Antenne");
    ui::MainWindow win;
    win.show();
    EXPECT_EQ(win.shownFrames(), 3);
    EXPECT_FALSE(win.recorder(2).frame->isHidden());
    EXPECT_TRUE(win.recorder(3).frame->isHidden());
    EXPECT_EQ(win.recorder(0).frame->title(), "Pige Antenne");
    QTabWidget* tabs = win.tabs();
    EXPECT_TRUE(tabs->isTabVisible(tabs->indexOf(win.recorder(1).tabPage)));
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(win.recorder(5).tabPage)));
    EXPECT_EQ(tabs->tabText(0), "Rec. 1: Pige Antenne");

    S().main.rec[1].Tab.setVisible(false);  // the settings loader hides a recorder not in service
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(win.recorder(1).tabPage)));
    S().main.IncidentsTab.setVisible(false);  // as the start-up does
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(win.incidentsPage())));

    // Elapsed time in large digits; red while recording.
    S().main.rec[0].LabelChrono.setText("12:34");
    EXPECT_EQ(win.recorder(0).chrono->text(), "12:34");
    auto shades = [&](QWidget* w) {
        int red = 0, black = 0;
        const QImage img = w->grab().toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 110 && c.blue() < 110) ++red;
                if (c.red() < 10 && c.green() < 10 && c.blue() < 10) ++black;
            }
        return std::make_pair(red, black * 100 / std::max(1, img.width() * img.height()));
    };
    QWidget* chrono = win.recorder(0).chrono;
    EXPECT_EQ(shades(chrono).first, 0) << "idle digits are not red";
    EXPECT_GT(shades(chrono).second, 50) << "the digits sit on black";
    S().main.rec[0].XPButtonRecord.setChecked(true);
    QApplication::processEvents();
    EXPECT_GT(shades(chrono).first, 100) << "recording: red digits";
    EXPECT_GE(chrono->font().pointSize(), 24);
}

TEST_F(WindowsTest, AnIncidentShowsItsTabAndThePurgeAsksFirst) {
    ui::MainWindow win;
    Trace().OnChanged = [&] { win.traceChanged(); };
    win.show();
    TraceLog(-1, 0, -1, "Err: Disque plein", true, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return win.incidentsList()->count() == 1; }, 2000));
    QTabWidget* tabs = win.tabs();
    const int idx = tabs->indexOf(win.incidentsPage());
    EXPECT_TRUE(S().main.CheckIncidents.checked());
    EXPECT_TRUE(tabs->isTabVisible(idx));
    EXPECT_EQ(tabs->currentIndex(), idx);
    EXPECT_EQ(tabs->tabText(idx), "Incidents (1)");
    EXPECT_TRUE(win.incidentsList()->item(0)->text().endsWith("Err: Disque plein"));

    TraceLog(-1, -1, -1, "Warning: second", true, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return win.incidentsList()->count() == 2; }, 2000));
    EXPECT_EQ(tabs->tabText(idx), "Incidents (2)");

    auto* purge = win.incidentsPage()->findChild<QPushButton*>("CommandIncidentsPurge");
    ASSERT_NE(purge, nullptr);
    dialogs_.answers = {MsgNo};
    QTest::mouseClick(purge, Qt::LeftButton);
    ASSERT_EQ(dialogs_.questions, QStringList({"Voulez-vous purger le liste des incidents ?"}));
    EXPECT_EQ(Trace().ListeIncidents.size(), 2) << "No keeps the list";
    EXPECT_TRUE(S().main.CheckIncidents.checked());

    dialogs_.answers = {MsgYes};
    QTest::mouseClick(purge, Qt::LeftButton);
    EXPECT_TRUE(Trace().ListeIncidents.isEmpty());
    EXPECT_FALSE(S().main.CheckIncidents.checked());
    EXPECT_FALSE(tabs->isTabVisible(idx));
    EXPECT_NE(tabs->currentIndex(), idx);
    ASSERT_TRUE(QTest::qWaitFor([&] { return win.incidentsList()->count() == 0; }, 2000));

    // Checking the box with an empty list shows the tab with the count 0.
    S().main.CheckIncidents.setChecked(true);
    EXPECT_TRUE(tabs->isTabVisible(idx));
    EXPECT_EQ(tabs->tabText(idx), "Incidents (0)");
}

TEST_F(WindowsTest, CloseBoxDuringStartUpIsRefusedAndTheMenuFollowsStartUp) {
    ui::MainWindow win;
    win.show();
    MainTimers().TimerFormat.start();  // formats not known yet: start-up runs
    win.close();
    QApplication::processEvents();
    EXPECT_TRUE(win.isVisible());
    EXPECT_FALSE(MainState().UnloadStarted);

    QAction* quit = win.fileMenu()->findChild<QAction*>("MnuQuitter");
    if (!quit)
        for (QAction* a : win.fileMenu()->actions())
            if (a->text() == "Quitter") quit = a;
    ASSERT_NE(quit, nullptr);
    win.fileMenu()->popup(win.mapToGlobal(QPoint(10, 10)));
    EXPECT_FALSE(quit->isEnabled()) << "no quitting from the menu before start-up has finished";
    win.fileMenu()->hide();
    MainTimers().TimerFormat.stop();
    win.fileMenu()->popup(win.mapToGlobal(QPoint(10, 10)));
    EXPECT_TRUE(quit->isEnabled());
    win.fileMenu()->hide();
}

TEST_F(WindowsTest, MainWindowGoesToItsStoredPlaceAndRemembersMoves) {
    ui::MainWindow win;
    MainWindowPos().left = 40;
    MainWindowPos().top = 30;
    win.showAtStoredPosition();
    EXPECT_EQ(win.pos(), QPoint(40, 30));
    EXPECT_TRUE(MainState().WindowShown);
    win.move(120, 90);
    QApplication::processEvents();
    EXPECT_EQ(MainWindowPos().left, 120);
    EXPECT_EQ(MainWindowPos().top, 90);
    win.hide();
    EXPECT_FALSE(MainState().WindowShown);
}

TEST_F(WindowsTest, HistoryGridShowsTheModelAndTheWheelScrollsIt) {
    HistoryGrid& grid = MSFlexGridHisto(0);
    InitGeneralGridHisto();
    const QString folder = drive() + "H/";
    QDir().mkpath(folder);
    for (int k = 0; k < 40; ++k) QFile(folder + QString("f%1.wav").arg(k, 2, 10, QChar('0'))).open(QIODevice::WriteOnly);
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.RecordFolder = folder; });
    InitAffichageHisto(0);
    ui::HistoryGridView view(0);
    view.resize(500, 200);
    view.show();
    grid.notify();
    QApplication::processEvents();
    ASSERT_EQ(view.model()->rowCount(), 40);
    EXPECT_EQ(view.model()->data(view.model()->index(3, kHistoColumnName)).toString(), "f36.wav");
    EXPECT_TRUE(view.isColumnHidden(kHistoColumnPath));
    EXPECT_TRUE(view.isColumnHidden(kHistoColumnDateText));
    EXPECT_FALSE(view.isColumnHidden(kHistoColumnDate));
    EXPECT_EQ(view.model()->headerData(kHistoColumnHour, Qt::Horizontal).toString(), "HH");

    QWheelEvent down(QPointF(50, 50), view.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &down);
    EXPECT_EQ(HistoWheelTarget(), 0);
    EXPECT_EQ(grid.TopRow, kHistoWheelRows);
    EXPECT_EQ(view.rowAt(0), kHistoWheelRows) << "the grid shows the rows from its scroll position";
}

TEST_F(WindowsTest, SetupWindowSavesWhatTheOperatorTyped) {
    ui::SetupWindow setup;
    setup.showAtStoredPosition();
    QApplication::setActiveWindow(&setup);
    setup.tabs()->setCurrentWidget(setup.tabs()->widget(1));
    QApplication::processEvents();

    auto* label = BoundTo<ui::BoundLineEdit>(&setup, ::Setup().TexteLibelleRecorder[0]);
    auto* folder = BoundTo<ui::BoundLineEdit>(&setup, ::Setup().TexteDossier[0]);
    ASSERT_NE(label, nullptr);
    ASSERT_NE(folder, nullptr);
    label->setFocus();
    QTest::keyClicks(label, "Studio A");
    EXPECT_EQ(::Setup().TexteLibelleRecorder[0].text(), "Studio A");
    EXPECT_EQ(S().main.rec[0].MyFrameRecorder.caption(), "Studio A") << "the label is the frame's caption";

    const QString target = drive() + "Pige/";
    folder->setFocus();
    QTest::keyClicks(folder, target);
    // Saved straight away, while the folder field still has the focus.
    QTest::mouseClick(setup.saveButton(), Qt::LeftButton);
    const QString file = NomFichierSettings(".Ini", "");
    EXPECT_EQ(IniValue(file, "Recorder_00", "Lib"), "Studio A");
    EXPECT_EQ(IniValue(file, "Recorder_00", "PigeFolder"), target);
    EXPECT_EQ(Rec(0).config().RecordFolder, target);

    QTest::mouseClick(setup.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(setup.isVisible());
    EXPECT_FALSE(::Setup().visible);
    setup.showAtStoredPosition();
    setup.close();  // the close box only hides the window
    EXPECT_FALSE(setup.isVisible());
    EXPECT_FALSE(::Setup().visible);
}

TEST_F(WindowsTest, SetupPagesFollowTheirModels) {
    ui::SetupWindow setup;
    setup.show();
    QTabWidget* tabs = setup.tabs();
    EXPECT_EQ(tabs->tabText(0), "Général");
    ::Setup().OptionTabs[3].setVisible(false);
    EXPECT_FALSE(tabs->isTabVisible(3));
    EXPECT_TRUE(tabs->isTabVisible(2));

    PlanningLine& line = ::Setup().PlanningTable[2];
    line.Recorder = "Recorder 2 ";
    line.Frequence = "Jour";
    line.Heure = "07";
    line.Minute = "30";
    line.LineEnabled = true;
    line.Duree = "60";
    FillPlanningListView();
    QTableWidget* table = setup.planningTable();
    ASSERT_EQ(table->rowCount(), kPlanningSlots);
    ASSERT_EQ(table->columnCount(), 13);
    EXPECT_EQ(table->item(2, 0)->text(), "Recorder 2");
    EXPECT_EQ(table->item(2, 1)->text(), "Jour");
    EXPECT_EQ(table->item(2, 6)->text(), "07");
    EXPECT_EQ(table->item(2, 8)->text(), "O");
    EXPECT_EQ(table->item(2, 9)->text(), "60");
    EXPECT_EQ(table->item(2, 12)->text(), "002");
    EXPECT_EQ(table->item(0, 8)->text(), "") << "a free slot shows empty cells";
    EXPECT_EQ(table->horizontalHeaderItem(10)->text(), "Fichier son à générer");

    FreeSpaceDisplay& space = ::Setup().FreeSpace[0];
    space.gaugeMax = 100;
    space.gaugeValue = 40;
    space.LabelVolumeOccupe.setText("12 Go");
    QProgressBar* gauge = setup.recorderPage(0)->findChild<QProgressBar*>();
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->value(), 40);

    // A combo of the recorder's page edits its model.
    auto* formats = BoundTo<ui::BoundComboBox>(&setup, ::Setup().ComboInputFormats[0]);
    ASSERT_NE(formats, nullptr);
    EXPECT_GE(formats->count(), 0);
    auto* slices = BoundTo<ui::BoundComboBox>(&setup, ::Setup().ComboPigeTimingFin[0]);
    ASSERT_NE(slices, nullptr);
    EXPECT_EQ(slices->count(), ::Setup().ComboPigeTimingFin[0].count());
}

TEST_F(WindowsTest, TraceLinesStayVisibleAcrossFlushes) {
    ui::SetupWindow setup;
    Trace().OnChanged = [&] { setup.traceChanged(); };
    Trace().SetupLoaded = true;
    Trace().LogFolder = drive() + "AudioLog/";
    TraceLog(-1, -1, -1, "Ligne A", false, true);  // written out: ListeLog empties
    TraceLog(-1, -1, -1, "Ligne B", false, false);
    TraceLog(-1, -1, -1, "Ligne C", false, true);
    EXPECT_TRUE(Trace().ListeLog.isEmpty());
    QStringList ours;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            ours.clear();
            for (const QString& l : setup.shownTraceLines())
                if (l.contains("Ligne ")) ours << l.section(':', -1).trimmed();
            return ours.size() >= 3;
        },
        2000));
    EXPECT_EQ(ours, QStringList({"Ligne A", "Ligne B", "Ligne C"}));
}

// The program's setup window is built when first opened; what was traced
// before (and while it is hidden) is there when it opens, in order.
TEST_F(WindowsTest, TheSetupWindowOpenedLateShowsTheLinesTracedBefore) {
    ui::ProgramShell shell;
    shell.install(false);
    Trace().SetupLoaded = true;
    Trace().LogFolder = drive() + "AudioLog/";
    TraceLog(-1, -1, -1, "Ligne avant 1", false, true);  // written out: ListeLog empties
    TraceLog(-1, -1, -1, "Ligne avant 2", false, false);
    Mnu01Options_Click();
    ui::SetupWindow* setup = shell.setupWindow();
    ASSERT_TRUE(setup->isVisible());
    Mnu01Options_Click();
    ASSERT_FALSE(setup->isVisible());
    TraceLog(-1, -1, -1, "Ligne cachée", false, true);
    auto ours = [&] {
        QStringList l;
        for (const QString& line : setup->shownTraceLines())
            if (line.contains("Ligne ")) l << line.section(':', -1).trimmed();
        return l;
    };
    EXPECT_EQ(ours(), QStringList({"Ligne avant 1", "Ligne avant 2", "Ligne cachée"}));
    Mnu01Options_Click();
    ASSERT_TRUE(setup->isVisible());
    QTest::qWait(100);
    EXPECT_EQ(ours(), QStringList({"Ligne avant 1", "Ligne avant 2", "Ligne cachée"})) << "each line once";
}

TEST_F(WindowsTest, StandbyWithoutNotificationAreaMinimisesAndOptionsToggleTheSetup) {
    ui::ProgramShell shell;
    shell.install(false);
    shell.mainWindow()->showAtStoredPosition();
    MiseEnVeilleForcee();
    QApplication::processEvents();
    if (shell.trayIcon()) {
        EXPECT_FALSE(shell.mainWindow()->isVisible());
    } else {
        EXPECT_TRUE(shell.mainWindow()->isMinimized()) << "without a tray the window must stay reachable";
    }
    EXPECT_FALSE(MainState().WindowShown);
    shell.restoreMain();
    EXPECT_TRUE(MainState().WindowShown);

    Mnu01Options_Click();
    EXPECT_TRUE(shell.setupWindow()->isVisible());
    Mnu01Options_Click();
    EXPECT_FALSE(shell.setupWindow()->isVisible());
}

TEST_F(WindowsTest, MenuShowsTheOperatorAndTheWindowStepsAsideForTheSelection) {
    ui::ProgramShell shell;
    shell.install(false);
    ui::MainWindow* win = shell.mainWindow();
    win->showAtStoredPosition();
    QMap<QString, QAction*> entries;
    for (QAction* a : win->fileMenu()->actions()) entries.insert(a->objectName(), a);
    QAction* user = entries.value("MnuUserCurrent");
    QAction* options = entries.value("Mnu01Options");
    QAction* change = entries.value("MnuChangeUser");
    ASSERT_TRUE(user && options && change);
    EXPECT_EQ(change->text().remove(QLatin1Char('&')), "Changer d'utilisateur...");

    // The selection program: a moment on screen, then it publishes Denis,
    // who has no setup right.
    const QString chosen = drive() + "chosen.ini";
    const QString registry = drive() + "Windows/Registry/HKEY_LOCAL_MACHINE.ini";
    const QString program = drive() + "Tessaline/Velmora/VM3_Quillon_User";
    QDir().mkpath(drive() + "Tessaline/Velmora");
    QDir().mkpath(drive() + "Windows/Registry");
    auto write = [](const QString& path, const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(chosen, "[Software\\Tessaline\\Velmora\\User]\r\nVM_User=4\r\nVM_User_Name=Denis\r\n"
                  "VM_User_Droits=1\r\nVM_User_Button=OK\r\n");
    write(program, QString("#!/bin/sh\nsleep 0.4\ncp '%1' '%2'\n").arg(chosen, registry).toUtf8());
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    bool shownMeanwhile = true;
    QTimer::singleShot(200, [&] { shownMeanwhile = win->isVisible(); });
    change->trigger();
    EXPECT_FALSE(shownMeanwhile) << "the main window steps aside while the selection runs";
    EXPECT_TRUE(win->isVisible());
    EXPECT_TRUE(user->isVisible());
    EXPECT_EQ(user->text(), "Utilisateur en cours: Denis");
    EXPECT_FALSE(options->isEnabled());
    EXPECT_EQ(dialogs_.questions, QStringList({"Utilisateur (Denis) non autorisé"}));
}

TEST_F(WindowsTest, ActifBoxesOnTheGeneralTabShowAndHideTheRecorderTabs) {
    ui::SetupWindow setup;
    setup.show();
    QTabWidget* tabs = setup.tabs();
    QWidget* general = tabs->widget(0);
    auto* actif5 = general->findChild<ui::BoundCheckBox*>("CheckActif4");
    ASSERT_NE(actif5, nullptr) << "the box of recorder 5 sits on the general tab";
    EXPECT_EQ(&actif5->model(), &::Setup().CheckActif[4]);
    EXPECT_EQ(general->findChildren<ui::BoundCheckBox*>(QRegularExpression("^CheckActif\\d$")).size(), kRecorders);
    const int tab5 = tabs->indexOf(setup.recorderPage(4)->parentWidget()->parentWidget());
    ASSERT_GE(tab5, 0);
    ::Setup().OptionTabs[5].setVisible(false);
    ASSERT_FALSE(tabs->isTabVisible(tab5));

    tabs->setCurrentIndex(0);
    QTest::mouseClick(actif5, Qt::LeftButton, {}, QPoint(8, actif5->height() / 2));
    EXPECT_TRUE(::Setup().CheckActif[4].checked());
    EXPECT_TRUE(tabs->isTabVisible(tab5)) << "ticking shows the recorder's tab";
    EXPECT_TRUE(SetupFlags().SettingsModified);
    QTest::mouseClick(actif5, Qt::LeftButton, {}, QPoint(8, actif5->height() / 2));
    EXPECT_FALSE(tabs->isTabVisible(tab5)) << "unticking hides it";
    EXPECT_TRUE(actif5->isVisible()) << "and the box stays reachable";
    QTest::mouseClick(actif5, Qt::LeftButton, {}, QPoint(8, actif5->height() / 2));
    EXPECT_TRUE(tabs->isTabVisible(tab5)) << "ticking again shows it again";
}

TEST_F(WindowsTest, CloseWithUnsavedEditsAsksAndCancelKeepsThem) {
    ui::SetupWindow setup;
    setup.showAtStoredPosition();
    QApplication::setActiveWindow(&setup);
    setup.tabs()->setCurrentWidget(setup.tabs()->widget(1));
    QApplication::processEvents();
    auto* label = BoundTo<ui::BoundLineEdit>(&setup, ::Setup().TexteLibelleRecorder[0]);
    ASSERT_NE(label, nullptr);
    label->setFocus();
    QTest::keyClicks(label, "Studio B");
    ASSERT_TRUE(SetupFlags().SettingsModified);
    const QString file = NomFichierSettings(".Ini", "");

    // Cancel (the default): the window stays open with the edits.
    QTest::mouseClick(setup.closeButton(), Qt::LeftButton);
    ASSERT_EQ(dialogs_.tasks.size(), 1);
    EXPECT_EQ(dialogs_.taskButtons[0], (QStringList{"Enregistrer", "Ne pas enregistrer", "Annuler"}));
    EXPECT_EQ(dialogs_.taskDefaults[0], kCloseCancel);
    EXPECT_TRUE(setup.isVisible());
    EXPECT_EQ(label->text(), "Studio B");
    EXPECT_TRUE(SetupFlags().SettingsModified);
    EXPECT_NE(IniValue(file, "Recorder_00", "Lib"), "Studio B");

    // The close box asks the same.
    setup.close();
    EXPECT_EQ(dialogs_.tasks.size(), 2);
    EXPECT_TRUE(setup.isVisible());

    // Save: written, then closed.
    dialogs_.taskAnswers = {kCloseSave};
    QTest::mouseClick(setup.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(setup.isVisible());
    EXPECT_EQ(IniValue(file, "Recorder_00", "Lib"), "Studio B");
    EXPECT_FALSE(SetupFlags().SettingsModified);

    // Nothing modified: closes without a question.
    setup.showAtStoredPosition();
    QTest::mouseClick(setup.closeButton(), Qt::LeftButton);
    EXPECT_EQ(dialogs_.tasks.size(), 3);
    EXPECT_FALSE(setup.isVisible());

    // Do not save: closes, the file keeps the saved text.
    setup.showAtStoredPosition();
    label->setFocus();
    QTest::keyClicks(label, "X");
    dialogs_.taskAnswers = {kCloseDiscard};
    QTest::mouseClick(setup.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(setup.isVisible());
    EXPECT_EQ(IniValue(file, "Recorder_00", "Lib"), "Studio B");
}

TEST_F(WindowsTest, MenusHaveAcceleratorsAndTheAboutBoxTellsTheVersions) {
    ui::MainWindow win;
    EXPECT_EQ(win.fileMenu()->title(), "&Fichier");
    for (QAction* a : win.fileMenu()->actions()) {
        if (a->isSeparator() || a->objectName() == "MnuUserCurrent") continue;
        EXPECT_TRUE(a->text().contains('&')) << a->text().toStdString();
    }
    ASSERT_NE(win.helpMenu(), nullptr);
    const QString about = ui::MainWindow::aboutText();
    EXPECT_TRUE(about.contains(VersionApplication()));
    EXPECT_TRUE(about.contains(QString::fromLatin1(qVersion())));
    EXPECT_TRUE(about.contains("FFmpeg"));
    EXPECT_TRUE(about.contains("libpulse"));
}

TEST_F(WindowsTest, QtOwnTextsAreFrench) {
    // Qt's translations are loaded by the test entry as by the program.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Annuler");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), "Voir dans :");
}

namespace {

// Stand-ins for the desktop's opener and type query, first in PATH: each
// call of the opener is written to a file.
class StandInOpener {
public:
    explicit StandInOpener(const QString& folder) : folder_(folder), calls_(folder + "opened.txt") {
        QDir().mkpath(folder_);
        Write(folder_ + "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >>'" + calls_ + "'\n");
        Write(folder_ + "xdg-mime", "#!/bin/sh\necho stand-in-player.desktop\n");
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", folder_.toLocal8Bit() + ":" + oldPath_);
    }
    ~StandInOpener() { qputenv("PATH", oldPath_); }
    QStringList calls() const {
        QFile f(calls_);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    bool waitForCalls(int n) const {
        for (int k = 0; k < 100 && calls().size() < n; ++k) QTest::qWait(20);
        return calls().size() >= n;
    }

private:
    static void Write(const QString& path, const QString& text) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QString folder_, calls_;
    QByteArray oldPath_;
};

// A WAV file of `seconds` of silence, 44.1 kHz 16-bit stereo.
void WriteWav(const QString& path, double seconds) {
    const quint32 bytes = quint32(seconds * 44100) * 4;
    QByteArray h;
    auto le32 = [&](quint32 v) { for (int k = 0; k < 4; ++k) h.append(char((v >> (8 * k)) & 0xff)); };
    auto le16 = [&](quint16 v) { h.append(char(v & 0xff)); h.append(char(v >> 8)); };
    h += "RIFF"; le32(36 + bytes); h += "WAVEfmt "; le32(16); le16(1); le16(2); le32(44100); le32(44100 * 4);
    le16(4); le16(16); h += "data"; le32(bytes);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(h);
    f.write(QByteArray(int(bytes), '\0'));
}

}  // namespace

TEST_F(WindowsTest, HistoryGridFollowsTheFolderAndPlaysWithTheDesktopOpener) {
    InitGeneralGridHisto();
    const QString folder = drive() + "Studio/";
    QDir().mkpath(folder);
    WriteWav(folder + "Journal 20240311_11_30_05.wav", 2.5);
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.RecordFolder = folder; });
    InitAffichageHisto(0);
    ui::HistoryGridView view(0);
    view.resize(900, 300);
    view.show();
    QAbstractItemModel* m = view.model();
    ASSERT_EQ(m->rowCount(), 1);

    // The length is read on the worker thread and shown; the size at once.
    EXPECT_EQ(m->data(m->index(0, kHistoColumnSize)).toString(), "431 Ko");
    QTRY_COMPARE_WITH_TIMEOUT(m->data(m->index(0, kHistoColumnDuration)).toString(), QString("0:03"), 5000);

    // A file copied into the folder appears by itself; newest name first.
    QFile::copy(folder + "Journal 20240311_11_30_05.wav", folder + "Journal 20240312_08_00_00.wav");
    QTRY_COMPARE_WITH_TIMEOUT(m->rowCount(), 2, 3000);
    EXPECT_EQ(m->data(m->index(0, kHistoColumnName)).toString(), "Journal 20240312_08_00_00.wav");
    // And one deleted goes.
    QFile::remove(folder + "Journal 20240311_11_30_05.wav");
    QTRY_COMPARE_WITH_TIMEOUT(m->rowCount(), 1, 3000);

    // Double-click hands the file to the desktop's opener; Enter too.
    StandInOpener opener(drive() + "bin/");
    const QRect cell = view.visualRect(m->index(0, kHistoColumnDate));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_TRUE(opener.waitForCalls(1)) << (Trace().ListeLogTemp + Trace().ListeLog).join("\n").toStdString();
    EXPECT_EQ(opener.calls().value(0), folder + "Journal 20240312_08_00_00.wav");
    view.setCurrentIndex(m->index(0, 0));
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_TRUE(opener.waitForCalls(2));
    HistoOpenFolder(0);
    ASSERT_TRUE(opener.waitForCalls(3));
    EXPECT_EQ(opener.calls().value(2), folder);
}

TEST_F(WindowsTest, MetersTickOnlyWhileTheWindowIsSeen) {
    SetRecordersInService(1);
    ui::MainWindow win;
    EXPECT_FALSE(win.metersRunning()) << "a window never shown costs nothing";
    win.show();
    QApplication::processEvents();
    EXPECT_TRUE(win.metersRunning());
    EXPECT_GE(ui::MainWindow::kMeterPeriodMs, 40) << "25 refreshes a second at most";
    win.showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(win.metersRunning()) << "minimised";
    win.showNormal();
    QApplication::processEvents();
    EXPECT_TRUE(win.metersRunning());
    win.hide();  // standby in the notification area hides the window
    QApplication::processEvents();
    EXPECT_FALSE(win.metersRunning()) << "hidden";
}

TEST_F(WindowsTest, AWindowNobodySeesOffscreenStopsTheMetersAndPanelTexts) {
    if (QGuiApplication::platformName() != "offscreen") GTEST_SKIP() << "needs the offscreen platform";
    SetRecordersInService(2);
    ui::MainWindow::SetOffscreenSeen(false);
    struct Restore {
        ~Restore() { ui::MainWindow::SetOffscreenSeen(true); }
    } restore;
    ui::MainWindow win;
    win.show();
    QApplication::processEvents();
    EXPECT_TRUE(win.isVisible());
    EXPECT_FALSE(win.metersRunning()) << "shown on no screen: nothing to refresh";
    EXPECT_FALSE(win.panelsRunning()) << "nor the panels' status texts";
    // Told that the window is seen, a new showing starts them.
    ui::MainWindow::SetOffscreenSeen(true);
    win.hide();
    win.show();
    QApplication::processEvents();
    EXPECT_TRUE(win.metersRunning());
    EXPECT_TRUE(win.panelsRunning());
}
