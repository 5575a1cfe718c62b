#include "ui/setup/setup_pages.h"

#include "core/frm_main.h"
#include "remote/io_card.h"
#include "remote/serial_link.h"
#include "remote/udp_messages.h"
#include "remote/udp_transport.h"
#include "ui/setup/frm_setup.h"

namespace {

void ShowSerialDevice() {
    const int port = SerialPortNumber(Station().Serial);
    Setup().LabelPortCOMDevice.setText(SerialDevicePath(port));
}

// The card as the window shows it.
void ShowCard() {
    FrmSetupControls& c = Setup();
    const CardState& card = Card();
    c.cbCardType.setListIndex(card.TypeEntry);
    c.CheckP8R8Actif.setEnabled(card.Available);
    c.CheckP8R8Actif.setChecked(card.InService);
    c.MyFrameP8R8In.setEnabled(card.PanelsEnabled);
    c.MyFrameP8R8Out.setEnabled(card.PanelsEnabled);
    for (int i = 0; i < 16; ++i) c.ChckBoxP8R8In[size_t(i)].setChecked((card.Inputs >> i) & 1u);
}

}  // namespace

void InstallUdpPage() {
    InstallUdpRemote();
    SetupLinks().LoadCompanionWindow = FrmMainBis_Load;
    SetupLinks().UnloadCompanionWindow = FrmMainBis_Unload;
    UdpDisplay().LineBound = [](int k, bool bound) {
        Setup().TexteUDPIPSource[size_t(k)].setEnabled(!bound);
        Setup().TexteUDPPortSource[size_t(k)].setEnabled(!bound);
    };
    UdpDisplay().Received = [](int k, const QString& text) { Setup().TexteUDPDonneeRecues[size_t(k)].setText(text); };
    static bool wired = false;
    if (wired) return;
    wired = true;
    AddSetupWiring([] {
        for (int k = 0; k < kUdpLines; ++k) {
            Setup().CheckUDPInActif[size_t(k)].onClick = [k] {
                EditStation([k](StationConfig& s) { s.UdpIn[size_t(k)].Active = Setup().CheckUDPInActif[size_t(k)].checked(); });
                CheckUDPInActif_Click(k);
            };
        }
    });
}

void InstallSerialPage() {
    InstallSerialLink();
    SetupLinks().OpenSerialPort = [] { CommandPortCOMInit_Click(); };
    static bool wired = false;
    if (wired) return;
    wired = true;
    AddSetupWiring([] {
        Setup().ComboNoPort.onClick = [] {
            EditStation([](StationConfig& s) { s.Serial.PortEntry = Setup().ComboNoPort.listIndex(); });
            ShowSerialDevice();
        };
    });
}

void InstallIoCardPage() {
    SetupLinks().InitCard = [] { InitGeneralP8R8(); };
    SetupLinks().CloseCard = [] { CloseP8R8(); };
    Card().Changed = ShowCard;
    static bool wired = false;
    if (wired) return;
    wired = true;
    AddSetupWiring([] {
        FrmSetupControls& c = Setup();
        c.CheckP8R8Actif.onClick = [] { SetCardInService(Setup().CheckP8R8Actif.checked()); };
        for (auto& box : c.ChckBoxP8R8Out)
            box.onClick = [] {
                quint16 bits = 0;
                for (int i = 0; i < 16; ++i)
                    if (Setup().ChckBoxP8R8Out[size_t(i)].checked()) bits |= quint16(1u << i);
                SetCardOutputs(bits);
            };
    });
}

void InstallSetupController() {
    FrmMainHost& host = MainHost();
    host.LoadSetup = [] { FrmSetup_Form_Load(); };
    host.UnloadSetup = [] {
        if (SetupFlags().SetupLoaded) FrmSetup_Form_Unload();
    };
    host.ForgetSettingsEdits = [] { SetupFlags().SettingsModified = false; };
    host.RefreshInputFormats = [](int i) { DirectXUpdateInputFormats(i); };
    if (!host.SetupVisible) host.SetupVisible = [] { return Setup().visible; };
    if (!host.ShowSetup)
        host.ShowSetup = [](bool show) {
            Setup().visible = show;
            if (SetupLinks().ShowWindow) SetupLinks().ShowWindow(show);
        };
}
