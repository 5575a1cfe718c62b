// Start-up of the main window: components check, load sequence, folders of
// the recorders, capture engines, command line and quality texts.
#include "archive/history.h"
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/capture/encoder_check.h"
#include "platform/os.h"
#include "settings/frm_setup.h"
#include "support/app_globals.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/external.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QCoreApplication>

namespace {

const QString kModule = "Frm_Main";
const QString kComponentsTitle = "Installation des composants Velmora";
const QString kDefaultComponentsAddress = "https://velmora.tessaline.example/composants/3.47.030/";

std::function<QStringList()>& componentsCheck() {
    static std::function<QStringList()> check;
    return check;
}

QString recorderSection(int index) { return "Recorder_" + N2S(index, 2, 0, "0"); }

QString settingsFile() { return NomFichierSettings(".Ini", ""); }

platform::ActiveSoundRecorder* engine(int index) { return S().ActiveSoundRecorder1[index]; }

// Device and line of a recorder as selected in the setup window; the slot's
// values while a list has no selection.
int selectedDevice(int index) {
    int d = Setup().ComboInputDevices[index].listIndex();
    return d >= 0 ? d : S().slot[index].DeviceIndex;
}
int selectedLine(int index) {
    int l = Setup().ComboInputChannels[index].listIndex();
    return l >= 0 ? l : S().slot[index].ChannelIndex;
}

// The level goes to the device only for recorders in service: the engine of
// a recorder out of service was never initialised, and its default device
// and line are those of recorder 1, whose level it must not change.
void applyLevelToDevice(int index, int level) {
    if (index >= S().RecorderCount || !engine(index)) return;
    // The level of a missing device must not land on another one.
    if (S().slot[index].Health.WaitingForDevice) return;
    engine(index)->InputLevelSet(selectedDevice(index), selectedLine(index), level);
}

// A folder read from the family configuration; a blank value counts as absent
// (it would otherwise designate the root of the drive).
QString configuredFolder(const QString& file, const QString& section, const QString& key,
                         const QString& defaultFolder) {
    QString value = LectureIni(file, section, key, defaultFolder).trimmed();
    if (value.isEmpty()) value = defaultFolder;
    return CheckRep(value);
}

// The load sequence of Form_Load.
void loadMainWindow();

void wireMainControls() {
    Hooks().AfficherNiveauRecord = [](int recorder, int level) { AfficherNiveauRecord(recorder, level); };
    for (int i = 0; i < kRecorders; ++i) S().main.rec[i].Slider1.onScroll = [i] { Slider1_Scroll(i); };
}

}  // namespace

void SetComponentsCheck(std::function<QStringList()> check) { componentsCheck() = std::move(check); }

QString ComponentsDownloadAddress() {
    const QString configured = qEnvironmentVariable("QUILLON_COMPONENTS_URL").trimmed();
    return configured.isEmpty() ? kDefaultComponentsAddress : configured;
}

void Form_Initialize() {
    // The start-up runs from here to the end of Form_Load: a termination
    // signal meanwhile waits for it (the questions below let events run).
    MainState().LoadRunning = true;
    ErrorTrap trap(kModule + ":Form_Initialize");
    QStringList missing;
    trap(10, [&] { missing = componentsCheck() ? componentsCheck()() : platform::MissingEncoders(); });
    if (!missing.isEmpty()) {
        const QString address = ComponentsDownloadAddress();
        trap(20, [&] {
            S().ComponentsMissing = true;
            TraceLog(-1, -1, -1, "Components missing: " + missing.join(", "), true);
        });
        trap(30, [&] {
            const QString text = "\n\nCette mise-à-jour nécessite l'installation de la version 3.47.030 des composants Velmora"
                                 "\nVeuillez faire d'abord cette installation et relancer ensuite le programme"
                                 "\nFichier pour faire cette installation:\n" +
                                 address;
            CurrentDialogs().MessageBox(text, kComponentsTitle, MsgButtons::Ok, MsgIcon::Critical, MsgOk);
        });
        trap(40, [&] {
            int answer = CurrentDialogs().MessageBox("Voulez-vous télécharger le fichier et faire l'installation ?",
                                                     kComponentsTitle, MsgButtons::YesNo, MsgIcon::Question, MsgYes);
            if (answer == MsgYes) ExecuterProgrammeExterne("Open", address, "", "", 1);
        });
        return;
    }
    trap(50, [&] {
        const QString configured = qEnvironmentVariable("VELMORA_APP_FOLDER").trimmed();
        App().ApplicationFolder = configured.isEmpty() ? DefaultRoot() : CheckRep(configured);
        App().UseDefaultRoot = App().ApplicationFolder == DefaultRoot();
    });
}

void Form_Load() {
    MainState().LoadRunning = true;
    loadMainWindow();
    MainState().LoadRunning = false;
    // A close that the system asked for while the load ran.
    const int pending = MainState().PendingClose;
    MainState().PendingClose = -1;
    if (pending >= 0 && !MainState().UnloadStarted) {
        ErrorTrap trap(kModule + ":Form_Load");
        trap(190, [&] {
            TraceLog(-1, -1, -1, "Close asked during the start-up, carried out now");
            CloseMainWindow(pending);
        });
    }
}

namespace {

void loadMainWindow() {
    ErrorTrap trap(kModule + ":Form_Load");
    if (S().ComponentsMissing) {
        UnloadMainWindow();
        return;
    }
    // The format timer runs from the very start: while it runs, start-up is
    // not finished and the close box is refused.
    trap(10, [&] { MainTimers().TimerFormat.start(); });
    trap(20, [&] { platform::CreateNamedLock("Velmora 3.4"); });
    trap(30, [&] {
        const QString caption = "Velmora: Quillon Recorder - " + VersionApplication();
        S().main.caption = caption;
        App().MainWindowCaption = caption;
    });
    trap(40, [&] { if (MainHost().ApplyLook) MainHost().ApplyLook(); });
    trap(50, [&] { TraceLogEncadre(-1, -1, -1, "Form_Load: Start", "="); });
    trap(60, [&] {
        if (!S().CommandLine.trimmed().isEmpty())
            AnalyseChaineCommand(S().CommandLine);
        else
            App().InstanceNumber = 0;
    });
    bool alone = true;
    trap(65, [&] { alone = TakeInstanceLock(); });
    if (!alone) {
        // Nothing was loaded: the process ends without writing anything.
        S().InstanceRefused = true;
        S().QuitRequested = true;
        // No unload either: it would write the window's position and volumes.
        MainState().UnloadStarted = true;
        trap(66, [&] {
            MainTimers().TimerFormat.stop();
            if (MainHost().EndProcess) MainHost().EndProcess();
            else QCoreApplication::exit(2);
        });
        return;
    }
    trap(70, [&] { InitGeneral(); });
    trap(80, [&] { if (MainHost().ApplyLook) MainHost().ApplyLook(); });
    trap(90, [&] {
        const QString file = settingsFile();
        for (int i = 0; i < kRecorders; ++i) {
            SliderCtl& slider = S().main.rec[i].Slider1;
            slider.setRange(0, 100);
            slider.setStep(10);
            slider.setValue(int(Val(LectureIni(file, recorderSection(i), "Volume", "75"))));
            Slider1_Scroll(i);
        }
        MainState().SlidersLoaded = true;
    });
    trap(100, [&] {
        for (auto& rec : S().main.rec) {
            rec.LabelFondChrono.setBackColor(RgbColor(0, 0, 0));
            rec.LabelFondChrono.setOpaque(true);
        }
    });
    trap(110, [&] { TraceLogEncadre(-1, -1, -1, "Form_Load: End", "="); });
    trap(120, [&] {
        S().main.visible = true;
        if (MainHost().ShowMain) MainHost().ShowMain();
    });
    trap(130, [&] {
        if (S().SplashVisible) {
            S().SplashText = "Quillon Recorder: Init: Available formats";
            platform::LetEventsRun();
        }
    });
    // The window is built and shown: from here on a close is carried out at
    // once (it ends the operator check's waits and questions).
    MainState().LoadRunning = false;
    if (MainState().Closing()) return;
    bool accepted = true;
    trap(140, [&] { accepted = CheckOperatorAtStartup(); });
    if (MainState().Closing()) return;
    if (!accepted) {
        trap(150, [&] {
            // Nobody may have edited anything yet: no question about saving.
            S().SettingsModified = false;
            S().QuitRequested = true;
            UnloadMainWindow();
        });
        return;
    }
    trap(160, [&] { S().SettingsModified = false; });
    trap(170, [&] { S().StartupDone = true; });
    trap(180, [&] { MainTimers().Timer1.start(); });
}

}  // namespace

void CreateCaptureEngines() {
    ErrorTrap trap(kModule + ":CreateCaptureEngines");
    bool created = false;
    for (int i = 0; i < kRecorders; ++i) {
        trap(10, [&] {
            if (!S().ActiveSoundRecorder1[i]) {
                S().ActiveSoundRecorder1[i] = new platform::ActiveSoundRecorder(i);
                created = true;
            }
        });
    }
    if (created) trap(20, [&] { ConnectCaptureEvents(); });
}

void DeleteCaptureEngines() {
    ErrorTrap trap(kModule + ":DeleteCaptureEngines");
    for (int i = 0; i < kRecorders; ++i) {
        trap(10, [&] {
            platform::ActiveSoundRecorder* e = S().ActiveSoundRecorder1[i];
            S().ActiveSoundRecorder1[i] = nullptr;
            delete e;
        });
    }
}

void InitGeneral() {
    ErrorTrap trap(kModule + ":InitGeneral");
    trap(10, [&] {
        App().DateDisplayFormat = "dd/MM/yyyy";
        App().TimeDisplayFormat = "HH:MM:SS";
    });
    trap(20, [&] {
        wireMainControls();
        CreateCaptureEngines();
    });
    trap(30, [&] {
        if (MainHost().ShowSplash) MainHost().ShowSplash();
        platform::LetEventsRun();
        S().SplashVisible = true;
    });
    trap(40, [&] { S().main.IncidentsTab.setVisible(false); });
    trap(50, [&] { S().SplashText = "Quillon Recorder: Init: General"; });
    trap(60, [&] { if (IniCache().SettingsFolder.trimmed().isEmpty()) NomDossierSettings(); });
    trap(70, [&] {
        const QString config = CheckRep(DetermineDossierConfig_Fichier(DetermineDossierConfig(), 1));
        for (auto& slot : S().slot) slot.ConfigFolder = config;
        VerificationEtCreationRepertoire(config, true);
        TraceLog(-1, -1, -1, "Config_Folder: " + config);
    });
    for (int i = 0; i < kRecorders; ++i) trap(80, [&] { InitGeneralDossiers(i); });
    trap(90, [&] { InitGeneralGridHisto(); });
    trap(100, [&] { FrmSetup_Form_Load(); });
    trap(110, [&] {
        const QRect screen = MainHost().ScreenGeometry ? MainHost().ScreenGeometry() : QRect(0, 0, 1920, 1080);
        PositionFeuille(MainWindowPos(), "", screen);
    });
    const int count = qBound(1, S().RecorderCount, kRecorders);
    for (int i = 0; i < count; ++i) {
        trap(120, [&] { InitPipe(i); });
        trap(130, [&] { S().main.rec[i].LabelChrono.setText(""); });
    }
    for (int i = 0; i < count; ++i) trap(140, [&] { InitAffichageHisto(i); });
    trap(150, [&] { if (MainHost().InstallGridWheel) MainHost().InstallGridWheel(); });
}

void InitGeneralDossiers(int index) {
    ErrorTrap trap(kModule + ":InitGeneralDossiers");
    RecorderSlot& slot = S().slot[index];
    const QString file = slot.ConfigFolder + "VM3_Systeme.ini";
    const QString section = "Base_" + N2S(index + 1, 2, 0, "0");
    trap(10, [&] {
        slot.LocalFolder = configuredFolder(file, section, "Dossier_Local", DefaultRoot() + "Settings/_Local/");
        VerificationEtCreationRepertoire(slot.LocalFolder, true);
        TraceLog(-1, index, -1, "Local_Folder: " + slot.LocalFolder);
    });
    trap(20, [&] {
        slot.LocalSoundFolder = slot.LocalFolder + "Sons_Quillon_Recorder_" + N2S(index, 2, 0, "0") + "/";
        VerificationEtCreationRepertoire(slot.LocalSoundFolder, true);
        TraceLog(-1, index, -1, "Local_Sound_Folder: " + slot.LocalSoundFolder);
    });
    trap(30, [&] {
        // One log folder for the program: the base read last wins.
        const QString log = configuredFolder(file, section, "Dossier_Log", platform::DriveRoot() + "AudioLog/") +
                            "Histo_VM3_Quillon_Recorder/";
        S().LogFolder = log;
        Trace().LogFolder = log;
        VerificationEtCreationRepertoire(log, true);
        TraceLog(-1, index, -1, "Log_Folder: " + log);
    });
}

void InitPipe(int index) {
    ErrorTrap trap(kModule + ":InitPipe");
    platform::ActiveSoundRecorder* e = engine(index);
    RecorderSlot& slot = S().slot[index];
    // The engine is part of the program itself.
    const QString enginePath = QCoreApplication::applicationFilePath();
    trap(10, [&] {
        S().ControlVersion = 0;
        if (e && File_Exist(enginePath, kModule + ":InitPipe")) S().ControlVersion = Val(e->ControlVersion());
    });
    trap(20, [&] {
        TraceLog(-1, index, -1, "File: " + enginePath + " |asrecmms.Version: " + QString::number(S().ControlVersion));
    });
    int code = 0;
    trap(30, [&] {
        code = -49;  // not initialised, when the engine could not be created
        if (e) code = e->InitRecorder(MainHost().WindowHandle ? MainHost().WindowHandle() : 0);
    });
    if (code != 0) {
        trap(40, [&] {
            AfficherErreurARS(code, index, -1, "InitRecorder", kModule + ":InitPipe");
            RecorderFrameControls& rec = S().main.rec[index];
            rec.XPButtonRecord.setEnabled(false);
            rec.XPButtonPause.setEnabled(false);
            rec.XPButtonStop.setEnabled(false);
        });
        return;
    }
    trap(50, [&] {
        ComboCtl& devices = Setup().ComboInputDevices[index];
        devices.clear();
        const int n = e->InputDeviceCount();
        for (int d = 0; d < n; ++d) devices.addItem(e->InputDeviceName(d));
    });
    trap(60, [&] {
        TraceLogEncadre(-1, index, -1, "Init DirectX: In", "=");
        TraceLog(-1, index, -1, "ControlVersion: " + e->ControlVersion());
        TraceLog(-1, index, -1, "EngineVersion: " + e->EngineVersion());
        Trace().AsrecmmsVersion = e->ControlVersion();
    });
    QString storedDevice = "0";
    trap(70, [&] {
        const QString file = settingsFile();
        const QString section = recorderSection(index);
        storedDevice = LectureIni(file, section, "Device", "0");
        slot.DeviceIndex = qint16(Val(storedDevice));
        slot.DeviceName = LectureIni(file, section, "DeviceName", "");
        slot.ChannelIndex = qint16(Val(LectureIni(file, section, "Channel", "0")));
        slot.QualityIndex = qint16(Val(LectureIni(file, section, "Quality", "0")));
        slot.QualityText = LectureIni(file, section, "SQuality", "");
    });
    // The device by its name, else by its number; a device that is not there
    // is never replaced by another one.
    trap(75, [&] { FollowSoundServer(); });
    trap(80, [&] { BindRecorderDevice(index, storedDevice); });
    trap(90, [&] {
        if (slot.Health.WaitingForDevice) return;  // no level to read from a device that is not there
        slot.InputLevel = e->InputLevelGet(selectedDevice(index), selectedLine(index));
        AfficherNiveauRecord(index, slot.InputLevel);
    });
    trap(100, [&] {
        const quintptr window = MainHost().WindowHandle ? MainHost().WindowHandle() : 0;
        const unsigned background = RgbColor(28, 0, 0);
        RecorderFrameControls& rec = S().main.rec[index];
        rec.Picture1.setBackColor(background);
        e->MeterDisplay1.Create(window);
        e->MeterDisplay1.SetColors(background, RgbColor(245, 213, 0), RgbColor(205, 92, 92));
        e->MeterDisplay1.Enable(1);
        rec.Picture4.setBackColor(background);
        e->MeterDisplay2.Create(window);
        e->MeterDisplay2.SetColors(background, RgbColor(245, 213, 0), RgbColor(205, 92, 92));
        e->MeterDisplay2.Enable(1);
    });
}

void AnalyseChaineCommand(const QString& commandLine) {
    ErrorTrap trap(kModule + ":AnalyseChaineCommand");
    trap(10, [&] {
        TraceLog(-1, -1, -1, "Command Line: '" + commandLine + "'");
        App().InstanceNumber = 0;
    });
    trap(20, [&] {
        QString key = "/Instance=";
        int at = commandLine.indexOf(key, 0, Qt::CaseInsensitive);
        if (at < 0) {
            key = "/I=";
            at = commandLine.indexOf(key, 0, Qt::CaseInsensitive);
        }
        if (at < 0) return;
        const QString rest = commandLine.mid(at + key.size()).trimmed();
        int digits = 0;
        while (digits < rest.size() && rest[digits].isDigit() && rest[digits].unicode() < 128) ++digits;
        const double value = Val(rest.left(digits));
        App().InstanceNumber = int(qBound(1.0, value, 10.0));
        TraceLog(-1, -1, -1, "Instance: " + QString::number(App().InstanceNumber));
    });
}

qint32 DetermineFrequence(const QString& text, qint32 defaultValue) {
    ErrorTrap trap(kModule + ":DetermineFrequence");
    qint32 rate = defaultValue;
    trap(10, [&] {
        const double value = Val(text.left(6));
        // A rate that is not a positive number cannot be recorded.
        if (value >= 1) rate = qint32(value);
    });
    return rate;
}

qint32 DetermineChannel(const QString& text, qint32 /*defaultValue*/) {
    return text.contains("mono", Qt::CaseInsensitive) ? 1 : 2;
}

qint32 DetermineBit(const QString& text, qint32 /*defaultValue*/) {
    static const qint32 depths[] = {16, 24, 32};
    // The depth written before "bit" first: a rate such as " 16000" must not
    // be taken for a bit depth.
    for (qint32 bits : depths)
        if (text.contains(" " + QString::number(bits) + " bit", Qt::CaseInsensitive)) return bits;
    for (qint32 bits : depths)
        if (text.contains(" " + QString::number(bits), Qt::CaseInsensitive)) return bits;
    return 8;
}

void AfficherNiveauRecord(int index, int level) {
    ErrorTrap trap(kModule + ":AfficherNiveauRecord");
    // -1 is the engine's "level unknown": nothing to show, and the device
    // must not be turned down to 0 for it.
    if (index < 0 || index >= kRecorders || level < 0) return;
    trap(10, [&] {
        SliderCtl& slider = S().main.rec[index].Slider1;
        slider.setValue(level);
        S().slot[index].Volume = slider.value();
    });
    trap(20, [&] { applyLevelToDevice(index, S().main.rec[index].Slider1.value()); });
}

void Slider1_Scroll(int index) {
    ErrorTrap trap(kModule + ":Slider1_Scroll");
    if (index < 0 || index >= kRecorders) return;
    trap(10, [&] {
        const int level = S().main.rec[index].Slider1.value();
        S().slot[index].Volume = level;
        applyLevelToDevice(index, level);
    });
}
