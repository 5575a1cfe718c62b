#pragma once
// The setup window (FrmSetup): a tab per recorder for its device, line,
// quality, format and options; tabs for the UDP lines and targets, the serial
// link, the I/O card, the planning table and the logging slices; the trace
// lines. Its controls are the working copy of the settings (Setup()).
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

class QComboBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace ui {

class BoundComboBox;
class BoundLineEdit;
class TraceFollower;

class SetupWindow : public QWidget {
    Q_OBJECT
public:
    // `trace`, when given, is followed by its owner (the program's shell,
    // from start-up on, whether or not this window exists yet); otherwise
    // the window follows the trace log itself.
    explicit SetupWindow(TraceFollower* trace = nullptr, QWidget* parent = nullptr);
    ~SetupWindow() override;

    // Title, gauges, planning rows: what has no observer of its own.
    void refreshAll();
    void refreshPlanningTable();
    void refreshGauge(int recorder);
    // The device list of a recorder: a device that is not there is shown by
    // its stored name marked " (absent)", and absent entries are greyed.
    void refreshDeviceCombo(int recorder);
    QComboBox* deviceCombo(int recorder) const;
    // Moves to the stored position (Setup().position) and shows the window.
    void showAtStoredPosition();
    // Hands edits still in progress (fields that commit when left) to the models.
    void commitEdits();

    // The trace log changed: the new trace lines are shown a moment later
    // while the window is shown, when it is next shown otherwise.
    void traceChanged();
    QStringList shownTraceLines() const;

    QTabWidget* tabs() const { return tabs_; }
    QWidget* recorderPage(int i) const { return recorderPages_[size_t(i)]; }
    QTableWidget* planningTable() const { return planning_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* closeButton() const { return close_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    QWidget* buildGeneralPage();
    QWidget* buildRecorderPage(int i);
    QWidget* buildUdpPage();
    QWidget* buildSerialPage();
    QWidget* buildCardPage();
    QWidget* buildPlanningPage();
    QWidget* buildSlicesPage();
    void refreshTabs();
    void flushTraceLines();

    QTabWidget* tabs_ = nullptr;
    std::array<QWidget*, 9> optionPages_{};
    std::array<QWidget*, 8> recorderPages_{};
    std::array<QProgressBar*, 8> gauges_{};
    std::array<BoundComboBox*, 8> deviceCombos_{};
    QTableWidget* planning_ = nullptr;
    QPlainTextEdit* traceView_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* serialInit_ = nullptr;
    std::unique_ptr<TraceFollower> ownTrace_;
    TraceFollower* trace_ = nullptr;
    QTimer traceFlush_;
    bool positioned_ = false;
    bool refreshingPlanning_ = false;
};

}  // namespace ui
