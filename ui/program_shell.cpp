#include "ui/program_shell.h"

#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "ui/setup/frm_setup.h"
#include "support/tracelog.h"
#include "ui/look.h"
#include "ui/main_window.h"
#include "ui/main_window_keys.h"
#include "ui/qt_dialogs.h"
#include "ui/setup_window.h"
#include "ui/splash_window.h"
#include "ui/trace_follower.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

namespace ui {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(30, 30, 30), size / 16.0 + 0.5));
        p.setBrush(colors::Record());
        p.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
        p.setBrush(colors::RecordBright().lighter(130));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(size * 0.28, size * 0.22, size * 0.22, size * 0.22));
        icon.addPixmap(pm);
    }
    return icon;
}

namespace {
QRect ScreenRect() {
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->availableGeometry();
    return QRect(0, 0, 1920, 1080);
}
}  // namespace

ProgramShell::ProgramShell() {
    QApplication::setWindowIcon(ProgramIcon());
    main_ = std::make_unique<MainWindow>();
    keys_ = std::make_unique<MainWindowKeys>(main_.get());
    setupTrace_ = std::make_unique<TraceFollower>();
    splash_ = std::make_unique<SplashWindow>();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(ProgramIcon(), this);
        auto* menu = new QMenu;
        menu->addAction("Restaurer", this, [this] { restoreMain(); });
        menu->addSeparator();
        menu->addAction("Quitter", this, [] { MnuQuitter_Click(); });
        tray_->setContextMenu(menu);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick) restoreMain();
        });
    }
}

ProgramShell::~ProgramShell() {
    Trace().OnChanged = nullptr;
    SetupLinks().ShowWindow = nullptr;
    MainHost() = FrmMainHost{};
    if (dialogs_) SetDialogs(nullptr);
    if (tray_) {
        delete tray_->contextMenu();
        tray_->hide();
    }
}

void ProgramShell::install(bool useQtDialogs) {
    FrmMainHost& host = MainHost();
    host.ShowMain = [this] { main_->showAtStoredPosition(); };
    host.HideMain = [this] { hideMain(); };
    host.HideMainTemporarily = [this] {
        main_->hide();
        MainState().WindowShown = false;
    };
    host.Unload = [this] {
        // Asked by the program's code before the teardown: that is the close
        // of the window with reason 1; asked by the teardown itself: the
        // windows go away.
        if (!MainState().UnloadStarted) {
            UnloadMainWindow();
            return;
        }
        closeWindows();
    };
    host.EndProcess = [this] {
        closeWindows();
        ended_ = true;
        QCoreApplication::exit(0);
    };
    host.ShowSplash = [this] {
        splash_->show();
        splash_->raise();
    };
    host.HideSplash = [this] { splash_->hide(); };
    host.ShowSetup = [this](bool show) { showSetup(show); };
    host.SetupVisible = [this] { return setupShown(); };
    host.ShowTray = [this] {
        if (!tray_) return;
        tray_->setToolTip(S().main.TrayTip.isEmpty() ? "Velmora: Quillon Recorder" : S().main.TrayTip);
        tray_->show();
    };
    host.WindowHandle = [this] { return quintptr(main_->winId()); };
    host.ApplyLook = [] { ApplyStudioLook(); };
    host.ScreenGeometry = [] { return ScreenRect(); };

    SetupLinks().ShowWindow = [this](bool show) { showSetup(show); };
    SetupLinks().ScreenRect = [] { return ScreenRect(); };
    SetupLinks().ApplyLook = [] { ApplyStudioLook(); };

    Trace().OnChanged = [this] {
        main_->traceChanged();
        setupTrace_->follow(Trace().ListeLog);
        if (setup_) setup_->traceChanged();
    };

    if (useQtDialogs) {
        dialogs_ = std::make_unique<QtDialogs>([this]() -> QWidget* {
            if (setup_ && setup_->isVisible() && setup_->isActiveWindow()) return setup_.get();
            return main_->isVisible() ? main_.get() : nullptr;
        });
        SetDialogs(dialogs_.get());
    }
}

SetupWindow* ProgramShell::setupWindow() {
    if (!setup_) setup_ = std::make_unique<SetupWindow>(setupTrace_.get());
    return setup_.get();
}

void ProgramShell::showSetup(bool show) {
    if (show) setupWindow()->showAtStoredPosition();
    else if (setup_) setup_->hide();
}

bool ProgramShell::setupShown() const { return setup_ && setup_->isVisible() && !setup_->isMinimized(); }

void ProgramShell::hideMain() {
    if (tray_) {
        main_->hide();
    } else {
        main_->showMinimized();
    }
    MainState().WindowShown = false;
}

void ProgramShell::restoreMain() {
    main_->showNormal();
    main_->raise();
    main_->activateWindow();
    MainState().WindowShown = true;
    if (tray_) tray_->hide();
}

void ProgramShell::closeWindows() {
    splash_->hide();
    if (setup_) setup_->hide();
    main_->hide();
    if (tray_) tray_->hide();
    MainState().WindowShown = false;
}

void ProgramShell::scheduleScreenshotsFromEnvironment() {
    const QString folder = qEnvironmentVariable("QUILLON_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("QUILLON_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delay < 0) delay = 8000;
    // The windows at the size of the pictures ("1280x720"), as on a small screen.
    const QStringList size = qEnvironmentVariable("QUILLON_SCREENSHOT_SIZE").split('x');
    if (size.size() == 2 && size[0].toInt() > 0 && size[1].toInt() > 0) {
        screenshotSize_ = QSize(size[0].toInt(), size[1].toInt());
        main_->resize(screenshotSize_);
    }
    QTimer::singleShot(delay, this, [this, folder] { takeScreenshots(folder); });
}

void ProgramShell::takeScreenshots(const QString& folder) {
    QDir().mkpath(folder);
    const QString mainPath = QDir(folder).filePath("main-window.png");
    const QString setupPath = QDir(folder).filePath("setup-window.png");
    const QString menuPath = QDir(folder).filePath("main-menu.png");
    const bool mainOk = main_->grab().save(mainPath);
    // The "Fichier" menu open over the window: a picture of the screen there.
    QMenu* menu = main_->fileMenu();
    menu->popup(main_->mapToGlobal(QPoint(8, 24)));
    QTimer::singleShot(400, this, [this, menu, menuPath, mainOk, mainPath, setupPath] {
        bool menuOk = false;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = main_->frameGeometry().united(menu->geometry()).adjusted(-4, -4, 4, 4);
            menuOk = screen->grabWindow(0, area.x(), area.y(), qMin(area.width(), 560), qMin(area.height(), 420))
                         .save(menuPath);
        }
        menu->hide();
        std::fprintf(stderr, "screenshots: %s %s\n", qPrintable(menuPath), menuOk ? "written" : "FAILED");
        takeSetupScreenshot(mainOk, mainPath, setupPath);
    });
}

void ProgramShell::takeSetupScreenshot(bool mainOk, const QString& mainPath, const QString& setupPath) {
    setupWindow()->showAtStoredPosition();
    if (screenshotSize_.isValid()) setup_->resize(screenshotSize_);
    bool tabOk = false;
    const int tab = qEnvironmentVariableIntValue("QUILLON_SCREENSHOT_SETUP_TAB", &tabOk);
    const int wanted = tabOk ? tab : 1;
    if (wanted >= 0 && wanted < setup_->tabs()->count()) setup_->tabs()->setCurrentIndex(wanted);
    // Let the window lay itself out and paint before it is captured.
    QTimer::singleShot(700, this, [this, mainOk, mainPath, setupPath] {
        const bool setupOk = setup_->grab().save(setupPath);
        setup_->hide();
        std::fprintf(stderr, "screenshots: %s %s, %s %s\n", qPrintable(mainPath), mainOk ? "written" : "FAILED",
                     qPrintable(setupPath), setupOk ? "written" : "FAILED");
    });
}

}  // namespace ui
