#pragma once
// The main window (Frm_Main): a frame per recorder in service with its
// buttons, elapsed time, meters and input level; the tabs of the history
// grids and the hidden "Incidents" tab; the "Fichier" menu.
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <array>

class QGroupBox;
class QGridLayout;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QTabWidget;
class QPlainTextEdit;

namespace ui {

class BoundCheckBox;
class BoundLabel;
class BoundSlider;
class HistoryGridView;
class LevelHistoryWidget;
class PeakMeterWidget;
class XPButtonWidget;

struct RecorderFrameWidgets {
    QGroupBox* frame = nullptr;
    BoundLabel* chrono = nullptr;
    XPButtonWidget* record = nullptr;
    XPButtonWidget* pause = nullptr;
    XPButtonWidget* stop = nullptr;
    PeakMeterWidget* meter = nullptr;        // Picture1
    LevelHistoryWidget* history = nullptr;   // Picture4
    BoundSlider* slider = nullptr;           // Slider1
    QLabel* sliderValue = nullptr;
    HistoryGridView* grid = nullptr;
    QWidget* tabPage = nullptr;
    QLabel* state = nullptr;      // what the recorder is doing, in words
    QLabel* status = nullptr;     // device, format, file, free space, time left
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Frames and tabs follow the number of recorders in service.
    void refreshLayout();
    // Caption, frames, tabs: everything that has no observer of its own.
    void refreshAll();
    // Moves to the stored position (MainWindowPos) and shows the window.
    void showAtStoredPosition();

    const RecorderFrameWidgets& recorder(int i) const { return rec_[size_t(i)]; }
    QTabWidget* tabs() const { return tabs_; }
    QWidget* incidentsPage() const { return incidentsPage_; }
    QListWidget* incidentsList() const { return incidentsList_; }
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* helpMenu() const { return helpMenu_; }
    // The "À propos" box: version of the program and of the libraries.
    static QString aboutText();
    void showAbout();
    int shownFrames() const { return shownFrames_; }

    // The trace log changed: incident list and indicator (deferred a little
    // so that a burst of lines costs one refresh).
    void traceChanged();
    void refreshIncidents();
    // The meters' period: 25 refreshes a second at most.
    static constexpr int kMeterPeriodMs = 40;
    // One tick of the meters, only while the window is seen.
    void meterTick();
    bool metersRunning() const { return meterTimer_.isActive(); }
    bool panelsRunning() const { return panelTimer_.isActive(); }
    // On the offscreen platform nobody sees the window: meters and panel
    // texts stay still as for a hidden one, unless told otherwise (tests of
    // the shown window).
    static void SetOffscreenSeen(bool seen);
    // States, reasons and status lines of the panels (every second while shown).
    void refreshPanels();

protected:
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void buildMenu();
    QWidget* buildRecorderFrame(int i);
    QWidget* buildIncidentsPage();
    void refreshChronoStyle(int i);
    void refreshTabTexts();
    void selectIncidentsTab(bool current);
    void storePosition();
    void followVisibility();

    std::array<RecorderFrameWidgets, 8> rec_{};
    QWidget* framesArea_ = nullptr;
    QGridLayout* framesLayout_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QWidget* incidentsPage_ = nullptr;
    QListWidget* incidentsList_ = nullptr;
    QLabel* incidentsCount_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    BoundCheckBox* checkIncidents_ = nullptr;
    QTimer meterTimer_;
    QTimer panelTimer_;
    QTimer traceRefresh_;
    QElapsedTimer meterClock_;
    int shownFrames_ = -1;
    int tabBeforeIncidents_ = 0;
    bool positioned_ = false;
};

}  // namespace ui
