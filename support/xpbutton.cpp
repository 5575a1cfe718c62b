#include "xpbutton.h"

void XPButton::setChecked(bool c) {
    if (c == checked_) {
        return;
    }
    checked_ = c;
    notify();
    if (CheckedChanged) CheckedChanged();
    applyGroupRule();
}

void XPButton::applyGroupRule() {
    if (!checked_ || groupe_ == 0 || !isToggle() || !siblings_) return;
    for (XPButton* other : *siblings_) {
        if (other != this && other->groupe_ == groupe_ && other->checked_) other->setChecked(false);
    }
}

void XPButton::mouseDown(int button) {
    lastButton_ = button;
    if (!enabled_ || !clickPossible_) return;
    if (button == LeftButton) {
        pressed_ = true;
        notify();
    }
    if (MouseDown) MouseDown(button);
}

void XPButton::mouseUp(int button, bool over) {
    if (!enabled_ || !clickPossible_) return;
    pressed_ = false;
    notify();
    if (MouseUp) MouseUp(button);
    if (over) click();
}

void XPButton::click() {
    if (!enabled_ || !clickPossible_ || lastButton_ != LeftButton) return;
    if (isToggle() && !(groupe_ != 0 && checked_)) {
        checked_ = !checked_;
        notify();
        if (CheckedChanged) CheckedChanged();
        applyGroupRule();
    }
    if (Click) Click();
}

XPButton::FocusMove XPButton::keyDown(int key) {
    if (!enabled_) return FocusNone;  // a disabled button swallows keys
    FocusMove move = FocusNone;
    if (clickPossible_ && clavierPossible_) {
        if (key == KeySpace) mouseDown(LeftButton);
        else if (key == KeyRight || key == KeyDownArrow) move = FocusNext;
        else if (key == KeyLeft || key == KeyUpArrow) move = FocusPrevious;
        if (KeyDown) KeyDown(key);
    }
    return move;
}

XPButton::FocusMove XPButton::keyUp(int key) {
    if (!enabled_) return FocusNone;
    if (clickPossible_ && clavierPossible_) {
        if (key == KeySpace) {
            lastButton_ = LeftButton;
            mouseUp(LeftButton, true);
        }
        if (KeyUp) KeyUp(key);
    }
    return FocusNone;
}

void XPButton::keyPress(int key) {
    if (!enabled_) return;
    if (clickPossible_ && clavierPossible_ && KeyPress) KeyPress(key);
}
