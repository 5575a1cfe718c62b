// The current operator, its rights, the user-selection program and the
// operator check of the start-up.
#include "core/operator_rights.h"

#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/external.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

namespace {

const QString kModule = QStringLiteral("Lib_Utilisateurs");
constexpr int kStillActive = 259;
constexpr int kDefaultSelectionWaitMs = 15 * 60 * 1000;
int g_selectionWaitMs = kDefaultSelectionWaitMs;

QString registryValue(const QString& name) { return platform::RegistryRead(kUserRegistryKey, name); }

QString mainCaption() { return App().MainWindowCaption; }

void fillRights(OperatorState& op) {
    auto value = [&](int position) -> qint16 {  // position 1 first; a missing character is 0
        if (position > op.UserRights.size()) return 0;
        return qint16(Val(op.UserRights.mid(position - 1, 1)));
    };
    for (int k = 0; k < kSingleRights; ++k) op.DroitsUser[size_t(k)] = value(k + 1);
    for (int k = 0; k < kListRights; ++k) op.DroitsUserListe[size_t(k)] = value(kSingleRights + k + 1);
}

// The setup window is reserved to the setup right: an operator without it
// does not inherit the window the previous operator left open.
void closeSetupWindow() {
    const bool visible = MainHost().SetupVisible && MainHost().SetupVisible();
    if (!visible) return;
    if (MainHost().ShowSetup) MainHost().ShowSetup(false);
}

void showMainAgain() {
    if (MainState().UnloadStarted) return;
    MainState().WindowShown = true;
    if (MainHost().ShowMain) MainHost().ShowMain();
}

// The program ends: no authorised operator where one is mandatory.
void quitWithoutOperator(const QString& why) {
    TraceLogEncadre(-1, -1, -1, "Application closed: " + why, "*");
    MainState().QuitRequested = true;
    UnloadMainWindow();
}

}  // namespace

OperatorState& Operator() {
    static OperatorState state;
    return state;
}

void ResetOperatorState() {
    Operator() = OperatorState{};
    g_selectionWaitMs = kDefaultSelectionWaitMs;
}

void SetUserSelectionWaitLimit(int ms) { g_selectionWaitMs = ms > 0 ? ms : kDefaultSelectionWaitMs; }

bool SetupRightGranted() { return Operator().DroitsUser[size_t(kSetupRight - 1)] != 0; }

bool GestionDroitsUser(bool interactive) {
    ErrorTrap trap(kModule + ":GestionDroitsUser");
    OperatorState& op = Operator();
    bool refused = false;
    trap(10, [&] {
        op.UserId.clear();
        op.UserName.clear();
        op.UserRights.clear();
        op.UserPresent = false;
        op.DroitsUser.fill(0);
        op.DroitsUserListe.fill(0);
    });
    bool absent = false;
    trap(20, [&] {
        op.UserButton = registryValue("VM_User_Button");
        op.UserId = registryValue("VM_User");
        absent = op.UserId.trimmed().isEmpty();
        if (!absent) return;
        S().main.MnuUserCurrent.setVisible(false);
        TraceLog(-1, -1, -1, "User: none selected", false, true);
    });
    if (absent) return false;
    trap(30, [&] {
        op.UserName = registryValue("VM_User_Name");
        op.UserRights = registryValue("VM_User_Droits");
        op.UserPresent = true;
    });
    trap(40, [&] {
        S().main.MnuUserCurrent.setCaption("Utilisateur en cours: " + op.UserName);
        S().main.MnuUserCurrent.setVisible(true);
    });
    trap(50, [&] { fillRights(op); });
    const bool granted = SetupRightGranted();
    trap(55, [&] {
        TraceLog(-1, -1, -1,
                 "User: " + op.UserId + " (" + op.UserName + ") |Setup right: " + (granted ? "Yes" : "No") +
                     " |Button: " + op.UserButton,
                 false, true);
    });
    if (granted) {
        trap(60, [&] { S().main.Mnu01Options.setEnabled(true); });
        return false;
    }
    trap(70, [&] {
        if (op.UserButton != "Fermer" || interactive)
            CurrentDialogs().MessageBox("Utilisateur (" + op.UserName + ") non autorisé", mainCaption(), MsgButtons::Ok,
                                        MsgIcon::Critical, MsgOk);
    });
    trap(80, [&] {
        S().main.Mnu01Options.setEnabled(false);
        closeSetupWindow();
        refused = true;
    });
    return refused;
}

bool SelectUser() {
    ErrorTrap trap(kModule + ":SelectUser");
    OperatorState& op = Operator();
    if (op.SelectionRunning) return true;  // one selection at a time
    op.SelectionUnavailable = false;
    QString path;
    bool found = false;
    trap(10, [&] {
        path = ApplicationFolder() + kUserSelectionProgram;
        found = File_Exist(path, kModule + ":SelectUser");
    });
    if (!found) {
        op.SelectionUnavailable = true;
        trap(20, [&] {
            TraceLog(-1, -1, -1, "User selection program not found: " + path, true);
            CurrentDialogs().MessageBox("Programme non trouvé:\n\n" + path, mainCaption(), MsgButtons::Ok,
                                        MsgIcon::Warning, MsgOk);
        });
        return true;
    }
    qint64 pid = -1;
    trap(30, [&] {
        TraceLog(-1, -1, -1, "User selection: " + path + " /Close");
        pid = platform::StartProcess(path, {"/Close"});
        if (pid <= 0) RaiseError(kInternalErrorNumber, "The user selection program cannot be started: " + path);
    });
    if (pid <= 0) {
        op.SelectionUnavailable = true;
        return true;
    }
    op.SelectionRunning = true;
    trap(40, [&] {
        MainState().WindowShown = false;
        if (MainHost().HideMainTemporarily) MainHost().HideMainTemporarily();
    });
    qint32 code = kStillActive;
    trap(50, [&] {
        qint32 limit = g_selectionWaitMs;
        code = AttenteFinProcessusExterne(pid, limit, [] { return MainState().Closing(); });
    });
    op.SelectionRunning = false;
    trap(60, [&] {
        if (code == kStillActive && !MainState().Closing()) {
            op.SelectionUnavailable = true;
            TraceLog(-1, -1, -1,
                     "User selection program still running after " + QString::number(g_selectionWaitMs / 1000) +
                         " s: no longer waited for",
                     true);
        } else if (code != kStillActive) {
            TraceLog(-1, -1, -1, "User selection ended: exit code " + QString::number(code));
        }
    });
    trap(70, [&] { showMainAgain(); });
    // On the way out: the rights no longer matter.
    if (MainState().Closing()) return true;
    bool refused = true;
    trap(80, [&] { refused = GestionDroitsUser(false); });
    trap(90, [&] {
        if (UserObligatoire() && op.UserId.trimmed().isEmpty()) refused = true;
    });
    return refused;
}

bool UserObligatoire() {
    ErrorTrap trap(kModule + ":UserObligatoire");
    OperatorState& op = Operator();
    if (op.ObligatoireKnown) return op.Obligatoire;
    trap(10, [&] {
        const QString folder = DossierConfigTessaline("Win.ini");
        const QString value = LectureIni(folder + "VM3_Systeme.ini", "DroitsUsers", "Actif", "0");
        op.Obligatoire = value != "0";
        TraceLog(-1, -1, -1, QString("User mandatory: ") + (op.Obligatoire ? "Yes" : "No"));
    });
    op.ObligatoireKnown = true;
    return op.Obligatoire;
}

bool CheckOperatorAtStartup() {
    ErrorTrap trap(kModule + ":CheckOperatorAtStartup");
    bool mandatory = false;
    trap(10, [&] { mandatory = UserObligatoire(); });
    if (!mandatory) return true;
    OperatorState& op = Operator();
    bool refused = false;
    trap(20, [&] {
        refused = GestionDroitsUser(true);
        // Where an operator is mandatory, nobody selected is no operator
        // accepted: the selection is offered.
        if (op.UserId.trimmed().isEmpty()) refused = true;
    });
    while (refused) {
        if (MainState().Closing()) return true;  // the close in progress decides
        trap(30, [&] { refused = SelectUser(); });
        if (!refused || MainState().Closing()) return true;
        bool ends = false;
        QString quitWhy;
        trap(40, [&] {
            if (op.SelectionUnavailable) {
                ends = true;
                quitWhy = "no user selection possible";
            } else if (op.UserId.trimmed().isEmpty() || op.UserButton == "Fermer") {
                ends = true;
                quitWhy = "no authorised user selected";
            }
        });
        if (ends) {
            trap(50, [&] { TraceLogEncadre(-1, -1, -1, "Application closed: " + quitWhy, "*"); });
            return false;
        }
        trap(60, [&] { platform::LetEventsRun(); });
    }
    return true;
}

void MnuChangerUtilisateur_Click() {
    ErrorTrap trap(kModule + ":MnuChangerUtilisateur_Click");
    OperatorState& op = Operator();
    if (op.SelectionRunning || MainState().Closing()) return;
    trap(10, [&] { SelectUser(); });
    bool mandatory = false;
    trap(20, [&] { mandatory = UserObligatoire(); });
    if (!mandatory) return;
    for (;;) {
        // A selection that could not take place chose nobody: everything
        // stays as it was (offering it again would never end).
        if (MainState().Closing() || op.SelectionUnavailable) return;
        bool again = false;
        bool quit = false;
        QString why;
        trap(30, [&] {
            const bool present = !op.UserId.trimmed().isEmpty();
            if (present && op.UserButton == "Fermer") {
                quit = true;
                why = "user selection closed without an authorised user";
            } else if (present && SetupRightGranted()) {
                // accepted
            } else if (present) {
                again = true;
            } else if (MainState().StartupDone) {
                quit = true;
                why = "no user selected";
            }
            // Nobody selected before the start-up has finished: its own
            // check decides.
        });
        if (quit) {
            trap(40, [&] { quitWithoutOperator(why); });
            return;
        }
        if (!again) return;
        trap(50, [&] { platform::LetEventsRun(); });
        if (MainState().Closing()) return;
        trap(60, [&] { SelectUser(); });
    }
}
