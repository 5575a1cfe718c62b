// Start-up of the main window: components check, load sequence, folders of
// the recorders, capture engines, command line and quality texts.
#include "archive/history.h"
#include "core/control_bridge.h"
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/capture/encoder_check.h"
#include "platform/os.h"
#include "settings/settings_model.h"
#include "support/app_globals.h"
#include "support/clock.h"
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

platform::ActiveSoundRecorder* engine(int index) { return Rec(index).engine(); }

// Device and line of a recorder: the device it is bound to, else the stored one.
int selectedDevice(int index) {
    const int d = Rec(index).BoundDevice();
    return d >= 0 ? d : Rec(index).config().DeviceIndex;
}
int selectedLine(int index) { return Rec(index).config().ChannelIndex; }

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
    for (int i = 0; i < kRecorders; ++i) S().main.rec[i].Slider1.onScroll = [i](int level) { Slider1_Scroll(i, level); };
    SoundServerWait().Show = [](const QString& text) {
        if (MainState().SplashVisible) MainState().SplashText = text;
    };
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
            MainState().ComponentsMissing = true;
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
    if (MainState().ComponentsMissing) {
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
        if (!MainState().CommandLine.trimmed().isEmpty())
            AnalyseChaineCommand(MainState().CommandLine);
        else
            App().InstanceNumber = 0;
    });
    bool alone = true;
    trap(65, [&] { alone = TakeInstanceLock(); });
    if (!alone) {
        // Nothing was loaded: the process ends without writing anything.
        MainState().InstanceRefused = true;
        MainState().QuitRequested = true;
        // No unload either: it would write the window's position and volumes.
        MainState().UnloadStarted = true;
        trap(66, [&] {
            MainTimers().TimerFormat.stop();
            if (MainHost().EndProcess) MainHost().EndProcess();
            else QCoreApplication::exit(2);
        });
        return;
    }
    // The control socket answers from now on (a command is refused with its
    // reason until the start-up is done).
    trap(68, [&] { OpenControlSocket(); });
    trap(70, [&] { InitGeneral(); });
    trap(80, [&] { if (MainHost().ApplyLook) MainHost().ApplyLook(); });
    trap(90, [&] {
        const QString file = settingsFile();
        for (int i = 0; i < kRecorders; ++i) {
            SliderCtl& slider = S().main.rec[i].Slider1;
            slider.setRange(0, 100);
            slider.setStep(10);
            slider.setValue(int(Val(LectureIni(file, recorderSection(i), "Volume", "75"))));
            // The level as the slider holds it (kept within its range).
            Slider1_Scroll(i, qBound(0, int(Val(LectureIni(file, recorderSection(i), "Volume", "75"))), 100));
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
        MainState().WindowShown = true;
        if (MainHost().ShowMain) MainHost().ShowMain();
    });
    trap(130, [&] {
        if (MainState().SplashVisible) {
            MainState().SplashText = "Quillon Recorder: Init: Available formats";
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
            if (MainHost().ForgetSettingsEdits) MainHost().ForgetSettingsEdits();
            MainState().QuitRequested = true;
            UnloadMainWindow();
        });
        return;
    }
    trap(160, [&] { if (MainHost().ForgetSettingsEdits) MainHost().ForgetSettingsEdits(); });
    trap(170, [&] { MainState().StartupDone = true; });
    trap(180, [&] { MainTimers().Timer1.start(); });
}

}  // namespace

void CreateCaptureEngines() {
    ErrorTrap trap(kModule + ":CreateCaptureEngines");
    bool created = false;
    for (int i = 0; i < kRecorders; ++i) {
        trap(10, [&] {
            if (!Rec(i).engine()) {
                Rec(i).SetEngine(new platform::ActiveSoundRecorder(i));
                created = true;
            }
        });
    }
    if (created) trap(20, [&] { ConnectRecorderButtons(); });
}

void DeleteCaptureEngines() {
    ErrorTrap trap(kModule + ":DeleteCaptureEngines");
    for (int i = 0; i < kRecorders; ++i) {
        trap(10, [&] {
            platform::ActiveSoundRecorder* e = Rec(i).engine();
            Rec(i).SetEngine(nullptr);
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
        // The sidecars of the recordings date their audio with the program's clock.
        platform::ActiveSoundRecorder::SetWallClock([] { return CurrentClock().now(); });
        CreateCaptureEngines();
    });
    trap(30, [&] {
        if (MainHost().ShowSplash) MainHost().ShowSplash();
        platform::LetEventsRun();
        MainState().SplashVisible = true;
    });
    trap(40, [&] { S().main.IncidentsTab.setVisible(false); });
    trap(50, [&] { MainState().SplashText = "Quillon Recorder: Init: General"; });
    trap(60, [&] { if (IniCache().SettingsFolder.trimmed().isEmpty()) NomDossierSettings(); });
    trap(70, [&] {
        const QString config = CheckRep(DetermineDossierConfig_Fichier(DetermineDossierConfig(), 1));
        for (int i = 0; i < kRecorders; ++i) {
            RecorderConfig c = Rec(i).config();
            c.ConfigFolder = config;
            Rec(i).SetConfig(c);
        }
        VerificationEtCreationRepertoire(config, true);
        TraceLog(-1, -1, -1, "Config_Folder: " + config);
    });
    for (int i = 0; i < kRecorders; ++i) trap(80, [&] { InitGeneralDossiers(i); });
    trap(90, [&] { InitGeneralGridHisto(); });
    trap(100, [&] { if (MainHost().LoadSetup) MainHost().LoadSetup(); });
    trap(110, [&] {
        const QRect screen = MainHost().ScreenGeometry ? MainHost().ScreenGeometry() : QRect(0, 0, 1920, 1080);
        PositionFeuille(MainWindowPos(), "", screen);
    });
    const int count = qBound(1, RecordersInService(), kRecorders);
    for (int i = 0; i < count; ++i) {
        trap(120, [&] { InitPipe(i); });
        trap(130, [&] { S().main.rec[i].LabelChrono.setText(""); });
    }
    for (int i = 0; i < count; ++i) trap(140, [&] { InitAffichageHisto(i); });
    trap(150, [&] { if (MainHost().InstallGridWheel) MainHost().InstallGridWheel(); });
}

void InitGeneralDossiers(int index) {
    ErrorTrap trap(kModule + ":InitGeneralDossiers");
    RecorderConfig slot = Rec(index).config();
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
        MainState().LogFolder = log;
        Trace().LogFolder = log;
        VerificationEtCreationRepertoire(log, true);
        TraceLog(-1, index, -1, "Log_Folder: " + log);
    });
    Rec(index).SetConfig(slot);
}

void InitPipe(int index) {
    ErrorTrap trap(kModule + ":InitPipe");
    platform::ActiveSoundRecorder* e = engine(index);
    Recorder& rec = Rec(index);
    // The engine is part of the program itself.
    const QString enginePath = QCoreApplication::applicationFilePath();
    trap(10, [&] {
        MainState().ControlVersion = 0;
        if (e && File_Exist(enginePath, kModule + ":InitPipe")) MainState().ControlVersion = Val(e->ControlVersion());
    });
    trap(20, [&] {
        TraceLog(-1, index, -1, "File: " + enginePath + " |asrecmms.Version: " + QString::number(MainState().ControlVersion));
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
    // The device list the setup window shows.
    trap(50, [&] { emit rec.DevicesChanged(index); });
    trap(60, [&] {
        TraceLogEncadre(-1, index, -1, "Init DirectX: In", "=");
        TraceLog(-1, index, -1, "ControlVersion: " + e->ControlVersion());
        TraceLog(-1, index, -1, "EngineVersion: " + e->EngineVersion());
        Trace().AsrecmmsVersion = e->ControlVersion();
    });
    QString storedDevice = "0";
    trap(70, [&] {
        RecorderConfig c = rec.config();
        ReloadDeviceChoice(c);
        storedDevice = c.StoredDevice;
        rec.SetConfig(c);
    });
    // The device by its name, else by its number; a device that is not there
    // is never replaced by another one.
    trap(75, [&] { FollowSoundServer(); });
    trap(80, [&] { BindRecorderDevice(index, storedDevice); });
    trap(90, [&] {
        if (rec.health().WaitingForDevice) return;  // no level to read from a device that is not there
        rec.runtime().InputLevel = e->InputLevelGet(selectedDevice(index), selectedLine(index));
        AfficherNiveauRecord(index, rec.runtime().InputLevel);
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

void AfficherNiveauRecord(int index, int level) {
    ErrorTrap trap(kModule + ":AfficherNiveauRecord");
    // -1 is the engine's "level unknown": nothing to show, and the device
    // must not be turned down to 0 for it.
    if (index < 0 || index >= kRecorders || level < 0) return;
    trap(10, [&] {
        // The slider holds levels 0..100.
        const int shown = qBound(0, level, 100);
        S().main.rec[index].Slider1.setValue(shown);
        Rec(index).SetVolume(shown);
    });
}

void Slider1_Scroll(int index, int level) {
    ErrorTrap trap(kModule + ":Slider1_Scroll");
    if (index < 0 || index >= kRecorders) return;
    trap(10, [&] { Rec(index).SetVolume(level); });
}
