#pragma once
// The current operator of the workstation and the rights that go with it
// (module Lib_Utilisateurs). The family's user-selection program publishes
// the operator in the registry; the recorder reads it, shows it in the main
// window's menu ("Utilisateur en cours: " + name) and reserves the setup
// window ("Options...") to operators with the setup right. GUI-free: the
// menu entries are the models of S().main.
#include <QString>
#include <array>

// Where the family publishes the operator (registry of the machine).
inline const QString kUserRegistryKey = QStringLiteral("Software\\Tessaline\\Velmora\\User");
// The family's user-selection program, in the program folder.
inline const QString kUserSelectionProgram = QStringLiteral("VM3_Quillon_User");

// The rights string holds one digit per right: 48 single rights, then a
// list of 20. Position 31 is the setup right.
constexpr int kSingleRights = 48;
constexpr int kListRights = 20;
constexpr int kSetupRight = 31;

struct OperatorState {
    QString UserId;      // "VM_User"; empty: no operator selected
    QString UserName;    // "VM_User_Name"
    QString UserRights;  // "VM_User_Droits"
    QString UserButton;  // "VM_User_Button": caption of the button that closed the selection
    bool UserPresent = false;
    // Value of each right (0 = not granted), single rights 1..48 at 0..47.
    std::array<qint16, kSingleRights> DroitsUser{};
    std::array<qint16, kListRights> DroitsUserListe{};

    // UserObligatoire's answer, computed once per process.
    bool ObligatoireKnown = false;
    bool Obligatoire = false;
    // The last selection could not take place: the program is missing or
    // could not be started, or it did not end within the wait limit.
    bool SelectionUnavailable = false;
    // SelectUser is running (the selection program is on screen).
    bool SelectionRunning = false;
};

OperatorState& Operator();
void ResetOperatorState();  // tests

// True when the current rights grant the setup right.
bool SetupRightGranted();

// Reads the operator from the registry and applies the rights to the menu.
// Returns true when the operator is REFUSED (no setup right); an absent
// operator is not refused. The refusal is told to the operator unless the
// selection program was closed with "Fermer", or when `interactive`.
bool GestionDroitsUser(bool interactive);
// Runs the selection program (the main window hidden meanwhile) and applies
// the operator it chose. Returns true when REFUSED: program missing, operator
// without the setup right, or no operator where one is mandatory.
bool SelectUser();
// True when an operator is mandatory on this workstation (key "Actif" of
// section "DroitsUsers" of the family's VM3_Systeme.ini).
bool UserObligatoire();

// Menu entry "Changer d'utilisateur...".
void MnuChangerUtilisateur_Click();

// Longest wait for the selection program (default 15 minutes); tests
// shorten it.
void SetUserSelectionWaitLimit(int ms);
