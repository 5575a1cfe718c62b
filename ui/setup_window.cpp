#include "ui/setup_window.h"

#include "core/frm_main.h"

#include "planning/planning_editor.h"
#include "remote/serial_link.h"
#include "remote/udp_messages.h"
#include "remote/udp_transport.h"
#include "settings/frm_setup.h"
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

namespace ui {

namespace {

constexpr int kTraceLinesKept = 2000;
const char* const kCommands[3] = {"Enregistrement", "Pause", "Arrêt"};

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QLabel* Header(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

QWidget* Scrolled(QWidget* page) {
    auto* area = new QScrollArea;
    area->setWidget(page);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

BoundLineEdit* ReadOnlyField(TextCtl& model, QWidget* parent) {
    auto* e = new BoundLineEdit(model, parent);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    return e;
}

}  // namespace

SetupWindow::SetupWindow(TraceFollower* trace, QWidget* parent) : QWidget(parent, Qt::Window) {
    if (!trace) ownTrace_ = std::make_unique<TraceFollower>(kTraceLinesKept);
    trace_ = trace ? trace : ownTrace_.get();
    setObjectName("FrmSetup");
    setWindowTitle(Setup().caption.isEmpty() ? "Options: Velmora: Quillon Recorder" : Setup().caption);
    resize(1220, 660);

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("SftTabsOptions");
    tabs_->setUsesScrollButtons(true);
    optionPages_[0] = buildGeneralPage();
    tabs_->addTab(optionPages_[0], "Général");
    for (int i = 0; i < kRecorders; ++i) {
        recorderPages_[size_t(i)] = buildRecorderPage(i);
        optionPages_[size_t(i + 1)] = Scrolled(recorderPages_[size_t(i)]);
        tabs_->addTab(optionPages_[size_t(i + 1)], QString("Rec. %1").arg(i + 1));
    }
    tabs_->addTab(Scrolled(buildUdpPage()), "UDP");
    tabs_->addTab(Scrolled(buildSerialPage()), "Port COM");
    tabs_->addTab(Scrolled(buildCardPage()), "Carte E/S");
    tabs_->addTab(buildPlanningPage(), "Planning");
    tabs_->addTab(Scrolled(buildSlicesPage()), "Tranches horaires");
    layout->addWidget(tabs_, 1);

    auto* buttons = new QHBoxLayout;
    save_ = new QPushButton("Enregistrer", this);
    save_->setObjectName("CommandSave");
    close_ = new QPushButton("Fermer", this);
    close_->setObjectName("CommandFermer");
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(close_);
    layout->addLayout(buttons);
    connect(save_, &QPushButton::clicked, this, [this] {
        commitEdits();
        CommandSave_Click();
    });
    connect(close_, &QPushButton::clicked, this, [this] {
        commitEdits();
        CommandFermer_Click();
        if (!Setup().visible) hide();
    });

    QPointer<SetupWindow> self(this);
    for (auto& tab : Setup().OptionTabs) {
        tab.observe([self] {
            if (self) self->refreshTabs();
        });
    }
    traceFlush_.setSingleShot(true);
    traceFlush_.setInterval(40);
    connect(&traceFlush_, &QTimer::timeout, this, [this] { flushTraceLines(); });
    refreshTabs();
}

// ---- pages ----

QWidget* SetupWindow::buildGeneralPage() {
    FrmSetupControls& c = Setup();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    // The recorders in service: here, where a box stays reachable whatever
    // recorder tabs it hides.
    auto* service = new QGroupBox("Enregistreurs en service", page);
    service->setObjectName("FrameRecordersActifs");
    auto* sg = new QGridLayout(service);
    sg->addWidget(Header("Enregistreur", service), 0, 0);
    sg->addWidget(Header("En service", service), 0, 1);
    sg->addWidget(Header("Libellé", service), 0, 2);
    sg->addWidget(Header("Enregistreur", service), 0, 3);
    sg->addWidget(Header("En service", service), 0, 4);
    sg->addWidget(Header("Libellé", service), 0, 5);
    for (int i = 0; i < kRecorders; ++i) {
        const int row = i % 4 + 1, col = (i / 4) * 3;
        sg->addWidget(new QLabel(QString("Rec. %1").arg(i + 1), service), row, col, Qt::AlignCenter);
        auto* actif = new BoundCheckBox(c.CheckActif[size_t(i)], "Actif", service);
        actif->setObjectName(QString("CheckActif%1").arg(i));
        sg->addWidget(actif, row, col + 1, Qt::AlignCenter);
        auto* label = new QLabel(c.TexteLibelleRecorder[size_t(i)].text(), service);
        QPointer<QLabel> shown(label);
        c.TexteLibelleRecorder[size_t(i)].observe([shown, i] {
            if (shown) shown->setText(Setup().TexteLibelleRecorder[size_t(i)].text());
        });
        sg->addWidget(label, row, col + 2);
    }
    sg->setColumnStretch(2, 1);
    sg->setColumnStretch(5, 1);
    auto* note = new QLabel("Un enregistreur mis en service ou hors service le sera au prochain démarrage du "
                            "programme.", service);
    note->setWordWrap(true);
    sg->addWidget(note, 5, 0, 1, 6);
    layout->addWidget(service);

    auto* box = new QGroupBox("Journal", page);
    auto* bl = new QVBoxLayout(box);
    traceView_ = new QPlainTextEdit(box);
    traceView_->setObjectName("ListeLog");
    traceView_->setReadOnly(true);
    traceView_->setMaximumBlockCount(kTraceLinesKept);
    traceView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    traceView_->setFont(ChronoFont(9));
    bl->addWidget(traceView_);
    layout->addWidget(box, 1);
    return page;
}

QWidget* SetupWindow::buildRecorderPage(int i) {
    FrmSetupControls& c = Setup();
    const size_t r = size_t(i);
    auto* page = new QWidget;
    auto* columns = new QHBoxLayout(page);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    // Service and label.
    auto* general = new QGroupBox("Enregistreur", page);
    auto* g = new QGridLayout(general);
    g->addWidget(Caption("Libellé", general), 0, 0);
    g->addWidget(new BoundLineEdit(c.TexteLibelleRecorder[r], general), 0, 1);
    g->setColumnStretch(1, 1);
    left->addWidget(general);

    // Input.
    auto* input = new QGroupBox("Entrée audio", page);
    auto* in = new QGridLayout(input);
    in->addWidget(Caption("Périphérique", input), 0, 0);
    deviceCombos_[r] = new BoundComboBox(c.ComboInputDevices[r], input);
    deviceCombos_[r]->setObjectName(QString("ComboInputDevices%1").arg(i));
    in->addWidget(deviceCombos_[r], 0, 1);
    {
        QPointer<SetupWindow> self(this);
        // After the selection's own handler (which may end the wait).
        c.ComboInputDevices[r].observe([self, i] {
            if (self) QTimer::singleShot(0, self, [self, i] {
                if (self) self->refreshDeviceCombo(i);
            });
        });
        refreshDeviceCombo(i);
    }
    in->addWidget(Caption("Entrée", input), 1, 0);
    in->addWidget(new BoundComboBox(c.ComboInputChannels[r], input), 1, 1);
    in->addWidget(Caption("Qualité", input), 2, 0);
    in->addWidget(new BoundComboBox(c.ComboInputQuality[r], input), 2, 1);
    in->setColumnStretch(1, 1);
    left->addWidget(input);

    // Format.
    auto* format = new QGroupBox("Format d'enregistrement", page);
    auto* fm = new QGridLayout(format);
    fm->addWidget(Caption("Format", format), 0, 0);
    fm->addWidget(new BoundComboBox(c.ComboInputFormats[r], format), 0, 1);
    fm->addWidget(Caption("Caractéristique", format), 1, 0);
    fm->addWidget(new BoundComboBox(c.ComboFormatCaracteristiques[r], format), 1, 1);
    fm->setColumnStretch(1, 1);
    left->addWidget(format);

    // Destination folder and its free space.
    auto* folder = new QGroupBox("Dossier des enregistrements", page);
    auto* fo = new QGridLayout(folder);
    // The folder is taken when the field is left, not at every keystroke:
    // each change of the folder creates it on the disk.
    fo->addWidget(new BoundLineEdit(c.TexteDossier[r], folder, BoundLineEdit::Commit::OnFinish), 0, 0, 1, 3);
    auto* choose = new QPushButton("...", folder);
    choose->setObjectName(QString("CommandDossierPige%1").arg(i));
    choose->setFixedWidth(40);
    BindWidget(choose, c.CommandDossierPige[r]);
    connect(choose, &QPushButton::clicked, this, [this, i] {
        commitEdits();
        CommandDossierPige_Click(i);
    });
    fo->addWidget(choose, 0, 3);
    FreeSpaceDisplay& space = c.FreeSpace[r];
    fo->addWidget(Caption("Occupé:", folder), 1, 0);
    fo->addWidget(new BoundLabel(space.LabelVolumeOccupe, folder), 1, 1);
    fo->addWidget(Caption("Total:", folder), 2, 0);
    fo->addWidget(new BoundLabel(space.LabelVolumeTotal, folder), 2, 1);
    fo->addWidget(new BoundLabel(space.LabelVolumeDispo, folder), 1, 2, 1, 2);
    gauges_[r] = new QProgressBar(folder);
    gauges_[r]->setTextVisible(true);
    gauges_[r]->setFormat("%p %");
    fo->addWidget(gauges_[r], 2, 2, 1, 2);
    fo->setColumnStretch(2, 1);
    QPointer<SetupWindow> self(this);
    for (LabelCtl* l : {&space.LabelVolumeOccupe, &space.LabelVolumeTotal, &space.LabelVolumeDispo}) {
        l->observe([self, i] {
            if (self) self->refreshGauge(i);
        });
    }
    refreshGauge(i);
    left->addWidget(folder);

    // File names.
    auto* names = new QGroupBox("Nom des fichiers", page);
    auto* nm = new QGridLayout(names);
    nm->addWidget(Caption("Modèle", names), 0, 0);
    nm->addWidget(new BoundLineEdit(c.TexteNomFichier[r], names), 0, 1);
    nm->addWidget(new BoundCheckBox(c.CheckNomFichier[r], "Demander le nom du fichier à chaque enregistrement", names),
                  1, 0, 1, 2);
    nm->setColumnStretch(1, 1);
    left->addWidget(names);
    left->addStretch(1);

    // Logging.
    auto* pige = new QGroupBox("Pige antenne", page);
    auto* pg = new QGridLayout(pige);
    pg->addWidget(new BoundCheckBox(c.CheckPigeAntenne[r], "Enregistrement continu de l'antenne (pige)", pige), 0, 0, 1, 2);
    pg->addWidget(Caption("Conservation (jours)", pige), 1, 0);
    auto* days = new BoundLineEdit(c.TextePigeNbJours[r], pige);
    days->setMaximumWidth(90);
    pg->addWidget(days, 1, 1, Qt::AlignLeft);
    pg->setColumnStretch(1, 1);
    right->addWidget(pige);
    right->addWidget(BuildSilenceAlarmBox(i, page));

    // Keyboard shortcuts and digital inputs.
    auto* local = new QGroupBox("Raccourcis clavier et entrées numériques", page);
    auto* lo = new QGridLayout(local);
    lo->addWidget(Header("Commande", local), 0, 0);
    lo->addWidget(Header("Ctrl", local), 0, 1);
    lo->addWidget(Header("Alt", local), 0, 2);
    lo->addWidget(Header("Maj", local), 0, 3);
    lo->addWidget(Header("Touche", local), 0, 4);
    lo->addWidget(Header("Entrée numérique", local), 0, 5);
    for (int cmd = 0; cmd < 3; ++cmd) {
        const size_t n = size_t(3 * i + cmd);
        lo->addWidget(new QLabel(kCommands[cmd], local), cmd + 1, 0);
        lo->addWidget(new BoundCheckBox(c.CheckCtrl[n], QString(), local), cmd + 1, 1, Qt::AlignCenter);
        lo->addWidget(new BoundCheckBox(c.CheckAlt[n], QString(), local), cmd + 1, 2, Qt::AlignCenter);
        lo->addWidget(new BoundCheckBox(c.CheckShift[n], QString(), local), cmd + 1, 3, Qt::AlignCenter);
        lo->addWidget(new BoundComboBox(c.ComboToucheClavier[n], local), cmd + 1, 4);
        lo->addWidget(new BoundComboBox(c.ComboPeripherique[n], local), cmd + 1, 5);
    }
    lo->addWidget(new QLabel("Fichier spécifique (entrée numérique)", local), 4, 0, 1, 6);
    lo->addWidget(new BoundLineEdit(c.TexteFichierRecordPeripherique[r], local), 5, 0, 1, 6);
    lo->setColumnStretch(4, 1);
    lo->setColumnStretch(5, 1);
    right->addWidget(local);

    // UDP commands and notifications.
    auto* udp = new QGroupBox("Commandes UDP", page);
    auto* ud = new QGridLayout(udp);
    ud->addWidget(new BoundCheckBox(c.CheckUDPRecord[r], "Enregistrement", udp), 0, 0);
    ud->addWidget(new BoundCheckBox(c.CheckUDPPause[r], "Pause", udp), 0, 1);
    ud->addWidget(new BoundCheckBox(c.CheckUDPStop[r], "Arrêt", udp), 0, 2);
    ud->addWidget(new BoundCheckBox(c.CheckUDPPodcaster[r], "Notification podcast", udp), 1, 0, 1, 2);
    ud->addWidget(Caption("Cible", udp), 1, 2);
    ud->addWidget(new BoundComboBox(c.ComboEmissionUDPPodcaster[r], udp), 1, 3);
    ud->addWidget(new BoundCheckBox(c.CheckUDPConvertir[r], "Notification conversion", udp), 2, 0, 1, 2);
    ud->addWidget(Caption("Cible", udp), 2, 2);
    ud->addWidget(new BoundComboBox(c.ComboEmissionUDPConvertir[r], udp), 2, 3);
    right->addWidget(udp);
    right->addStretch(1);
    return page;
}

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
        CommandSend_Click();
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

bool SetupWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == planning_ && event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) {
            if (key->key() == Qt::Key_Space) ListView1_KeyUp(32);
            else if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) ListView1_KeyUp(13);
        }
    }
    return QWidget::eventFilter(watched, event);
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

void SetupWindow::refreshTabs() {
    for (int k = 0; k <= kRecorders; ++k) {
        const int idx = tabs_->indexOf(optionPages_[size_t(k)]);
        const ControlBase& tab = Setup().OptionTabs[size_t(k)];
        tabs_->setTabVisible(idx, tab.visible());
        if (!tab.caption().isEmpty()) tabs_->setTabText(idx, tab.caption());
    }
}

void SetupWindow::refreshGauge(int i) {
    QProgressBar* bar = gauges_[size_t(i)];
    if (!bar) return;
    const FreeSpaceDisplay& space = Setup().FreeSpace[size_t(i)];
    bar->setRange(0, std::max(1, space.gaugeMax));
    bar->setValue(std::clamp(space.gaugeValue, 0, std::max(1, space.gaugeMax)));
}

void SetupWindow::refreshPlanningTable() {
    if (!planning_) return;
    const ListViewCtl& list = Setup().ListView1;
    refreshingPlanning_ = true;
    if (planning_->rowCount() != list.rowCount()) planning_->setRowCount(list.rowCount());
    for (int r = 0; r < list.rowCount(); ++r) {
        for (int col = 0; col < kPlanningColumns; ++col) {
            QTableWidgetItem* item = planning_->item(r, col);
            if (!item) {
                item = new QTableWidgetItem;
                planning_->setItem(r, col, item);
            }
            const QString text = list.cell(r, col);
            if (item->text() != text) item->setText(text);
        }
    }
    QHeaderView* header = planning_->horizontalHeader();
    header->setSortIndicatorShown(list.sortKey() >= 0);
    if (list.sortKey() >= 0)
        header->setSortIndicator(list.sortKey(), list.sortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    for (int col = 0; col < kPlanningColumns; ++col) {
        const int width = col < list.columnWidths.size() ? list.columnWidths[col] : 0;
        if (width > 0) header->resizeSection(col, width);
        header->setSectionResizeMode(col, width > 0 ? QHeaderView::Interactive : QHeaderView::Stretch);
    }
    const int selected = list.selectedRow();
    if (selected < 0) planning_->clearSelection();
    else if (planning_->currentRow() != selected) planning_->selectRow(selected);
    refreshingPlanning_ = false;
}

QComboBox* SetupWindow::deviceCombo(int i) const { return deviceCombos_[size_t(i)]; }

void SetupWindow::refreshDeviceCombo(int i) {
    BoundComboBox* combo = deviceCombos_[size_t(i)];
    if (!combo) return;
    const QString absent = MissingDeviceCaption(i);
    if (combo->placeholderText() != absent) combo->setPlaceholderText(absent);
    combo->setToolTip(absent.isEmpty() ? QString()
                                       : QStringLiteral("Le périphérique choisi n'est pas là : l'enregistreur "
                                                        "n'enregistre pas tant qu'il n'est pas revenu"));
    const QString style = absent.isEmpty() ? QString() : QStringLiteral("QComboBox { color: #e0a030; }");
    if (combo->styleSheet() != style) combo->setStyleSheet(style);
    // Entries of devices seen earlier in the run but gone now.
    for (int k = 0; k < combo->count(); ++k) {
        const bool present = RecorderDevicePresent(i, k);
        const QVariant grey = present ? QVariant() : QVariant(QColor(140, 140, 140));
        if (combo->itemData(k, Qt::ForegroundRole) != grey) combo->setItemData(k, grey, Qt::ForegroundRole);
        const QVariant tip = present ? QVariant() : QVariant(QStringLiteral("Absent"));
        if (combo->itemData(k, Qt::ToolTipRole) != tip) combo->setItemData(k, tip, Qt::ToolTipRole);
    }
}

void SetupWindow::refreshAll() {
    if (!Setup().caption.isEmpty() && windowTitle() != Setup().caption) setWindowTitle(Setup().caption);
    refreshTabs();
    for (int i = 0; i < kRecorders; ++i) refreshGauge(i);
    for (int i = 0; i < kRecorders; ++i) refreshDeviceCombo(i);
    refreshPlanningTable();
    serialInit_->setEnabled(bool(SetupLinks().OpenSerialPort));
}

void SetupWindow::commitEdits() {
    for (BoundLineEdit* e : findChildren<BoundLineEdit*>()) e->commit();
}

void SetupWindow::showAtStoredPosition() {
    const WindowPos& pos = Setup().position;
    if (pos.width > 0 && pos.height > 0) resize(pos.width, pos.height);
    move(pos.left, pos.top);
    positioned_ = true;
    refreshAll();
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

// ---- trace lines ----

SetupWindow::~SetupWindow() = default;

void SetupWindow::traceChanged() {
    if (ownTrace_) ownTrace_->follow(Trace().ListeLog);
    // A hidden window lays out no text: its lines wait.
    if (isVisible() && !traceFlush_.isActive()) traceFlush_.start();
}

void SetupWindow::flushTraceLines() {
    const QStringList lines = trace_->take();
    if (!lines.isEmpty()) traceView_->appendPlainText(lines.join('\n'));
}

QStringList SetupWindow::shownTraceLines() const {
    QStringList lines = traceView_->toPlainText().split('\n', Qt::SkipEmptyParts);
    lines += trace_->pending();
    return lines;
}

// ---- window events ----

void SetupWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    commitEdits();
    bool cancel = false;
    FrmSetup_Form_QueryUnload(cancel, 0);
    if (!Setup().visible) hide();
}

void SetupWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    Setup().visible = true;
    flushTraceLines();
    for (int i = 0; i < kRecorders; ++i) refreshDeviceCombo(i);
}

void SetupWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (!isVisible()) Setup().visible = false;
}

void SetupWindow::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (!positioned_ || !isVisible() || isMinimized()) return;
    Setup().position.left = x();
    Setup().position.top = y();
    Setup().position.width = width();
    Setup().position.height = height();
}

}  // namespace ui
