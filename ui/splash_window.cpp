#include "core/main_window_state.h"
#include "ui/splash_window.h"

#include "core/main_controls.h"
#include "support/app_globals.h"
#include "ui/look.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace ui {

SplashWindow::SplashWindow(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("FrmMsg");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(22, 24, 27));
    setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 22, 28, 22);
    auto* title = new QLabel("Velmora: " + App().ProductName, this);
    QFont tf = title->font();
    tf.setPointSize(18);
    tf.setBold(true);
    title->setFont(tf);
    title->setStyleSheet("color: #e8eaed;");
    step_ = new QLabel(this);
    step_->setMinimumWidth(420);
    step_->setStyleSheet("color: #f5d500;");
    layout->addWidget(title);
    layout->addWidget(step_);
    setStyleSheet("SplashWindow, QWidget#FrmMsg { border: 1px solid #4a90e2; }");
    poll_.setInterval(100);
    QObject::connect(&poll_, &QTimer::timeout, this, [this] { refresh(); });
}

void SplashWindow::refresh() {
    if (step_->text() != MainState().SplashText) step_->setText(MainState().SplashText);
}

void SplashWindow::showEvent(QShowEvent* e) {
    refresh();
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        move(g.center() - rect().center());
    }
    poll_.start();
    QWidget::showEvent(e);
}

void SplashWindow::hideEvent(QHideEvent* e) {
    poll_.stop();
    QWidget::hideEvent(e);
}

}  // namespace ui
