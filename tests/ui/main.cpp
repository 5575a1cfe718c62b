// Entry of the widget tests: a QApplication on the offscreen platform unless
// the caller chose another, so that the windows are real but need no display.
#include "ui/main_window.h"
#include "ui/translations.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::InstallFrenchTranslations();
    // The windows shown here stand for windows on a screen.
    ui::MainWindow::SetOffscreenSeen(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
