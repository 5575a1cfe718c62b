#pragma once
// State behaviour of the program's own button control: types, groups, checked
// state, click and keyboard rules and events. The Qt widget only draws it and
// forwards mouse and keys.
#include "controls.h"

#include <functional>
#include <vector>

class XPButton : public ControlBase {
public:
    enum MouseButton { NoButton = 0, LeftButton = 1, RightButton = 2, MiddleButton = 4 };
    // Key codes (the up and down arrows carry "Arrow" in their names: KeyUp
    // and KeyDown are the events below).
    enum Key { KeySpace = 32, KeyLeft = 37, KeyUpArrow = 38, KeyRight = 39, KeyDownArrow = 40 };
    enum FocusMove { FocusNone, FocusNext, FocusPrevious };

    // Buttons that share a parent window (the group rule looks at siblings).
    using Siblings = std::vector<XPButton*>;

    bool Checked() const { return checked_; }
    void setChecked(bool c);  // redraw, announce "Checked", group rule
    int Value() const { return checked_ ? 1 : 0; }
    void setValue(int v) { setChecked(v == 1 ? true : (v == 0 ? false : checked_)); }
    int ButtonType() const { return type_; }
    void setButtonType(int t) { type_ = t; notify(); }
    int Groupe() const { return groupe_; }
    void setGroupe(int g) { groupe_ = g; }
    bool ClickPossible() const { return clickPossible_; }
    void setClickPossible(bool c) { clickPossible_ = c; }
    bool ClavierPossible() const { return clavierPossible_; }
    void setClavierPossible(bool c) { clavierPossible_ = c; }
    bool isToggle() const { return type_ == 3 || type_ == 6; }
    bool pressed() const { return pressed_; }
    bool hover() const { return hover_; }
    void setHover(bool h) { if (h != hover_) { hover_ = h; notify(); } }

    void setSiblings(Siblings* siblings) { siblings_ = siblings; }

    // Mouse and keyboard input from the widget.
    void mouseDown(int button);
    void mouseUp(int button, bool over);
    // Returns the focus move the key asks for.
    FocusMove keyDown(int key);
    FocusMove keyUp(int key);
    void keyPress(int key);

    // The click rule (also run by Space up).
    void click();

    // Events.
    std::function<void()> Click;
    std::function<void(int key)> KeyPress, KeyDown, KeyUp;
    std::function<void(int button)> MouseDown, MouseUp;
    // "Checked" changed announcement.
    std::function<void()> CheckedChanged;

private:
    void applyGroupRule();
    bool checked_ = false;
    int type_ = 1;
    int groupe_ = 0;
    bool clickPossible_ = true;
    bool clavierPossible_ = true;
    int lastButton_ = NoButton;
    bool pressed_ = false;
    bool hover_ = false;
    Siblings* siblings_ = nullptr;
};
