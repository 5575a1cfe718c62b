#pragma once
// The setup window's controller: its controls as models (each keeps the name
// and index it has in the window) and their handlers, which edit the
// settings model (the recorders' configurations and the station's
// settings). The Qt setup window binds its widgets to these controls; nothing
// below this layer reads them.
#include "core/main_controls.h"
#include "planning/planning_table.h"
#include "recording/recording.h"
#include "settings/settings_model.h"
#include "support/controls.h"
#include "support/ini.h"

#include <QRect>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>

// The controller's own state: the settings edited and not saved, a load of
// the controls in progress (its changes are no edits), the window loaded.
struct SetupState {
    bool SettingsModified = false;
    bool SettingsLoading = false;
    bool SetupLoaded = false;
};
SetupState& SetupFlags();

// Free-space display of one recorder's destination.
struct FreeSpaceDisplay {
    LabelCtl LabelVolumeOccupe;
    LabelCtl LabelVolumeTotal;
    LabelCtl LabelVolumeDispo;
    int gaugeMax = 100;
    int gaugeValue = 0;  // occupation 0..gaugeMax
};

struct FrmSetupControls {
    QString caption;  // "Options: Velmora: Quillon Recorder - <version>"
    bool visible = false;
    // Position of the window, restored at load and saved at unload (section
    // "FrmPos"); the Qt window moves itself there and writes its moves back.
    WindowPos position{"FrmSetup"};
    std::array<ControlBase, kRecorders + 1> OptionTabs;  // tab 0 general, tab i+1 recorder i

    // Per recorder (0..7)
    std::array<CheckBoxCtl, kRecorders> CheckActif;
    std::array<TextCtl, kRecorders> TexteLibelleRecorder;
    std::array<ComboCtl, kRecorders> ComboInputDevices;
    std::array<ComboCtl, kRecorders> ComboInputChannels;
    std::array<ComboCtl, kRecorders> ComboInputQuality;
    std::array<ComboCtl, kRecorders> ComboInputFormats;
    std::array<ComboCtl, kRecorders> ComboFormatCaracteristiques;
    std::array<CheckBoxCtl, kRecorders> CheckPigeAntenne;
    std::array<TextCtl, kRecorders> TextePigeNbJours;
    // Silence alarm: threshold (dBFS) and delay (s, 0 = off).
    std::array<TextCtl, kRecorders> TexteSilenceSeuil;
    std::array<TextCtl, kRecorders> TexteSilenceDelai;
    // UDP target told of the silence: entry 0 none, entry n target n-1 ("SilenceUDP").
    std::array<ComboCtl, kRecorders> ComboSilenceUDP;
    std::array<TextCtl, kRecorders> TexteDossier;
    std::array<ControlBase, kRecorders> CommandDossierPige;
    std::array<TextCtl, kRecorders> TexteNomFichier;
    std::array<CheckBoxCtl, kRecorders> CheckNomFichier;
    std::array<TextCtl, kRecorders> TexteFichierRecordPeripherique;
    std::array<FreeSpaceDisplay, kRecorders> FreeSpace;

    // Per recorder and command (3i + c; c = 0 record, 1 pause, 2 stop)
    std::array<CheckBoxCtl, 3 * kRecorders> CheckCtrl;
    std::array<CheckBoxCtl, 3 * kRecorders> CheckAlt;
    std::array<CheckBoxCtl, 3 * kRecorders> CheckShift;
    std::array<ComboCtl, 3 * kRecorders> ComboToucheClavier;
    std::array<ComboCtl, 3 * kRecorders> ComboPeripherique;

    // UDP commands and notifications, per recorder
    std::array<CheckBoxCtl, kRecorders> CheckUDPRecord;
    std::array<CheckBoxCtl, kRecorders> CheckUDPPause;
    std::array<CheckBoxCtl, kRecorders> CheckUDPStop;
    std::array<CheckBoxCtl, kRecorders> CheckUDPPodcaster;
    std::array<ComboCtl, kRecorders> ComboEmissionUDPPodcaster;
    std::array<CheckBoxCtl, kRecorders> CheckUDPConvertir;
    std::array<ComboCtl, kRecorders> ComboEmissionUDPConvertir;

    // UDP input lines (0..8)
    std::array<TextCtl, kUdpLines> TexteUDPIPSource;
    std::array<TextCtl, kUdpLines> TexteUDPPortSource;
    std::array<CheckBoxCtl, kUdpLines> CheckUDPInActif;
    std::array<TextCtl, kUdpLines> TexteUDPDonneeRecues;
    CheckBoxCtl CheckRecord128;
    TextCtl TexteComputerName;
    TextCtl TexteAdresseIP;

    // UDP targets (0..8)
    std::array<TextCtl, kUdpTargets> TexteUDPLibelleCible;
    std::array<TextCtl, kUdpTargets> TexteUDPIPCible;
    std::array<TextCtl, kUdpTargets> TexteUDPPortCible;
    std::array<TextCtl, kUdpTargets> TexteUDPPortBCible;
    std::array<TextCtl, kUdpTargets> TexteUDPPortCCible;
    std::array<TextCtl, kUdpTargets> TexteUDPPortDCible;
    std::array<TextCtl, kUdpTargets> TexteUDPSend;

    // Serial link
    CheckBoxCtl CheckPortCOMPresent;
    ComboCtl ComboNoPort;
    LabelCtl LabelPortCOMDevice;  // device of the selected port, shown beside it
    std::array<ComboCtl, 4> ComboPortComSetup;  // speed, parity, data bits, stop bits
    TextCtl TexteToSend;

    // Digital I/O card
    CheckBoxCtl CheckP8R8Actif;
    ComboCtl cbCardType;
    std::array<CheckBoxCtl, 16> ChckBoxP8R8In;
    std::array<CheckBoxCtl, 16> ChckBoxP8R8Out;
    ControlBase MyFrameP8R8In;
    ControlBase MyFrameP8R8Out;

    // Logging slices
    CheckBoxCtl CheckTimingPige;
    std::array<LabelCtl, kSliceRows> LabellPigeTimingStart;
    std::array<ComboCtl, kSliceRows> ComboPigeTimingFin;

    // Planning editor: the table of slots being edited (the one in force is
    // the planning's), the list view of its rows (13 columns, the last one
    // the slot number on three digits) and the editor.
    std::array<PlanningLine, kPlanningSlots> PlanningTable;
    ListViewCtl ListView1;
    ControlBase CommandDossierFichierSon;
    ComboCtl ComboRecorder, ComboFrequence, ComboAnnee, ComboMois, ComboSemaine, ComboJour, ComboHeure, ComboMinute;
    CheckBoxCtl CheckPlanningActif;
    TextCtl TextDuree;
    TextCtl TexteDossierFichierSon;
    TextCtl TexteASC82Plus;
    TextCtl TextProchainTiming;
    int CurrentPlanningRow = -1;

    // Trace lines shown to the operator: Trace().ListeLog.
};

FrmSetupControls& Setup();
void ResetSetupControls();  // tests: fresh controls, handlers wired again

// Setup window events and procedures
void FrmSetup_Form_Load();   // the setup window's load (once, at start-up)
// At shutdown: position, save question. When the system goes down the
// question is not asked and the modified settings are saved.
void FrmSetup_Form_Unload();
void FrmSetup_InitGeneral(); // fixed lists, then card, UDP, planning, serial link
void InitSettings();
void SaveSettings();
void CommandSave_Click();
// "Fermer" and the close box hide the window; with unsaved edits they ask
// first: save, leave the file as it is, or stay in the window (the default,
// also taken when nobody answers within the time limit).
enum SetupCloseAnswer { kCloseSave = 201, kCloseDiscard = 202, kCloseCancel = 203 };
constexpr int kCloseQuestionTimeoutMs = 60000;
bool AskBeforeClosingSetup();  // true: the window may close
void CommandFermer_Click();
// Close box of the setup window: hides it (cancel = true).
void FrmSetup_Form_QueryUnload(bool& cancel, int reason);

// Device and format selection
void DirectXUpdateInputCombos(int i);
void DirectXUpdateInputFormats(int i);
void ComboInputDevices_Click(int i);
void ComboInputChannels_Click(int i);
void ComboInputQuality_Click(int i);
void ComboInputFormats_Click(int i);
void ComboFormatCaracteristiques_Click(int i);

// Recorder options
void CheckActif_Click(int i);
void TexteLibelleRecorder_Change(int i);
void TexteDossier_Change(int i);
void CommandDossierPige_Click(int i);
void EspaceDispo(int i);
void CheckPigeAntenne_Click(int i);
void CheckNomFichier_Click(int i);
void TexteNomFichier_Change(int i);
void TextePigeNbJours_Change(int i);
void TexteSilenceSeuil_Change(int i);
void TexteSilenceDelai_Change(int i);
void TexteFichierRecordPeripherique_Change(int i);
void CheckCtrl_Click(int n);
void CheckAlt_Click(int n);
void CheckShift_Click(int n);
void ComboToucheClavier_Click(int n);
void ComboPeripherique_Click(int n);
void CheckTimingPige_Click();
void ComboPigeTimingFin_Click(int k);

// Pieces of the setup window's initialisation owned by other modules.
void InitGeneralUDP();             // this computer's name and address, blank sources
void InitGeneralPortCOM();         // serial lists and "PortCOM" keys
void InitGeneralDonneesPlanning(); // the planning table from the settings file
// The planning table into the settings file; the number of keys not written.
int SaveDataPlanning();
// Copies the planning editor's controls into slot `slot` of PlanningTable.
void StorePlanningEditor(int slot);
// A change of the station's settings, or of recorder i's configuration,
// made by a control of the window (marks the settings as modified).
void EditStation(const std::function<void(StationConfig&)>& change);
void EditRecorder(int i, const std::function<void(RecorderConfig&)>& change);
// Sets SettingsModified unless SettingsLoading: the change handler of the
// controls whose only effect is to mark the settings as modified.
void MarkSettingsModified();
// Counts the operator's edits (every MarkSettingsModified outside a load): a
// save that sees it change while it runs keeps the settings marked as modified.
quint64 SettingsEditCount();
// Registers a function that connects controls of Setup() to their handlers;
// it runs at once and again after every ResetSetupControls().
void AddSetupWiring(std::function<void()> wire);

// Hooks into the main window's logic that the setup window calls (the main
// window's logic sets them; empty in settings-only tests).
struct SetupHooks {
    // DetermineNomFichier for recorder i (the recording code owns it).
    std::function<QString(int recorder)> DetermineNomFichier;
    // Look of the window (LookFenetre).
    std::function<void()> ApplyLook;
    // The hidden companion window holding the UDP sockets.
    std::function<void()> LoadCompanionWindow;
    std::function<void()> UnloadCompanionWindow;
    // Digital I/O card: opening the driver and putting the card in service
    // when one is there (runs after cbCardType is filled); at unload, stopping
    // the polling timer and closing the driver. Without InitCard the card
    // stays out of service (CheckP8R8Actif disabled).
    std::function<void()> InitCard;
    std::function<void()> CloseCard;
    // Serial link: opening the port when the link is in service, after the
    // "PortCOM" keys are read (CommandPortCOMInit_Click).
    std::function<void()> OpenSerialPort;
    // Planning: the list view rows after a load, the row being edited stored
    // before a save (MemoriseModifications; without it the editor goes into
    // its slot only), and the next-timing analysis after a load or a save.
    std::function<void()> FillPlanningListView;
    std::function<void()> MemoriseModifications;
    std::function<void()> NextTimingAnalysis;
    // Shows (true) or hides (false) the setup window.
    std::function<void(bool)> ShowWindow;
    // Screen rectangle the window must stay within (default 1920x1080).
    std::function<QRect()> ScreenRect;
};
SetupHooks& SetupLinks();
