#pragma once
// Key presses anywhere in the main window (its child widgets included) go to
// the recorders' shortcut table before any widget sees them, as virtual-key
// codes with their shift mask; the key is then consumed. Other windows (the
// setup window and its text fields, dialogs, menus) are left alone.
#include <QObject>
#include <QPointer>
#include <QWidget>

class QKeyEvent;

namespace ui {

class MainWindowKeys : public QObject {
public:
    // Watches the application's key events for this window.
    explicit MainWindowKeys(QWidget* mainWindow);
    ~MainWindowKeys() override;

    // Shift mask of a key event (bit 0 Shift, bit 1 Control, bit 2 Alt), the
    // modifier key of the event itself counted as down on a press and up on a
    // release.
    static int ShiftMask(const QKeyEvent& e);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QPointer<QWidget> main_;
};

}  // namespace ui
