// The setup window's controls, their handlers, the fixed lists and the
// window's life cycle (load, close box, unload).
#include "ui/setup/frm_setup.h"

#include "core/main_window_state.h"
#include "ui/setup/setup_internal.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <cmath>
#include <vector>

namespace setup_detail {

qint16 NumI16(const QString& text) {
    const double v = Val(text);
    if (!(v >= -32768.5 && v < 32767.5)) RaiseError(6, "Overflow");
    return CIntRound(v);
}

void SetCheckValue(CheckBoxCtl& box, double value) {
    if (value == 0) box.setChecked(false);
    else if (value == 1) box.setChecked(true);
    else RaiseError(380, "Invalid property value");
}

void SelectEntry(ComboCtl& list, double index) {
    if (std::isnan(index) || index < -1 || index > list.count() - 1 || index != std::floor(index) ||
        !list.setListIndex(int(index)))
        RaiseError(380, "Invalid property value");
}

QString Entry2(const ComboCtl& list) { return N2S(list.listIndex() < 0 ? 0 : list.listIndex(), 2, 0, "0"); }

void SplashStep(const QString& text) {
    if (!MainState().SplashVisible) return;
    MainState().SplashText = text;
    platform::LetEventsRun();
}

}  // namespace setup_detail

using namespace setup_detail;

namespace {

std::vector<std::function<void()>>& ExtraWirings() {
    static std::vector<std::function<void()>> wirings;
    return wirings;
}

// Every control of the window whose event has a handler here.
void WireControls(FrmSetupControls& c) {
    for (int i = 0; i < kRecorders; ++i) {
        c.ComboInputDevices[i].onClick = [i] { ComboInputDevices_Click(i); };
        c.ComboInputChannels[i].onClick = [i] { ComboInputChannels_Click(i); };
        c.ComboInputQuality[i].onClick = [i] { ComboInputQuality_Click(i); };
        c.ComboInputFormats[i].onClick = [i] { ComboInputFormats_Click(i); };
        c.ComboFormatCaracteristiques[i].onClick = [i] { ComboFormatCaracteristiques_Click(i); };

        c.CheckActif[i].onClick = [i] { CheckActif_Click(i); };
        c.TexteLibelleRecorder[i].onChange = [i] { TexteLibelleRecorder_Change(i); };
        c.TexteDossier[i].onChange = [i] { TexteDossier_Change(i); };
        c.CheckPigeAntenne[i].onClick = [i] { CheckPigeAntenne_Click(i); };
        c.CheckNomFichier[i].onClick = [i] { CheckNomFichier_Click(i); };
        c.TexteNomFichier[i].onChange = [i] { TexteNomFichier_Change(i); };
        c.TextePigeNbJours[i].onChange = [i] { TextePigeNbJours_Change(i); };
        c.TexteSilenceSeuil[i].onChange = [i] { TexteSilenceSeuil_Change(i); };
        c.TexteSilenceDelai[i].onChange = [i] { TexteSilenceDelai_Change(i); };
        c.TexteFichierRecordPeripherique[i].onChange = [i] { TexteFichierRecordPeripherique_Change(i); };

        // Remote-command options: their values are read where they are used.
        c.CheckUDPRecord[i].onClick = [i] { EditRecorder(i, [i](RecorderConfig& r) { r.UdpRecord = Setup().CheckUDPRecord[i].checked(); }); };
        c.CheckUDPPause[i].onClick = [i] { EditRecorder(i, [i](RecorderConfig& r) { r.UdpPause = Setup().CheckUDPPause[i].checked(); }); };
        c.CheckUDPStop[i].onClick = [i] { EditRecorder(i, [i](RecorderConfig& r) { r.UdpStop = Setup().CheckUDPStop[i].checked(); }); };
        c.CheckUDPPodcaster[i].onClick = [i] { EditRecorder(i, [i](RecorderConfig& r) { r.UdpPodcast = Setup().CheckUDPPodcaster[i].checked(); }); };
        c.CheckUDPConvertir[i].onClick = [i] { EditRecorder(i, [i](RecorderConfig& r) { r.UdpConvert = Setup().CheckUDPConvertir[i].checked(); }); };
        c.ComboEmissionUDPPodcaster[i].onClick = [i] {
            EditRecorder(i, [i](RecorderConfig& r) { r.PodcastTargetEntry = qMax(0, Setup().ComboEmissionUDPPodcaster[i].listIndex()); });
        };
        c.ComboEmissionUDPConvertir[i].onClick = [i] {
            EditRecorder(i, [i](RecorderConfig& r) { r.ConvertTargetEntry = qMax(0, Setup().ComboEmissionUDPConvertir[i].listIndex()); });
        };
        c.ComboSilenceUDP[i].onClick = [i] {
            EditRecorder(i, [i](RecorderConfig& r) { r.SilenceUdpEntry = qMax(0, Setup().ComboSilenceUDP[i].listIndex()); });
        };
    }
    for (int n = 0; n < 3 * kRecorders; ++n) {
        c.CheckCtrl[n].onClick = [n] { CheckCtrl_Click(n); };
        c.CheckAlt[n].onClick = [n] { CheckAlt_Click(n); };
        c.CheckShift[n].onClick = [n] { CheckShift_Click(n); };
        c.ComboToucheClavier[n].onClick = [n] { ComboToucheClavier_Click(n); };
        c.ComboPeripherique[n].onClick = [n] { ComboPeripherique_Click(n); };
    }
    c.CheckTimingPige.onClick = [] { CheckTimingPige_Click(); };
    for (int k = 0; k < kSliceRows; ++k) c.ComboPigeTimingFin[k].onClick = [k] { ComboPigeTimingFin_Click(k); };

    // UDP lines and targets, serial link: changing them marks the settings
    // as modified (the UDP and serial modules add their own work).
    for (int k = 0; k < kUdpLines; ++k) {
        c.TexteUDPIPSource[k].onChange = [k] { EditStation([k](StationConfig& s) { s.UdpIn[size_t(k)].Address = Setup().TexteUDPIPSource[k].text(); }); };
        c.TexteUDPPortSource[k].onChange = [k] { EditStation([k](StationConfig& s) { s.UdpIn[size_t(k)].Port = Setup().TexteUDPPortSource[k].text(); }); };
        c.CheckUDPInActif[k].onClick = [k] { EditStation([k](StationConfig& s) { s.UdpIn[size_t(k)].Active = Setup().CheckUDPInActif[k].checked(); }); };
    }
    c.TexteAdresseIP.onChange = [] { Station().HostAddress = Setup().TexteAdresseIP.text(); };
    c.CheckRecord128.onClick = [] { EditStation([](StationConfig& s) { s.StartRecord128 = Setup().CheckRecord128.checked(); }); };
    for (int k = 0; k < kUdpTargets; ++k) {
        const std::pair<TextCtl*, QString UdpTargetConfig::*> fields[] = {
            {&c.TexteUDPLibelleCible[k], &UdpTargetConfig::Label}, {&c.TexteUDPIPCible[k], &UdpTargetConfig::Address},
            {&c.TexteUDPPortCible[k], &UdpTargetConfig::Port},     {&c.TexteUDPPortBCible[k], &UdpTargetConfig::PortB},
            {&c.TexteUDPPortCCible[k], &UdpTargetConfig::PortC},   {&c.TexteUDPPortDCible[k], &UdpTargetConfig::PortD},
            {&c.TexteUDPSend[k], &UdpTargetConfig::Message}};
        for (const auto& [box, field] : fields) {
            TextCtl* text = box;
            auto member = field;
            text->onChange = [k, text, member] { EditStation([&](StationConfig& s) { s.UdpOut[size_t(k)].*member = text->text(); }); };
        }
    }
    c.CheckPortCOMPresent.onClick = [] { EditStation([](StationConfig& s) { s.Serial.Active = Setup().CheckPortCOMPresent.checked(); }); };
    c.ComboNoPort.onClick = [] { EditStation([](StationConfig& s) { s.Serial.PortEntry = Setup().ComboNoPort.listIndex(); }); };
    for (int k = 0; k < 4; ++k)
        c.ComboPortComSetup[size_t(k)].onClick = [k] {
            EditStation([k](StationConfig& s) { s.Serial.Setup[size_t(k)] = qMax(0, Setup().ComboPortComSetup[size_t(k)].listIndex()); });
        };
}

void ConnectRecorderViews();

FrmSetupControls& Controls() {
    static FrmSetupControls* controls = [] {
        auto* c = new FrmSetupControls;
        WireControls(*c);
        ConnectRecorderViews();
        return c;
    }();
    return *controls;
}

QRect ScreenRect() {
    if (SetupLinks().ScreenRect) {
        QRect r = SetupLinks().ScreenRect();
        if (r.isValid()) return r;
    }
    return QRect(0, 0, 1920, 1080);
}

void ShowWindow(bool show) {
    Setup().visible = show;
    if (SetupLinks().ShowWindow) SetupLinks().ShowWindow(show);
}

// The recorders' own changes shown in the window: the device each one
// records from (found again, or missing), the device list, the formats of a
// device, the free space after a stop.
QObject& ViewContext() {
    static QObject* context = new QObject;
    return *context;
}

void ShowDeviceSelection(int i, int entry) {
    ComboCtl& devices = Setup().ComboInputDevices[size_t(i)];
    const bool loading = SetupFlags().SettingsLoading;
    SetupFlags().SettingsLoading = true;
    if (devices.listIndex() != entry) devices.setListIndex(entry);
    else if (entry >= 0) DirectXUpdateInputCombos(i);
    SetupFlags().SettingsLoading = loading;
}

void ShowDeviceList(int i) {
    platform::ActiveSoundRecorder* e = Rec(i).engine();
    if (!e) return;
    ComboCtl& devices = Setup().ComboInputDevices[size_t(i)];
    QStringList names;
    const int n = e->InputDeviceCount();
    for (int d = 0; d < n; ++d) names << e->InputDeviceName(d);
    if (names == devices.entries()) return;
    const int selected = devices.listIndex();
    const bool loading = SetupFlags().SettingsLoading;
    SetupFlags().SettingsLoading = true;
    devices.setEntries(names);
    // The engine keeps every device at its place for the whole run.
    if (selected >= 0 && selected < names.size()) devices.setListIndex(selected);
    SetupFlags().SettingsLoading = loading;
}

void ConnectRecorderViews() {
    QObject* ctx = &ViewContext();
    for (int i = 0; i < kRecorders; ++i) {
        Recorder* r = &Rec(i);
        QObject::disconnect(r, nullptr, ctx, nullptr);
        QObject::connect(r, &Recorder::DeviceSelected, ctx, [](int index, int entry) { ShowDeviceSelection(index, entry); });
        QObject::connect(r, &Recorder::DevicesChanged, ctx, [](int index) { ShowDeviceList(index); });
        QObject::connect(r, &Recorder::InputFormatsAvailable, ctx, [](int index) { DirectXUpdateInputFormats(index); });
        QObject::connect(r, &Recorder::Stopped, ctx, [](int index) { EspaceDispo(index); });
        QObject::connect(r, &Recorder::SpaceChanged, ctx, [](int index) { EspaceDispo(index); });
    }
}

// Lists of the digital I/O card; the card itself is opened by its module.
void InitCardControls() {
    ErrorTrap trap("FrmSetup:InitGeneralP8R8");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        c.MyFrameP8R8Out.setEnabled(false);
        c.MyFrameP8R8In.setEnabled(false);
        c.cbCardType.setEntries({"0: PCI-P16R16", "1: PCI-P8R8", "2: Not Support!"});
        c.cbCardType.setListIndex(2);
    });
    trap(20, [&] {
        if (SetupLinks().InitCard) SetupLinks().InitCard();
        else c.CheckP8R8Actif.setEnabled(false);  // no driver: the card stays out of service
    });
}

}  // namespace

FrmSetupControls& Setup() { return Controls(); }

void ResetSetupControls() {
    FrmSetupControls& c = Controls();
    c = FrmSetupControls{};
    SetupFlags() = SetupState{};
    WireControls(c);
    ConnectRecorderViews();
    for (auto& w : ExtraWirings()) w();
}

void AddSetupWiring(std::function<void()> wire) {
    if (!wire) return;
    wire();
    ExtraWirings().push_back(std::move(wire));
}

SetupHooks& SetupLinks() {
    static SetupHooks hooks;
    return hooks;
}

namespace {
quint64 g_settingsEdits = 0;
}

SetupState& SetupFlags() {
    static SetupState state;
    return state;
}

void EditStation(const std::function<void(StationConfig&)>& change) {
    change(Station());
    MarkSettingsModified();
}

void EditRecorder(int i, const std::function<void(RecorderConfig&)>& change) {
    EditRecorderConfig(i, change);
    MarkSettingsModified();
}

void MarkSettingsModified() {
    if (SetupFlags().SettingsLoading) return;
    SetupFlags().SettingsModified = true;
    ++g_settingsEdits;
}

quint64 SettingsEditCount() { return g_settingsEdits; }

void FrmSetup_InitGeneral() {
    ErrorTrap trap("FrmSetup:InitGeneral");
    FrmSetupControls& c = Setup();
    trap(10, [&] {
        const QStringList formats = FormatNames();
        for (auto& l : c.ComboInputFormats) l.setEntries(formats);
    });
    trap(20, [&] {
        QStringList keys = {""};
        for (char ch = 'A'; ch <= 'Z'; ++ch) keys << QString("     ") + QChar(ch);
        for (int f = 1; f <= 16; ++f) keys << "     F" + QString::number(f);
        for (auto& l : c.ComboToucheClavier) {
            l.setEntries(keys);
            l.setListIndex(0);  // no shortcut
        }
    });
    trap(30, [&] {
        // Entry n + 1 is input n of the card (its bit index).
        QStringList inputs = {""};
        for (int n = 0; n <= 15; ++n) inputs << "P8R8 DIO   In: " + QString::number(n);
        for (auto& l : c.ComboPeripherique) {
            l.setEntries(inputs);
            l.setListIndex(0);  // no input
        }
    });
    trap(40, [&] {
        // Planning editor lists; entry 0 of each is blank.
        QStringList recorders = {"         "};
        for (int r = 1; r <= kRecorders; ++r) recorders << "Recorder " + QString::number(r);
        c.ComboRecorder.setEntries(recorders);
        c.ComboFrequence.setEntries({"         ", "Evénement", "Année", "Mois", "Semaine", "Jour", "Heure",
                                     "Jour de semaine", "Jour de we et férié", "Jour de semaine et férié"});
        QStringList years = {"    "};
        const int year = CurrentClock().now().date().year();
        for (int y = year; y <= year + 49; ++y) years << N2S(y, 4, 0, "0");
        c.ComboAnnee.setEntries(years);
        auto numbers = [](const QString& blank, int from, int to) {
            QStringList l = {blank};
            for (int v = from; v <= to; ++v) l << N2S(v, 2, 0, "0");
            return l;
        };
        c.ComboMois.setEntries(numbers("  ", 1, 12));
        QStringList days = {"   "};
        for (int d = 1; d <= 7; ++d) days << Libelle_Fra("Jour", d, 0);
        c.ComboSemaine.setEntries(days);
        c.ComboJour.setEntries(numbers("  ", 1, 31));
        c.ComboHeure.setEntries(numbers("  ", 0, 23));
        c.ComboMinute.setEntries(numbers("  ", 0, 59));
    });
    trap(50, [&] {
        // Logging slices: every row is filled before the first selection,
        // which sets the rows after it.
        QStringList ends;
        for (int h = 0; h < 24; ++h) ends << N2S(h, 2, 0, "0") + " H 59:59";
        for (int k = 0; k < kSliceRows; ++k) {
            c.LabellPigeTimingStart[k].setText(N2S(k, 2, 0, "0") + " H");
            c.ComboPigeTimingFin[k].setEntries(ends);
        }
        for (int k = 0; k < kSliceRows; ++k) c.ComboPigeTimingFin[k].setListIndex(k);
    });
    trap(60, [&] {
        SplashStep("Options: Init: P8R8");
        InitCardControls();
    });
    trap(70, [&] {
        SplashStep("Options: Init: UDP");
        InitGeneralUDP();
    });
    trap(80, [&] { InitGeneralDonneesPlanning(); });
    trap(90, [&] {
        SplashStep("Options: Init: Port COM");
        InitGeneralPortCOM();
    });
}

void FrmSetup_Form_Load() {
    ErrorTrap trap("FrmSetup:Form_Load");
    trap(10, [&] { SetupFlags().SettingsLoading = true; });
    trap(20, [&] { Setup().caption = "Options: " + QString("Velmora: Quillon Recorder") + " - " + VersionApplication(); });
    trap(30, [&] {
        if (SetupLinks().ApplyLook) SetupLinks().ApplyLook();
        if (SetupLinks().LoadCompanionWindow) SetupLinks().LoadCompanionWindow();
    });
    trap(40, [&] { FrmSetup_InitGeneral(); });
    trap(50, [&] {
        SplashStep("Options: Init: InitSettings");
        InitSettings();
    });
    trap(60, [&] {
        SplashStep("Options: Init: PositionFeuille");
        PositionFeuille(Setup().position, "", ScreenRect());
    });
    trap(70, [&] {
        SetupFlags().SetupLoaded = true;
        Trace().SetupLoaded = true;
    });
    trap(80, [&] { SetupFlags().SettingsLoading = false; });
}

void FrmSetup_Form_Unload() {
    ErrorTrap trap("FrmSetup:Form_Unload");
    trap(10, [&] { PositionFeuilleSauvegarde(Setup().position, ""); });
    trap(20, [&] {
        if (SetupLinks().UnloadCompanionWindow) SetupLinks().UnloadCompanionWindow();
    });
    trap(30, [&] {
        if (SetupLinks().CloseCard) SetupLinks().CloseCard();
    });
    trap(40, [&] {
        if (!SetupFlags().SettingsModified) return;
        // Nobody answers while the system goes down: the edits are kept.
        bool save = MainState().SystemShutdown;
        if (!save)
            save = CurrentDialogs().MessageBox("Voulez-vous enregistrer les données ?", Setup().caption,
                                               MsgButtons::YesNo, MsgIcon::Question, MsgYes) == MsgYes;
        if (save) SaveSettings();
    });
    trap(50, [&] { SetupFlags().SettingsModified = false; });
}

void CommandSave_Click() {
    ErrorTrap trap("FrmSetup:CommandSave_Click");
    trap(10, [&] { SaveSettings(); });
}

bool AskBeforeClosingSetup() {
    ErrorTrap trap("FrmSetup:AskBeforeClosingSetup");
    bool close = true;
    trap(10, [&] {
        if (!SetupFlags().SettingsModified) return;
        const int answer = CurrentDialogs().TaskDialog(
            Setup().caption, "Les paramètres ont été modifiés. Voulez-vous les enregistrer ?",
            {{kCloseSave, "Enregistrer"}, {kCloseDiscard, "Ne pas enregistrer"}, {kCloseCancel, "Annuler"}},
            kCloseCancel, kCloseQuestionTimeoutMs);
        if (answer == kCloseSave) {
            SaveSettings();
        } else if (answer == kCloseDiscard) {
            // The file stays as it was; the edits stay in force for this run
            // and the question comes back when the program ends.
            TraceLog(-1, -1, -1, "Setup closed without saving the modified settings");
        } else {
            close = false;
        }
    });
    return close;
}

void CommandFermer_Click() {
    ErrorTrap trap("FrmSetup:CommandFermer_Click");
    trap(10, [&] {
        if (AskBeforeClosingSetup()) ShowWindow(false);
    });
}

void FrmSetup_Form_QueryUnload(bool& cancel, int reason) {
    ErrorTrap trap("FrmSetup:Form_QueryUnload");
    trap(10, [&] {
        // The close box only hides the window: it lives until the program ends.
        if (reason == 0) {
            cancel = true;
            if (AskBeforeClosingSetup()) ShowWindow(false);
        }
    });
}
