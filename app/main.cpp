// Entry of the program: the Qt application, the windows, then the start-up
// of the main window's logic and the event loop.
#include "core/frm_main.h"
#include "core/main_window_state.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "remote/io_card.h"
#include "support/tracelog.h"
#include "ui/setup/setup_pages.h"
#include "ui/command_line.h"
#include "ui/look.h"
#include "ui/program_shell.h"
#include "ui/qt_dialogs.h"
#include "ui/translations.h"

#include <QApplication>
#include <QMetaObject>
#include <QStringList>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv) {
    // The command line as received (Qt takes its own options out of argv).
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    // Answered before any display is needed.
    const QString information = ui::InformationRequested(arguments);
    if (!information.isEmpty()) {
        std::fputs(information.toUtf8().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    QApplication app(argc, argv);
    ui::InstallFrenchTranslations();
    QApplication::setApplicationName("VM3_Quillon_Recorder");
    // The windows hide and show for the life of the process; only the
    // program's own unload ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    MainState().CommandLine = arguments.join(' ');
    if (arguments.contains("--test-tone")) platform::ActiveSoundRecorder::EnableTestTone(true);

    // Notices of the platform layer go to the trace log, on the event-loop
    // thread whatever thread they come from.
    platform::SetNoticeHook([](const QString& text) {
        if (QThread::currentThread() == qApp->thread()) {
            TraceLog(-1, -1, -1, text);
        } else {
            QMetaObject::invokeMethod(qApp, [text] { TraceLog(-1, -1, -1, text); }, Qt::QueuedConnection);
        }
    });

    ui::ApplyStudioLook();
    ui::ProgramShell shell;
    // Without a real display nobody can answer: the questions keep their
    // default answers at once.
    shell.install(ui::RealDisplay());

    // The remote-control and planning modules hook themselves into the
    // setup window before it loads.
    InstallSerialPage();
    InstallIoCard();
    InstallIoCardPage();
    InstallUdpPage();
    InstallPlanning();
    InstallSetupController();

    // From the first moment: a termination signal must never end the process
    // without the unload (during the start-up it waits for the load).
    InstallTerminationHandlers();
    Form_Initialize();
    if (MainState().ComponentsMissing) return 1;
    Form_Load();
    // A second process of a running instance ends with code 2.
    if (shell.ended()) return MainState().InstanceRefused ? 2 : 0;

    shell.scheduleScreenshotsFromEnvironment();
    const int code = app.exec();
    platform::SetNoticeHook(nullptr);
    return code;
}
