#include "ui/main_window_keys.h"

#include "core/local_inputs.h"
#include "ui/xpbutton_widget.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace ui {

MainWindowKeys::MainWindowKeys(QWidget* mainWindow) : main_(mainWindow) {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

MainWindowKeys::~MainWindowKeys() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

int MainWindowKeys::ShiftMask(const QKeyEvent& e) {
    int mask = 0;
    const Qt::KeyboardModifiers m = e.modifiers();
    if (m & Qt::ShiftModifier) mask |= ShiftMaskShift;
    if (m & Qt::ControlModifier) mask |= ShiftMaskCtrl;
    if (m & Qt::AltModifier) mask |= ShiftMaskAlt;
    int own = 0;
    switch (e.key()) {
    case Qt::Key_Shift: own = ShiftMaskShift; break;
    case Qt::Key_Control: own = ShiftMaskCtrl; break;
    case Qt::Key_Alt: own = ShiftMaskAlt; break;
    default: break;
    }
    if (e.type() == QEvent::KeyPress) mask |= own;
    else mask &= ~own;
    return mask;
}

bool MainWindowKeys::eventFilter(QObject* watched, QEvent* e) {
    const QEvent::Type type = e->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !main_ || widget->window() != main_) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    // Focus moves stay the window's.
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
    int code = XPButtonWidget::VirtualKey(key->key());
    const int mask = ShiftMask(*key);
    switch (type) {
    case QEvent::ShortcutOverride:
        // A recorder's shortcut wins over the window's own (menu mnemonics).
        if (KeyboardShortcutBound(code, mask)) {
            key->accept();
            return true;
        }
        return false;
    case QEvent::KeyRelease:
        Frm_Main_Form_KeyUp(code, mask);
        return false;
    default:
        // A key held down acts once, not at every repeat.
        if (!key->isAutoRepeat()) Frm_Main_Form_KeyDown(code, mask);
        return true;
    }
}

}  // namespace ui
