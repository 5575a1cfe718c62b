#pragma once
// The program's windows and what the logic asks of them: the main window,
// the setup window, the start-up message window and the notification-area
// icon, wired into MainHost() and SetupLinks().
#include <QObject>
#include <QSize>
#include <QString>
#include <memory>

class QIcon;
class QSystemTrayIcon;

namespace ui {

class MainWindow;
class MainWindowKeys;
class SetupWindow;
class SplashWindow;
class TraceFollower;
class QtDialogs;

class ProgramShell : public QObject {
    Q_OBJECT
public:
    ProgramShell();
    ~ProgramShell() override;

    // Fills MainHost(), SetupLinks() (window parts), the trace log's change
    // hook and, on a real display, the Qt dialogs.
    void install(bool useQtDialogs);
    // True once the logic has unloaded the main window or ended the process.
    bool ended() const { return ended_; }

    MainWindow* mainWindow() const { return main_.get(); }
    // The setup window, built at its first use (a window nobody opened costs
    // no memory).
    SetupWindow* setupWindow();
    SplashWindow* splashWindow() const { return splash_.get(); }
    QSystemTrayIcon* trayIcon() const { return tray_; }

    // Standby: the window into the notification area, or minimised when the
    // desktop has none (a hidden window without an icon could not be found
    // again).
    void hideMain();
    void restoreMain();

    // Screenshots for the documentation: QUILLON_SCREENSHOT_DIR=<folder>
    // writes main-window.png and setup-window.png there after
    // QUILLON_SCREENSHOT_DELAY_MS (default 8000) milliseconds, then
    // main-menu.png (the "Fichier" menu open); the setup
    // window shows its tab QUILLON_SCREENSHOT_SETUP_TAB (default 1).
    void scheduleScreenshotsFromEnvironment();

private:
    void closeWindows();
    void showSetup(bool show);
    bool setupShown() const;
    void takeScreenshots(const QString& folder);
    void takeSetupScreenshot(bool mainOk, const QString& mainPath, const QString& setupPath);

    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<MainWindowKeys> keys_;  // the recorders' shortcuts
    std::unique_ptr<TraceFollower> setupTrace_;  // the setup window's trace lines, from start-up on
    std::unique_ptr<SetupWindow> setup_;         // built when first wanted
    std::unique_ptr<SplashWindow> splash_;
    std::unique_ptr<QtDialogs> dialogs_;
    QSystemTrayIcon* tray_ = nullptr;
    bool ended_ = false;
    QSize screenshotSize_;
};

// The program's icon (a red record dot).
QIcon ProgramIcon();

}  // namespace ui
