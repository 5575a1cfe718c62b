// The main window's menu and its "about" box.
#include "core/main_window_state.h"
#include "ui/main_window.h"

#include "archive/history.h"
#include "core/frm_main.h"
#include "recording/input_levels.h"
#include "core/operator_rights.h"
#include "core/recorder_panel.h"
#include "core/main_controls.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/versions.h"
#include "support/app_globals.h"
#include "support/tracelog.h"
#include "ui/bindings.h"
#include "ui/history_view.h"
#include "ui/incidents.h"
#include "ui/look.h"
#include "ui/meters.h"
#include "ui/xpbutton_widget.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace ui {

void MainWindow::buildMenu() {
    fileMenu_ = menuBar()->addMenu("&Fichier");
    fileMenu_->setObjectName("Mnu01");
    QAction* options = fileMenu_->addAction("&Options...");
    options->setObjectName("Mnu01Options");
    QAction* veille = fileMenu_->addAction("Mise en &veille");
    veille->setObjectName("Mnu01Veille");
    fileMenu_->addSeparator();
    // The current operator: shown only, its caption carries the name.
    QAction* user = fileMenu_->addAction("Utilisateur en cours");
    user->setObjectName("MnuUserCurrent");
    QAction* changeUser = fileMenu_->addAction("&Changer d'utilisateur...");
    changeUser->setObjectName("MnuChangeUser");
    fileMenu_->addSeparator();
    QAction* journal = fileMenu_->addAction("&Journal des traces...");
    journal->setObjectName("MnuJournal");
    fileMenu_->addSeparator();
    QAction* quit = fileMenu_->addAction("&Quitter");
    quit->setObjectName("MnuQuitter");
    BindAction(options, S().main.Mnu01Options);
    BindAction(quit, S().main.MnuQuitter);
    BindAction(user, S().main.MnuUserCurrent);
    BindAction(changeUser, S().main.MnuChangeUser);
    BindAction(journal, S().main.MnuJournal);
    connect(options, &QAction::triggered, this, [] { Mnu01Options_Click(); });
    connect(veille, &QAction::triggered, this, [] { MiseEnVeilleForcee(); });
    connect(changeUser, &QAction::triggered, this, [] { MnuChangerUtilisateur_Click(); });
    connect(journal, &QAction::triggered, this, [] { MnuJournal_Click(); });
    connect(quit, &QAction::triggered, this, [] { MnuQuitter_Click(); });
    connect(fileMenu_, &QMenu::aboutToShow, this, [] { Mnu01_Click(); });

    helpMenu_ = menuBar()->addMenu("&Aide");
    helpMenu_->setObjectName("MnuAide");
    QAction* about = helpMenu_->addAction("À &propos de Quillon Recorder...");
    about->setObjectName("MnuAPropos");
    connect(about, &QAction::triggered, this, [this] { showAbout(); });
}

QString MainWindow::aboutText() {
    return QString("<h3>Velmora: Quillon Recorder</h3>"
                   "<p>Version %1</p>"
                   "<p>Enregistreur multicanal : jusqu'à huit entrées de cartes son enregistrées en "
                   "fichiers, jour et nuit.</p>"
                   "<table>"
                   "<tr><td>Qt</td><td>%2</td></tr>"
                   "<tr><td>FFmpeg</td><td>%3</td></tr>"
                   "<tr><td>libpulse</td><td>%4</td></tr>"
                   "</table>")
        .arg(VersionApplication().toHtmlEscaped(), platform::QtVersionText().toHtmlEscaped(),
             platform::FfmpegVersionText().toHtmlEscaped(), platform::PulseVersionText().toHtmlEscaped());
}

void MainWindow::showAbout() {
    QMessageBox box(QMessageBox::Information, "À propos de Quillon Recorder", aboutText(), QMessageBox::Ok, this);
    box.setObjectName("BoxAPropos");
    box.setTextFormat(Qt::RichText);
    box.setIconPixmap(windowIcon().pixmap(64, 64));
    box.exec();
}

}  // namespace ui
