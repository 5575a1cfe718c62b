// The pages of the setup window for the station: UDP lines and targets,
// serial link, I/O card, planning, logging slices.
#include "ui/setup_window.h"

#include "core/frm_main.h"

#include "ui/setup/planning_editor.h"
#include "remote/serial_link.h"
#include "remote/udp_messages.h"
#include "remote/udp_transport.h"
#include "ui/setup/frm_setup.h"
#include "support/tracelog.h"
#include "ui/bindings.h"
#include "ui/look.h"
#include "ui/silence_alarm_box.h"
#include "ui/trace_follower.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

#include "ui/setup_window_parts.h"

namespace ui {

using namespace setup_parts;

QWidget* SetupWindow::buildUdpPage() {
    FrmSetupControls& c = Setup();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* host = new QGroupBox("Ordinateur", page);
    auto* h = new QGridLayout(host);
    h->addWidget(Caption("Nom", host), 0, 0);
    h->addWidget(ReadOnlyField(c.TexteComputerName, host), 0, 1);
    h->addWidget(Caption("Adresse IP", host), 0, 2);
    h->addWidget(ReadOnlyField(c.TexteAdresseIP, host), 0, 3);
    h->addWidget(new BoundCheckBox(c.CheckRecord128, "Forcer l'enregistrement starté en 128 Kbits/s", host), 1, 0, 1, 4);
    h->setColumnStretch(1, 1);
    h->setColumnStretch(3, 1);
    layout->addWidget(host);

    auto* lines = new QGroupBox("Lignes d'entrée UDP", page);
    auto* li = new QGridLayout(lines);
    li->addWidget(Header("Ligne", lines), 0, 0);
    li->addWidget(Header("En service", lines), 0, 1);
    li->addWidget(Header("IP source", lines), 0, 2);
    li->addWidget(Header("Port", lines), 0, 3);
    li->addWidget(Header("Données reçues", lines), 0, 4);
    for (int k = 0; k < kUdpLines; ++k) {
        const size_t n = size_t(k);
        li->addWidget(new QLabel(QString::number(k), lines), k + 1, 0, Qt::AlignCenter);
        li->addWidget(new BoundCheckBox(c.CheckUDPInActif[n], "Activer", lines), k + 1, 1);
        li->addWidget(new BoundLineEdit(c.TexteUDPIPSource[n], lines), k + 1, 2);
        auto* port = new BoundLineEdit(c.TexteUDPPortSource[n], lines);
        port->setMaximumWidth(90);
        li->addWidget(port, k + 1, 3);
        li->addWidget(ReadOnlyField(c.TexteUDPDonneeRecues[n], lines), k + 1, 4);
    }
    li->setColumnStretch(2, 1);
    li->setColumnStretch(4, 3);
    layout->addWidget(lines);

    auto* targets = new QGroupBox("Cibles UDP", page);
    auto* ta = new QGridLayout(targets);
    const char* heads[] = {"Cible", "Libellé", "IP", "Port A", "Port B", "Port C", "Port D", "Message", ""};
    for (int col = 0; col < 9; ++col) ta->addWidget(Header(heads[col], targets), 0, col);
    for (int t = 0; t < kUdpTargets; ++t) {
        const size_t n = size_t(t);
        ta->addWidget(new QLabel(QString::number(t), targets), t + 1, 0, Qt::AlignCenter);
        ta->addWidget(new BoundLineEdit(c.TexteUDPLibelleCible[n], targets), t + 1, 1);
        ta->addWidget(new BoundLineEdit(c.TexteUDPIPCible[n], targets), t + 1, 2);
        int col = 3;
        for (TextCtl* p : {&c.TexteUDPPortCible[n], &c.TexteUDPPortBCible[n], &c.TexteUDPPortCCible[n],
                           &c.TexteUDPPortDCible[n]}) {
            auto* e = new BoundLineEdit(*p, targets);
            e->setMaximumWidth(80);
            ta->addWidget(e, t + 1, col++);
        }
        ta->addWidget(new BoundLineEdit(c.TexteUDPSend[n], targets), t + 1, 7);
        auto* send = new QPushButton("Envoyer", targets);
        send->setToolTip("Envoie le message à chaque port de la cible");
        connect(send, &QPushButton::clicked, this, [t] { BtnUDPSend_Click(t); });
        ta->addWidget(send, t + 1, 8);
    }
    ta->setColumnStretch(1, 1);
    ta->setColumnStretch(2, 1);
    ta->setColumnStretch(7, 2);
    layout->addWidget(targets);

    // Fixed test messages put in the inbox of input line 0.
    auto* tests = new QGroupBox("Tests des commandes UDP (ligne 0)", page);
    auto* te = new QHBoxLayout(tests);
    const struct {
        const char* caption;
        const char* message;
        std::function<void()> click;
    } buttons[] = {
        {"Enregistrer", "<Record:Start><Recorder:1><ArticleId:ART00009>", [] { CommandTestUDP_Click(0); }},
        {"Arrêter", "<Record:Stop><Recorder:1>", [] { CommandTestUDP_Click(1); }},
        {"Enregistrer (SongId)", "<Record:Start><SongId:99999999><Recorder:1>", [] { Command_Click(); }},
        {"Arrêter (SongId)", "<Record:Stop><SongId:99999999><Recorder:1>", [] { Command1_Click(); }},
    };
    for (const auto& m : buttons) {
        auto* b = new QPushButton(m.caption, tests);
        b->setToolTip(m.message);
        connect(b, &QPushButton::clicked, this, m.click);
        te->addWidget(b);
    }
    te->addStretch(1);
    layout->addWidget(tests);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWindow::buildSerialPage() {
    FrmSetupControls& c = Setup();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* box = new QGroupBox("Liaison série", page);
    auto* g = new QGridLayout(box);
    g->addWidget(new BoundCheckBox(c.CheckPortCOMPresent, "Utiliser", box), 0, 0, 1, 2);
    const char* captions[] = {"Vitesse", "Parité", "Bits de données", "Bits d'arrêt"};
    g->addWidget(Caption("Port COM", box), 1, 0);
    g->addWidget(new BoundComboBox(c.ComboNoPort, box), 1, 1);
    // The Linux device behind the port number.
    auto* device = new BoundLabel(c.LabelPortCOMDevice, box);
    device->setObjectName("LabelPortCOMDevice");
    device->setTextInteractionFlags(Qt::TextSelectableByMouse);
    g->addWidget(device, 1, 2);
    for (int k = 0; k < 4; ++k) {
        g->addWidget(Caption(captions[k], box), k + 2, 0);
        g->addWidget(new BoundComboBox(c.ComboPortComSetup[size_t(k)], box), k + 2, 1);
    }
    serialInit_ = new QPushButton("Initialiser", box);
    serialInit_->setObjectName("CommandPortCOMInit");
    connect(serialInit_, &QPushButton::clicked, this, [] {
        if (SetupLinks().OpenSerialPort) SetupLinks().OpenSerialPort();
    });
    g->addWidget(serialInit_, 6, 1, Qt::AlignLeft);
    g->addWidget(Caption("Commande", box), 7, 0);
    g->addWidget(new BoundLineEdit(c.TexteToSend, box), 7, 1, 1, 2);
    auto* send = new QPushButton("Envoyer", box);
    send->setObjectName("CommandSend");
    connect(send, &QPushButton::clicked, this, [this] {
        commitEdits();
        CommandSend_Click(Setup().TexteToSend.text());
    });
    g->addWidget(send, 7, 3);
    g->setColumnStretch(2, 1);
    layout->addWidget(box);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWindow::buildCardPage() {
    FrmSetupControls& c = Setup();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    top->addWidget(new BoundCheckBox(c.CheckP8R8Actif, "Actif", page));
    top->addSpacing(20);
    top->addWidget(new QLabel("Type de carte", page));
    auto* type = new BoundComboBox(c.cbCardType, page);
    type->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    top->addWidget(type);
    top->addStretch(1);
    layout->addLayout(top);

    auto* inputs = new QGroupBox("Entrées", page);
    inputs->setObjectName("MyFrameP8R8In");
    BindWidget(inputs, c.MyFrameP8R8In);
    auto* ig = new QGridLayout(inputs);
    for (int k = 0; k < 16; ++k) {
        // The inputs show the card; the operator does not set them.
        auto* box = new BoundCheckBox(c.ChckBoxP8R8In[size_t(k)], QString("Entrée %1").arg(k), inputs);
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        box->setFocusPolicy(Qt::NoFocus);
        ig->addWidget(box, k / 8, k % 8);
    }
    layout->addWidget(inputs);

    auto* outputs = new QGroupBox("Sorties", page);
    outputs->setObjectName("MyFrameP8R8Out");
    BindWidget(outputs, c.MyFrameP8R8Out);
    auto* og = new QGridLayout(outputs);
    for (int k = 0; k < 16; ++k)
        og->addWidget(new BoundCheckBox(c.ChckBoxP8R8Out[size_t(k)], QString("Sortie %1").arg(k), outputs), k / 8, k % 8);
    layout->addWidget(outputs);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWindow::buildPlanningPage() {
    FrmSetupControls& c = Setup();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* editor = new QGroupBox("Ligne de planning", page);
    auto* g = new QGridLayout(editor);
    struct EditorList {
        const char* caption;
        const char* name;
        ComboCtl* model;
    };
    const EditorList lists[] = {
        {"Enregistreur", "ComboRecorder", &c.ComboRecorder}, {"Fréquence", "ComboFrequence", &c.ComboFrequence},
        {"Année", "ComboAnnee", &c.ComboAnnee},          {"Mois", "ComboMois", &c.ComboMois},
        {"Semaine", "ComboSemaine", &c.ComboSemaine},    {"Jour", "ComboJour", &c.ComboJour},
        {"Heure", "ComboHeure", &c.ComboHeure},          {"Minute", "ComboMinute", &c.ComboMinute},
    };
    int col = 0;
    for (const EditorList& l : lists) {
        // A list's caption is enabled with it.
        QLabel* caption = Header(QString::fromUtf8(l.caption), editor);
        BindWidget(caption, *l.model);
        g->addWidget(caption, 0, col);
        auto* box = new BoundComboBox(*l.model, editor);
        box->setObjectName(l.name);
        g->addWidget(box, 1, col);
        ++col;
    }
    g->addWidget(new BoundCheckBox(c.CheckPlanningActif, "Actif", editor), 2, 0);
    g->addWidget(Caption("Durée (Min)", editor), 2, 1);
    auto* duration = new BoundLineEdit(c.TextDuree, editor);
    duration->setObjectName("TextDuree");
    g->addWidget(duration, 2, 2);
    g->addWidget(Caption("ASC 8.2", editor), 2, 3);
    auto* switcher = new BoundLineEdit(c.TexteASC82Plus, editor);
    switcher->setObjectName("TexteASC82Plus");
    g->addWidget(switcher, 2, 4, 1, 4);
    g->addWidget(Caption("Fichier son à générer", editor), 3, 0, 1, 2);
    auto* file = new BoundLineEdit(c.TexteDossierFichierSon, editor);
    file->setObjectName("TexteDossierFichierSon");
    g->addWidget(file, 3, 2, 1, 5);
    auto* chooser = new QPushButton("...", editor);
    chooser->setObjectName("CommandDossierFichierSon");
    chooser->setToolTip("Fichier à générer...");
    BindWidget(chooser, c.CommandDossierFichierSon);
    connect(chooser, &QPushButton::clicked, this, [] { CommandDossierFichierSon_Click(); });
    g->addWidget(chooser, 3, 7, Qt::AlignLeft);
    g->addWidget(Caption("Timing du prochain enregistrement", editor), 4, 0, 1, 3);
    auto* next = new BoundLineEdit(c.TextProchainTiming, editor);
    next->setObjectName("TextProchainTiming");
    next->setReadOnly(true);
    g->addWidget(next, 4, 3, 1, 3);
    for (int c = 0; c < 8; ++c) g->setColumnStretch(c, 1);
    layout->addWidget(editor);

    planning_ = new QTableWidget(0, kPlanningColumns, page);
    planning_->setObjectName("ListView1");
    planning_->setHorizontalHeaderLabels({"Enregistreur", "Fréquence", "Année", "Mois", "Semaine", "Jour", "Heure", "Min",
                                          "Actif", "Durée (Min)", "Fichier son à générer", "ASC 8.2", ""});
    planning_->verticalHeader()->hide();
    planning_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    planning_->setSelectionBehavior(QAbstractItemView::SelectRows);
    planning_->setSelectionMode(QAbstractItemView::SingleSelection);
    planning_->setAlternatingRowColors(true);
    planning_->setSortingEnabled(false);  // the list's model sorts
    planning_->horizontalHeader()->setSectionsClickable(true);
    planning_->horizontalHeader()->setStretchLastSection(false);
    planning_->installEventFilter(this);
    layout->addWidget(planning_, 1);

    // The operator's selection goes to the list's model; a click loads the row.
    connect(planning_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (!refreshingPlanning_) Setup().ListView1.setSelectedRow(row);
    });
    connect(planning_, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (refreshingPlanning_) return;
        Setup().ListView1.setSelectedRow(row);
        ListView1_Click();
    });
    connect(planning_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [](int column) { ListView1_ColumnClick(column); });
    QPointer<SetupWindow> self(this);
    c.ListView1.observe([self] {
        if (self) self->refreshPlanningTable();
    });
    refreshPlanningTable();
    return page;
}

QWidget* SetupWindow::buildSlicesPage() {
    FrmSetupControls& c = Setup();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new BoundCheckBox(c.CheckTimingPige, "Gérer les enregistrements par tranche horaire", page));
    auto* box = new QGroupBox("Tranches horaires de la pige", page);
    auto* g = new QGridLayout(box);
    for (int half = 0; half < 2; ++half) {
        g->addWidget(Header("Début", box), 0, half * 3);
        g->addWidget(Header("Fin", box), 0, half * 3 + 1);
    }
    for (int k = 0; k < kSliceRows; ++k) {
        const int half = k / 12, row = k % 12 + 1;
        auto* start = new BoundLabel(c.LabellPigeTimingStart[size_t(k)], box);
        start->setAlignment(Qt::AlignCenter);
        g->addWidget(start, row, half * 3);
        g->addWidget(new BoundComboBox(c.ComboPigeTimingFin[size_t(k)], box), row, half * 3 + 1);
    }
    g->setColumnMinimumWidth(2, 40);
    g->setColumnStretch(5, 1);
    layout->addWidget(box);
    layout->addStretch(1);
    return page;
}

// ---- refreshes ----

}  // namespace ui
