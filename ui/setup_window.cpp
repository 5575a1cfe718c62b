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
#include "ui/setup_window_parts.h"
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

using namespace setup_parts;

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
