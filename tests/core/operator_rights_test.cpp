// The operator of the workstation: rights read from the registry file, the
// user-selection program (a real stand-in program written by the test), the
// mandatory operator at start-up and from the menu.
#include "main_window_sandbox.h"

#include "core/main_window_state.h"
#include "platform/os.h"

#include <QElapsedTimer>
#include <QTimer>
#include <csignal>

namespace {

const QString kSetupRights = QString(30, '0') + "1";

class OperatorTest : public MainWindowSandbox {
protected:
    void SetUp() override {
        MainWindowSandbox::SetUp();
        stand = drive + "standin/";
        QDir().mkpath(stand);
        MainHost().HideMainTemporarily = [this] { ++hides; };
        MainHost().ShowMain = [this] { ++shows; };
        MainHost().ShowSetup = [this](bool show) { setupShown = show; };
        MainHost().SetupVisible = [this] { return setupShown; };
        S().main.caption = "Velmora: Quillon Recorder - test";
        App().MainWindowCaption = S().main.caption;
    }

    QString registryFile() const { return drive + "Windows/Registry/HKEY_LOCAL_MACHINE.ini"; }
    static QStringList operatorLines(const QString& id, const QString& name, const QString& rights,
                                     const QString& button = "OK") {
        return {"[Software\\Tessaline\\Velmora\\User]", "VM_User=" + id, "VM_User_Name=" + name,
                "VM_User_Droits=" + rights, "VM_User_Button=" + button};
    }
    void publishOperator(const QString& id, const QString& name, const QString& rights, const QString& button = "OK") {
        writeFile(registryFile(), operatorLines(id, name, rights, button));
    }
    // What the stand-in publishes at its n-th run (0: every run without its own).
    void standInPublishes(const QStringList& lines, int run = 0) {
        writeFile(stand + (run ? QString("reg.%1").arg(run) : QString("reg")), lines);
    }
    void standInSleeps(double seconds) { writeFile(stand + "sleep", {QString::number(seconds)}); }

    // The family's selection program, played by a shell script: it counts
    // its runs, keeps its arguments, waits when asked, then publishes the
    // operator the test prepared for this run.
    QString installStandIn() {
        const QString path = appFolder() + "VM3_Quillon_User";
        const QString body = QString(R"SH(#!/bin/sh
d='%1'
n=$(cat "$d/runs" 2>/dev/null || echo 0); n=$((n + 1)); echo "$n" > "$d/runs"
printf '%s\n' "$@" > "$d/args"
echo $$ > "$d/pid"
if [ -f "$d/sleep" ]; then sleep "$(tr -d '\r\n' < "$d/sleep")"; fi
src="$d/reg.$n"; [ -f "$src" ] || src="$d/reg"
if [ -f "$src" ]; then mkdir -p '%2'; cp "$src" '%3.tmp' && mv '%3.tmp' '%3'; fi
exit 0
)SH")
                                 .arg(stand, drive + "Windows/Registry", registryFile());
        QDir().mkpath(appFolder());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(body.toUtf8());
        f.close();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    int standInRuns() const { return fileText(stand + "runs").trimmed().toInt(); }

    void makeOperatorMandatory() { writeFile(configFolder() + "VM3_Systeme.ini", {"[DroitsUsers]", "Actif=1"}); }

    QStringList boxTexts() const {
        QStringList out;
        for (const auto& b : dialogs.boxes) out << b.text;
        return out;
    }

    QString stand;
    int hides = 0, shows = 0;
    bool setupShown = false;
};

}  // namespace

TEST_F(OperatorTest, RightsComeFromTheRegistryFile) {
    // Character 31 set: the setup right; the entry shows who works.
    S().main.Mnu01Options.setEnabled(false);
    publishOperator("7", "Alice Martin", kSetupRights);
    EXPECT_FALSE(GestionDroitsUser(false));
    EXPECT_TRUE(S().main.Mnu01Options.enabled());
    EXPECT_TRUE(S().main.MnuUserCurrent.visible());
    EXPECT_EQ(S().main.MnuUserCurrent.caption(), "Utilisateur en cours: Alice Martin");
    EXPECT_TRUE(Operator().UserPresent);
    EXPECT_TRUE(dialogs.boxes.isEmpty());

    // Every other right, the list beyond the 48 single rights included.
    publishOperator("7", "Alice Martin", "1" + QString(47, '0') + "0" + QString(18, '0') + "3");
    EXPECT_TRUE(GestionDroitsUser(false));
    EXPECT_EQ(Operator().DroitsUser[0], 1);
    EXPECT_EQ(Operator().DroitsUser[30], 0);
    EXPECT_EQ(Operator().DroitsUserListe[0], 0);
    EXPECT_EQ(Operator().DroitsUserListe[19], 3);

    // Shorter than 31 characters: no setup right, told to the operator.
    dialogs.boxes.clear();
    S().main.Mnu01Options.setEnabled(true);
    publishOperator("8", "Bruno", QString(30, '1'));
    EXPECT_TRUE(GestionDroitsUser(false));
    EXPECT_FALSE(S().main.Mnu01Options.enabled());
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Utilisateur (Bruno) non autorisé");
    EXPECT_EQ(dialogs.boxes[0].title, S().main.caption);
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Critical);

    // Closed with "Fermer": refused without a word, unless asked interactively.
    dialogs.boxes.clear();
    publishOperator("8", "Bruno", "0", "Fermer");
    EXPECT_TRUE(GestionDroitsUser(false));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_TRUE(GestionDroitsUser(true));
    EXPECT_EQ(boxTexts(), QStringList({"Utilisateur (Bruno) non autorisé"}));
}

TEST_F(OperatorTest, NoOperatorHidesTheEntryAndLeavesOptionsAsItWas) {
    for (bool optionsEnabled : {true, false}) {
        S().main.Mnu01Options.setEnabled(optionsEnabled);
        S().main.MnuUserCurrent.setVisible(true);
        publishOperator("  ", "Ghost", kSetupRights);
        EXPECT_FALSE(GestionDroitsUser(true));
        EXPECT_FALSE(S().main.MnuUserCurrent.visible());
        EXPECT_EQ(S().main.Mnu01Options.enabled(), optionsEnabled);
        EXPECT_FALSE(Operator().UserPresent);
        EXPECT_TRUE(Operator().UserName.isEmpty());
    }
    // No registry file at all reads the same.
    QFile::remove(registryFile());
    EXPECT_FALSE(GestionDroitsUser(false));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(OperatorTest, AnOperatorWithoutTheSetupRightDoesNotKeepTheSetupWindowOpen) {
    setupShown = true;
    ::Setup().visible = true;
    publishOperator("9", "Chloé", "");
    EXPECT_TRUE(GestionDroitsUser(false));
    EXPECT_FALSE(setupShown);
}

TEST_F(OperatorTest, SelectionProgramRunsWhileTheMainWindowIsHidden) {
    MainState().WindowShown = true;
    S().main.Mnu01Options.setEnabled(false);
    installStandIn();
    standInSleeps(0.4);
    standInPublishes(operatorLines("12", "Denis", kSetupRights));
    // Looked at while the program runs.
    bool visibleMeanwhile = true;
    int hidesMeanwhile = -1, runsMeanwhile = -1;
    QTimer::singleShot(250, [&] {
        visibleMeanwhile = MainState().WindowShown;
        hidesMeanwhile = hides;
        runsMeanwhile = standInRuns();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(SelectUser());
    EXPECT_GE(t.elapsed(), 350) << "SelectUser must wait for the program";
    EXPECT_FALSE(visibleMeanwhile);
    EXPECT_EQ(hidesMeanwhile, 1);
    EXPECT_EQ(runsMeanwhile, 1);
    // Back, with the operator the program chose.
    EXPECT_TRUE(MainState().WindowShown);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(fileText(stand + "args"), "/Close\n");
    EXPECT_EQ(Operator().UserId, "12");
    EXPECT_EQ(S().main.MnuUserCurrent.caption(), "Utilisateur en cours: Denis");
    EXPECT_TRUE(S().main.Mnu01Options.enabled());
}

TEST_F(OperatorTest, MissingSelectionProgramIsToldAndRefused) {
    MainState().WindowShown = true;
    EXPECT_TRUE(SelectUser());
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Programme non trouvé:\n\n" + appFolder() + "VM3_Quillon_User");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Warning);
    EXPECT_EQ(dialogs.boxes[0].title, S().main.caption);
    EXPECT_EQ(hides, 0);
    EXPECT_TRUE(MainState().WindowShown);
    EXPECT_TRUE(Operator().SelectionUnavailable);

    // A file that cannot be run is no better: an incident, refused.
    dialogs.boxes.clear();
    writeFile(appFolder() + "VM3_Quillon_User", {"not a program"});
    QFile::setPermissions(appFolder() + "VM3_Quillon_User", QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_TRUE(SelectUser());
    EXPECT_EQ(hides, 0);
    EXPECT_TRUE(Operator().SelectionUnavailable);
    EXPECT_FALSE(Trace().ListeIncidents.filter("VM3_Quillon_User").isEmpty());
}

TEST_F(OperatorTest, SelectionThatNeverEndsIsWaitedForOnlyUpToTheLimit) {
    MainState().WindowShown = true;
    installStandIn();
    standInSleeps(20);
    publishOperator("3", "Emma", kSetupRights);
    SetUserSelectionWaitLimit(1000);
    // The limit counts on the program's clock: a second and a half passes.
    QTimer::singleShot(300, [this] { clock.advanceMs(1500); });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(SelectUser());  // the operator read last is applied
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(MainState().WindowShown);
    EXPECT_TRUE(Operator().SelectionUnavailable);
    EXPECT_EQ(countLines("User selection program still running after"), 1);
    ::kill(fileText(stand + "pid").trimmed().toInt(), SIGKILL);
}

TEST_F(OperatorTest, MandatoryOperatorFollowsTheFamilyConfiguration) {
    // Win.ini names the configuration folder (the UNC form when asked).
    const QString elsewhere = drive + "Family/Config/";
    writeFile(drive + "Windows/Win.ini",
              {"[Tessaline]", "UNC_Actif=ON", "INI_VELMORA=" + drive + "Wrong/", "INI_VELMORA_UNC=" + elsewhere});
    writeFile(elsewhere + "VM3_Systeme.ini", {"[DroitsUsers]", "Actif=1"});
    writeFile(configFolder() + "VM3_Systeme.ini", {"[DroitsUsers]", "Actif=0"});
    EXPECT_TRUE(UserObligatoire());
    // Computed once for the whole run.
    writeFile(elsewhere + "VM3_Systeme.ini", {"[DroitsUsers]", "Actif=0"});
    EXPECT_TRUE(UserObligatoire());

    ResetOperatorState();
    QFile::remove(drive + "Windows/Win.ini");
    EXPECT_FALSE(UserObligatoire()) << "default folder, Actif=0";
    ResetOperatorState();
    QFile::remove(configFolder() + "VM3_Systeme.ini");
    EXPECT_FALSE(UserObligatoire()) << "no file: default 0";
}

TEST_F(OperatorTest, StartWithoutMandatoryOperatorAsksNothing) {
    writeSettings(1);
    installStandIn();
    publishOperator("5", "Fabien", "0");
    startProgram();
    EXPECT_EQ(standInRuns(), 0);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_TRUE(MainState().StartupDone);
    EXPECT_EQ(processEnds, 0);
}

TEST_F(OperatorTest, MandatoryOperatorWithNoneChosenQuitsAtStartUp) {
    writeSettings(1);
    makeOperatorMandatory();
    installStandIn();
    standInPublishes(operatorLines("", "", "", "Fermer"));
    startProgram();
    EXPECT_EQ(standInRuns(), 1) << "nobody selected: the selection is offered";
    EXPECT_EQ(processEnds, 1);
    EXPECT_TRUE(MainState().UnloadStarted);
    EXPECT_FALSE(MainState().StartupDone);
    EXPECT_FALSE(MainTimers().Timer1.isActive());
    EXPECT_EQ(countLines("Application closed: no authorised user selected"), 1);
    EXPECT_EQ(countLines("Application closed by code action"), 1);
}

TEST_F(OperatorTest, RefusedOperatorAtStartUpIsToldThenAnotherIsChosen) {
    writeSettings(1);
    makeOperatorMandatory();
    installStandIn();
    publishOperator("5", "Fabien", "0", "Fermer");
    standInPublishes(operatorLines("6", "Gaëlle", "0"), 1);  // no setup right either
    standInPublishes(operatorLines("7", "Hugo", kSetupRights), 2);
    startProgram();
    EXPECT_EQ(standInRuns(), 2);
    EXPECT_EQ(boxTexts(), QStringList({"Utilisateur (Fabien) non autorisé", "Utilisateur (Gaëlle) non autorisé"}));
    EXPECT_EQ(processEnds, 0);
    EXPECT_TRUE(MainState().StartupDone);
    EXPECT_EQ(Operator().UserName, "Hugo");
    EXPECT_TRUE(S().main.Mnu01Options.enabled());
    EXPECT_TRUE(MainState().WindowShown);
}

TEST_F(OperatorTest, MandatoryOperatorWithoutSelectionProgramQuitsAtStartUp) {
    writeSettings(1);
    makeOperatorMandatory();
    publishOperator("5", "Fabien", "0");
    startProgram();
    EXPECT_EQ(boxTexts(), QStringList({"Utilisateur (Fabien) non autorisé",
                                        "Programme non trouvé:\n\n" + appFolder() + "VM3_Quillon_User"}));
    EXPECT_EQ(processEnds, 1);
    EXPECT_EQ(countLines("Application closed: no user selection possible"), 1);
}

TEST_F(OperatorTest, ChangeOfOperatorFromTheMenu) {
    writeSettings(1);
    installStandIn();
    publishOperator("7", "Hugo", kSetupRights);
    startProgram();
    finishStartup();

    // Not mandatory: one selection, its rights apply, whoever it is.
    standInPublishes(operatorLines("8", "Inès", "1"));
    MnuChangerUtilisateur_Click();
    EXPECT_EQ(standInRuns(), 1);
    EXPECT_FALSE(S().main.Mnu01Options.enabled());
    EXPECT_EQ(S().main.MnuUserCurrent.caption(), "Utilisateur en cours: Inès");
    EXPECT_EQ(processEnds, 0);

    // Mandatory: offered again until an operator with the setup right comes.
    ResetOperatorState();
    makeOperatorMandatory();
    QFile::remove(stand + "runs");
    standInPublishes(operatorLines("8", "Inès", "1"), 1);
    standInPublishes(operatorLines("9", "Jules", kSetupRights), 2);
    MnuChangerUtilisateur_Click();
    EXPECT_EQ(standInRuns(), 2);
    EXPECT_TRUE(S().main.Mnu01Options.enabled());
    EXPECT_EQ(processEnds, 0);

    // Mandatory and closed without choosing: the program ends.
    QFile::remove(stand + "runs");
    QFile::remove(stand + "reg.1");
    QFile::remove(stand + "reg.2");
    standInPublishes(operatorLines("9", "Jules", kSetupRights, "Fermer"));
    MnuChangerUtilisateur_Click();
    EXPECT_EQ(standInRuns(), 1);
    EXPECT_EQ(processEnds, 1);
    EXPECT_TRUE(MainState().QuitRequested || MainState().UnloadStarted);
    EXPECT_EQ(countLines("Application closed: user selection closed without an authorised user"), 1);
}

TEST_F(OperatorTest, MandatoryChangeWithoutSelectionProgramKeepsTheOperator) {
    writeSettings(1);
    makeOperatorMandatory();
    publishOperator("8", "Inès", "1");
    GestionDroitsUser(false);
    MainState().StartupDone = true;
    dialogs.boxes.clear();
    MnuChangerUtilisateur_Click();  // must not offer the missing program forever
    EXPECT_EQ(boxTexts(), QStringList({"Programme non trouvé:\n\n" + appFolder() + "VM3_Quillon_User"}));
    EXPECT_EQ(processEnds, 0);
    EXPECT_EQ(Operator().UserName, "Inès");
}

TEST_F(OperatorTest, SystemShutdownDuringTheSelectionEndsTheWait) {
    writeSettings(1);
    startProgram();
    finishStartup();
    installStandIn();
    standInSleeps(20);
    shows = 0;
    QTimer::singleShot(200, [] { CloseMainWindow(CloseSystemShutdown); });
    QElapsedTimer t;
    t.start();
    MnuChangerUtilisateur_Click();
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(processEnds, 1);
    EXPECT_EQ(shows, 0) << "a closing program does not show its window again";
    ::kill(fileText(stand + "pid").trimmed().toInt(), SIGKILL);
}
