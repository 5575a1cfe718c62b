// The "Port COM" page of the setup window: the device beside the port
// number, "Initialiser" in service, the manual send.
#include "ui/setup/setup_pages.h"
#include "remote/serial_link.h"
#include "ui/setup/frm_setup.h"
#include "support/app_globals.h"
#include "support/dialogs.h"
#include "support/ini.h"
#include "support/tracelog.h"
#include "ui/setup_window.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct BoxRecorder : Dialogs {
    QStringList texts;
    int MessageBox(const QString& text, const QString&, MsgButtons, MsgIcon, int r) override {
        texts << text;
        return r;
    }
};

TEST(SerialPage, ShowsTheDeviceAndInitialisesThePort) {
    QTemporaryDir drive;
    ASSERT_TRUE(drive.isValid());
    qputenv("VELMORA_DRIVE", (drive.path() + "/").toLocal8Bit());
    ResetIniCache();
    ResetTraceState();
    ResetSetupControls();
    BoxRecorder boxes;
    SetDialogs(&boxes);
    InstallSerialPage();
    const QString ini = NomFichierSettings(".Ini", "");
    QDir().mkpath(QFileInfo(ini).path());
    const QString device = drive.path() + "/no-adapter";
    EcritureIni(ini, "PortCOM", "Device_2", device);
    InitGeneralPortCOM();

    ui::SetupWindow setup;
    setup.refreshAll();
    auto* label = setup.findChild<QLabel*>("LabelPortCOMDevice");
    auto* init = setup.findChild<QPushButton*>("CommandPortCOMInit");
    auto* send = setup.findChild<QPushButton*>("CommandSend");
    ASSERT_TRUE(label && init && send);
    EXPECT_EQ(label->text(), "/dev/ttyS0");
    ::Setup().ComboNoPort.setListIndex(1);
    EXPECT_EQ(label->text(), device);

    ASSERT_TRUE(init->isEnabled());
    QTest::mouseClick(init, Qt::LeftButton);
    EXPECT_TRUE(Trace().ListeLogTemp.filter(" :GPIO: COM: Invalid COM port #2").size() == 1)
        << Trace().ListeLogTemp.join(" | ").toStdString();
    QTest::mouseClick(send, Qt::LeftButton);
    EXPECT_EQ(boxes.texts, QStringList{"Port COM non ouvert."});

    SetDialogs(nullptr);
    SetupLinks().OpenSerialPort = nullptr;
    ResetSerialLink();
    qunsetenv("VELMORA_DRIVE");
}

}  // namespace
