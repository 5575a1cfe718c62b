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

namespace {

int RecordersShown() { return std::clamp(RecordersInService(), 1, kRecorders); }

// The elapsed-time label: the model's text in large digits; while it has
// none, a dim "0:00" keeps the place readable.
class ChronoLabel : public BoundLabel {
public:
    using BoundLabel::BoundLabel;

protected:
    void paintEvent(QPaintEvent* e) override {
        BoundLabel::paintEvent(e);
        if (!text().isEmpty()) return;
        QPainter p(this);
        p.setFont(font());
        p.setPen(QColor(70, 70, 70));
        p.drawText(contentsRect(), Qt::AlignCenter, "0:00");
    }
};

MeterColors ColorsOf(const platform::MeterDisplay& d) {
    MeterColors c;
    if (d.colors[0] || d.colors[1] || d.colors[2]) {
        c.background = FromRgbValue(d.colors[0]);
        c.level = FromRgbValue(d.colors[1]);
        c.top = FromRgbValue(d.colors[2]);
    }
    return c;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Frm_Main");
    setWindowTitle(S().main.caption.isEmpty() ? "Velmora: Quillon Recorder" : S().main.caption);
    resize(1180, 660);
    buildMenu();

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(8, 6, 8, 6);

    auto* splitter = new QSplitter(Qt::Vertical, central);
    // The frames scroll when the screen is too small for all of them.
    auto* framesScroll = new QScrollArea(splitter);
    framesScroll->setObjectName("FramesScrollArea");
    framesScroll->setWidgetResizable(true);
    framesScroll->setFrameShape(QFrame::NoFrame);
    framesArea_ = new QWidget;
    framesScroll->setWidget(framesArea_);
    framesLayout_ = new QGridLayout(framesArea_);
    framesLayout_->setContentsMargins(0, 0, 0, 0);
    framesLayout_->setSpacing(10);

    tabs_ = new QTabWidget(splitter);
    tabs_->setObjectName("SftTabsMain");
    tabs_->setDocumentMode(true);
    for (int i = 0; i < kRecorders; ++i) {
        buildRecorderFrame(i);
        auto* page = new QWidget;
        auto* pl = new QVBoxLayout(page);
        pl->setContentsMargins(0, 4, 0, 0);
        rec_[size_t(i)].grid = new HistoryGridView(i, page);
        pl->addWidget(rec_[size_t(i)].grid);
        rec_[size_t(i)].tabPage = page;
        tabs_->addTab(page, QString("Rec. %1").arg(i + 1));
    }
    tabs_->addTab(buildIncidentsPage(), "Incidents");
    splitter->addWidget(framesScroll);
    splitter->addWidget(tabs_);
    splitter->setChildrenCollapsible(false);
    framesScroll->setMinimumHeight(200);
    tabs_->setMinimumHeight(120);
    // The panels first; the grids below take what is left.
    splitter->setSizes({7000, 3000});
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    outer->addWidget(splitter, 1);

    // Bottom row: incident indicator, standby, quit.
    auto* bottom = new QHBoxLayout;
    checkIncidents_ = new BoundCheckBox(S().main.CheckIncidents, "Incidents", central);
    auto* veille = new QPushButton("Mettre en veille", central);
    veille->setObjectName("CommandMiseEnVeille");
    auto* quit = new QPushButton("Quitter", central);
    quit->setObjectName("CommandQuitter");
    connect(veille, &QPushButton::clicked, this, [] { MiseEnVeilleForcee(); });
    connect(quit, &QPushButton::clicked, this, [] { CommandQuitter_Click(); });
    bottom->addWidget(checkIncidents_);
    bottom->addStretch(1);
    bottom->addWidget(veille);
    bottom->addWidget(quit);
    outer->addLayout(bottom);
    setCentralWidget(central);

    // Tabs of the recorders and of the incidents follow their models.
    QPointer<MainWindow> self(this);
    for (int i = 0; i < kRecorders; ++i) {
        S().main.rec[size_t(i)].Tab.observe([self] {
            if (self) self->refreshLayout();
        });
        S().main.rec[size_t(i)].MyFrameRecorder.observe([self] {
            if (self) self->refreshTabTexts();
        });
    }
    S().main.IncidentsTab.observe([self] {
        if (self) self->refreshLayout();
    });
    Incidents().LabelIncidentsCount.observe([self] {
        if (self) self->refreshTabTexts();
    });
    Incidents().SelectIncidentsTab = [self](bool current) {
        if (self) self->selectIncidentsTab(current);
    };
    WireIncidentControls();

    traceRefresh_.setSingleShot(true);
    traceRefresh_.setInterval(40);
    connect(&traceRefresh_, &QTimer::timeout, this, [this] { refreshIncidents(); });

    panelTimer_.setInterval(1000);
    connect(&panelTimer_, &QTimer::timeout, this, [this] { refreshPanels(); });

    meterTimer_.setInterval(kMeterPeriodMs);
    connect(&meterTimer_, &QTimer::timeout, this, [this] { meterTick(); });
    meterClock_.start();
    // The meters tick only while the window is seen (see showEvent,
    // hideEvent and changeEvent): a hidden or minimised window costs nothing.

    MainWindowPos().width = width();
    MainWindowPos().height = height();
    refreshLayout();
    refreshIncidents();
}

MainWindow::~MainWindow() {
    Incidents().SelectIncidentsTab = nullptr;
    StopIdleLevels();
}

QWidget* MainWindow::buildRecorderFrame(int i) {
    RecorderFrameControls& c = S().main.rec[size_t(i)];
    RecorderFrameWidgets& w = rec_[size_t(i)];
    w.frame = new QGroupBox(framesArea_);
    w.frame->setObjectName(QString("MyFrameRecorder%1").arg(i));
    QFont tf = w.frame->font();
    tf.setPointSize(tf.pointSize() + 3);
    tf.setBold(true);
    w.frame->setFont(tf);
    auto* layout = new QVBoxLayout(w.frame);
    layout->setSpacing(6);

    QFont normal = font();
    w.chrono = new ChronoLabel(c.LabelChrono, w.frame);
    w.chrono->setObjectName(QString("LabelChrono%1").arg(i));
    w.chrono->setFont(ChronoFont(30));
    w.chrono->setAlignment(Qt::AlignCenter);
    w.chrono->setMinimumHeight(58);
    layout->addWidget(w.chrono);

    w.state = new QLabel(w.frame);
    w.state->setObjectName(QString("LabelEtat%1").arg(i));
    w.state->setFont(normal);
    w.state->setAlignment(Qt::AlignCenter);
    w.state->setWordWrap(true);
    layout->addWidget(w.state);

    auto* buttons = new QHBoxLayout;
    w.record = new XPButtonWidget(c.XPButtonRecord, "REC", XPButtonWidget::Glyph::Record, w.frame);
    w.pause = new XPButtonWidget(c.XPButtonPause, "PAUSE", XPButtonWidget::Glyph::Pause, w.frame);
    w.stop = new XPButtonWidget(c.XPButtonStop, "STOP", XPButtonWidget::Glyph::Stop, w.frame);
    for (XPButtonWidget* b : {w.record, w.pause, w.stop}) {
        b->setFont(normal);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setMinimumHeight(40);
        buttons->addWidget(b);
    }
    w.record->setObjectName(QString("XPButtonRecord%1").arg(i));
    w.pause->setObjectName(QString("XPButtonPause%1").arg(i));
    w.stop->setObjectName(QString("XPButtonStop%1").arg(i));
    layout->addLayout(buttons);

    w.meter = new PeakMeterWidget(w.frame);
    w.meter->setObjectName(QString("Picture1_%1").arg(i));
    w.history = new LevelHistoryWidget(w.frame);
    w.history->setObjectName(QString("Picture4_%1").arg(i));
    layout->addWidget(w.meter);
    layout->addWidget(w.history);
    BindWidget(w.meter, c.Picture1);
    BindWidget(w.history, c.Picture4);

    auto* level = new QHBoxLayout;
    auto* levelCaption = new QLabel("Niveau", w.frame);
    levelCaption->setFont(normal);
    w.slider = new BoundSlider(c.Slider1, Qt::Horizontal, w.frame);
    w.slider->setObjectName(QString("Slider1_%1").arg(i));
    w.sliderValue = new QLabel(w.frame);
    w.sliderValue->setFont(normal);
    w.sliderValue->setMinimumWidth(34);
    w.sliderValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    level->addWidget(levelCaption);
    level->addWidget(w.slider, 1);
    level->addWidget(w.sliderValue);
    layout->addLayout(level);

    w.status = new QLabel(w.frame);
    w.status->setObjectName(QString("LabelStatut%1").arg(i));
    QFont small = normal;
    small.setPointSizeF(std::max(7.0, normal.pointSizeF() - 1));
    w.status->setFont(small);
    w.status->setWordWrap(true);
    w.status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(w.status);
    // REC lit only while a file is being written.
    w.record->setLitWhen([i] { return RecorderPanelOf(i).Writing; });

    QPointer<MainWindow> self(this);
    auto chrono = [self, i] {
        if (self) self->refreshChronoStyle(i);
    };
    c.XPButtonRecord.observe(chrono);
    c.XPButtonPause.observe(chrono);
    c.LabelFondChrono.observe(chrono);
    c.Slider1.observe(chrono);
    c.MyFrameRecorder.observe(chrono);
    refreshChronoStyle(i);
    return w.frame;
}

QWidget* MainWindow::buildIncidentsPage() {
    incidentsPage_ = new QWidget;
    incidentsPage_->setObjectName("TabIncidents");
    auto* layout = new QVBoxLayout(incidentsPage_);
    auto* top = new QHBoxLayout;
    incidentsCount_ = new BoundLabel(Incidents().LabelIncidentsCount, incidentsPage_);
    incidentsCount_->setStyleSheet("color: rgb(255,0,0); font-weight: bold;");
    auto* purge = new QPushButton("Purger la liste", incidentsPage_);
    purge->setObjectName("CommandIncidentsPurge");
    connect(purge, &QPushButton::clicked, this, [] { CommandIncidentsPurge_Click(0); });
    top->addWidget(new QLabel("Nombre d'incidents:", incidentsPage_));
    top->addWidget(incidentsCount_);
    top->addStretch(1);
    top->addWidget(purge);
    layout->addLayout(top);
    incidentsList_ = new QListWidget(incidentsPage_);
    incidentsList_->setObjectName("ListeIncidents");
    incidentsList_->setFont(ChronoFont(10));
    incidentsList_->setUniformItemSizes(true);
    layout->addWidget(incidentsList_, 1);
    return incidentsPage_;
}

void MainWindow::refreshChronoStyle(int i) {
    const RecorderFrameControls& c = S().main.rec[size_t(i)];
    RecorderFrameWidgets& w = rec_[size_t(i)];
    if (!w.chrono) return;
    if (w.state && isVisible()) refreshPanels();
    const bool recording = c.XPButtonRecord.Checked();
    const bool paused = c.XPButtonPause.Checked();
    QColor text = colors::ChronoIdle();
    if (recording) text = paused ? colors::Pause() : colors::RecordBright();
    QColor back = Qt::black;
    if (c.LabelFondChrono.backColor() != ControlBase::kNoColor) back = FromRgbValue(unsigned(c.LabelFondChrono.backColor()));
    // A style sheet, not the palette: the frame's own style sheet would
    // override the palette of its children.
    const QString chronoStyle = QString("QLabel { background-color: %1; color: %2; border-radius: 4px; }")
                                    .arg(back.name(), text.name());
    if (w.chrono->styleSheet() != chronoStyle) w.chrono->setStyleSheet(chronoStyle);
    w.sliderValue->setText(QString::number(c.Slider1.value()));
    const QString title = c.MyFrameRecorder.caption().isEmpty() ? QString("Enregistreur %1").arg(i + 1)
                                                                 : c.MyFrameRecorder.caption();
    if (w.frame->title() != title) w.frame->setTitle(title);
    // The frame of a recorder that records is outlined in red (amber in pause).
    const QString id = "QGroupBox#" + w.frame->objectName();
    QString style = id + "::title { color: #ffffff; }";
    if (recording) style += id + (paused ? " { border: 2px solid #e6a014; }" : " { border: 2px solid #dc2626; }");
    if (w.frame->styleSheet() != style) w.frame->setStyleSheet(style);
}

namespace {
const char* ToneColour(PanelTone t) {
    switch (t) {
    case PanelTone::Good: return "#4ade80";
    case PanelTone::Warning: return "#f59e0b";
    case PanelTone::Alarm: return "#ef4444";
    case PanelTone::Neutral: break;
    }
    return "#b8bec6";
}
}  // namespace

void MainWindow::refreshPanels() {
    for (int i = 0; i < RecordersShown(); ++i) {
        RecorderFrameWidgets& w = rec_[size_t(i)];
        if (!w.state) continue;
        const RecorderPanel p = RecorderPanelOf(i);
        if (w.state->text() != p.State) w.state->setText(p.State);
        const QString stateStyle = QString("QLabel { color: %1; font-weight: bold; }").arg(ToneColour(p.StateTone));
        if (w.state->styleSheet() != stateStyle) w.state->setStyleSheet(stateStyle);
        if (w.status->text() != p.Status) w.status->setText(p.Status);
        const QString statusStyle = QString("QLabel { color: %1; }").arg(ToneColour(p.TimeLeftTone));
        if (w.status->styleSheet() != statusStyle) w.status->setStyleSheet(statusStyle);
        // A greyed control says why.
        const QString why = p.RecordDisabledWhy;
        if (w.record->toolTip() != why) w.record->setToolTip(why);
        const QString stopWhy = S().main.rec[size_t(i)].XPButtonStop.enabled() ? QString() : why;
        if (w.stop->toolTip() != stopWhy) w.stop->setToolTip(stopWhy);
        w.record->update();
    }
}

void MainWindow::refreshTabTexts() {
    for (int i = 0; i < kRecorders; ++i) {
        const QString label = S().main.rec[size_t(i)].MyFrameRecorder.caption().trimmed();
        const QString text = label.isEmpty() ? QString("Rec. %1").arg(i + 1) : QString("Rec. %1: %2").arg(i + 1).arg(label);
        const int idx = tabs_->indexOf(rec_[size_t(i)].tabPage);
        if (idx >= 0 && tabs_->tabText(idx) != text) tabs_->setTabText(idx, text);
    }
    const int idx = tabs_->indexOf(incidentsPage_);
    if (idx >= 0) {
        const QString count = Incidents().LabelIncidentsCount.text();
        const QString caption = S().main.IncidentsTab.caption().isEmpty() ? "Incidents" : S().main.IncidentsTab.caption();
        tabs_->setTabText(idx, count.isEmpty() ? caption : caption + " (" + count + ")");
        tabs_->tabBar()->setTabTextColor(idx, QColor(255, 0, 0));
    }
}

void MainWindow::refreshLayout() {
    const int n = RecordersShown();
    if (n != shownFrames_) {
        // Columns: 1 or 2 recorders side by side, then 2, 3 or 4 a row.
        const int cols = n <= 2 ? n : (n <= 4 ? 2 : (n <= 6 ? 3 : 4));
        for (int i = 0; i < kRecorders; ++i) framesLayout_->removeWidget(rec_[size_t(i)].frame);
        for (int i = 0; i < kRecorders; ++i) {
            QGroupBox* f = rec_[size_t(i)].frame;
            if (i < n) {
                framesLayout_->addWidget(f, i / cols, i % cols);
                f->show();
            } else {
                f->hide();
            }
        }
        for (int col = 0; col < 4; ++col) framesLayout_->setColumnStretch(col, col < cols ? 1 : 0);
        shownFrames_ = n;
    }
    for (int i = 0; i < kRecorders; ++i) {
        const int idx = tabs_->indexOf(rec_[size_t(i)].tabPage);
        tabs_->setTabVisible(idx, i < n && S().main.rec[size_t(i)].Tab.visible());
    }
    tabs_->setTabVisible(tabs_->indexOf(incidentsPage_), S().main.IncidentsTab.visible());
    refreshTabTexts();
}

void MainWindow::refreshAll() {
    if (!S().main.caption.isEmpty() && windowTitle() != S().main.caption) setWindowTitle(S().main.caption);
    refreshLayout();
    for (int i = 0; i < kRecorders; ++i) refreshChronoStyle(i);
    refreshIncidents();
}

void MainWindow::selectIncidentsTab(bool current) {
    const int idx = tabs_->indexOf(incidentsPage_);
    if (current) {
        if (tabs_->currentIndex() != idx) tabBeforeIncidents_ = tabs_->currentIndex();
        refreshLayout();
        tabs_->setCurrentIndex(idx);
    } else {
        refreshLayout();
        int back = tabBeforeIncidents_;
        if (back < 0 || back == idx || !tabs_->isTabVisible(back)) {
            back = 0;
            for (int k = 0; k < tabs_->count(); ++k)
                if (k != idx && tabs_->isTabVisible(k)) {
                    back = k;
                    break;
                }
        }
        tabs_->setCurrentIndex(back);
    }
}

void MainWindow::traceChanged() {
    if (!traceRefresh_.isActive()) traceRefresh_.start();
}

void MainWindow::refreshIncidents() {
    IncidentsChanged();
    const QStringList& list = Trace().ListeIncidents;
    // The list only grows between purges and caps: append what is new.
    int shown = incidentsList_->count();
    bool prefix = shown <= list.size();
    if (prefix && shown > 0) prefix = incidentsList_->item(shown - 1)->text() == list[shown - 1] &&
                                      incidentsList_->item(0)->text() == list[0];
    if (!prefix) {
        incidentsList_->clear();
        shown = 0;
    }
    if (shown < list.size()) {
        incidentsList_->addItems(list.mid(shown));
        incidentsList_->scrollToBottom();
    }
}

void MainWindow::meterTick() {
    const double dt = meterClock_.restart() / 1000.0;
    const int n = RecordersShown();
    for (int i = 0; i < n; ++i) {
        RecorderFrameWidgets& w = rec_[size_t(i)];
        platform::ActiveSoundRecorder* engine = Rec(i).engine();
        if (!engine) {
            w.meter->setActive(false);
            w.history->setActive(false);
            continue;
        }
        // The engine's levels while it records, else the idle measure of
        // the recorder's device: the meters live while the recorder is in
        // service.
        QVector<float> peaks = RecorderInputPeaks(i);
        if (peaks.isEmpty()) peaks = QVector<float>(2, 0.0f);
        w.meter->setColors(ColorsOf(engine->MeterDisplay1));
        w.history->setColors(ColorsOf(engine->MeterDisplay2));
        w.meter->setActive(engine->MeterDisplay1.enabled);
        w.history->setActive(engine->MeterDisplay2.enabled);
        w.meter->feed(peaks, dt);
        w.history->feed(peaks);
    }
}

void MainWindow::showAtStoredPosition() {
    const WindowPos& pos = MainWindowPos();
    if (pos.width > 0 && pos.height > 0) resize(pos.width, pos.height);
    move(pos.left, pos.top);
    positioned_ = true;
    refreshAll();
    show();
    raise();
    activateWindow();
}

void MainWindow::storePosition() {
    if (!positioned_ || isMinimized() || isMaximized() || !isVisible()) return;
    WindowPos& pos = MainWindowPos();
    pos.left = x();
    pos.top = y();
    pos.width = width();
    pos.height = height();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // The logic decides; an accepted close ends in its unload, which hides
    // the windows and ends the process.
    e->ignore();
    CloseMainWindow(CloseFromMenu);
}

void MainWindow::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    storePosition();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    storePosition();
}

namespace {
bool g_offscreenSeen = false;
}  // namespace

void MainWindow::SetOffscreenSeen(bool seen) { g_offscreenSeen = seen; }

void MainWindow::followVisibility() {
    static const bool offscreen = QGuiApplication::platformName() == QLatin1String("offscreen");
    const bool seen = isVisible() && !isMinimized() && (!offscreen || g_offscreenSeen);
    if (seen && !meterTimer_.isActive()) {
        meterClock_.restart();
        meterTimer_.start();
        panelTimer_.start();
        refreshPanels();
    } else if (!seen) {
        meterTimer_.stop();
        panelTimer_.stop();
        StopIdleLevels();
    }
}

void MainWindow::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) followVisibility();
}

void MainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    followVisibility();
    // A window put in standby minimised (no notification area) stays "hidden".
    if (!isMinimized()) MainState().WindowShown = true;
}

void MainWindow::hideEvent(QHideEvent* e) {
    QMainWindow::hideEvent(e);
    followVisibility();
    if (!isVisible()) MainState().WindowShown = false;
}

}  // namespace ui
