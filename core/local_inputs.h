#pragma once
// Keyboard shortcuts and contacts: an input bound in the keyboard table or
// the contact table (S().keyboard, S().contact) runs the record, pause or
// stop command of its recorder. GUI-free: the main window hands its key
// presses here, the digital I/O card its closed contacts.
#include <QString>

// Shift mask of a key event: bit 0 Shift, bit 1 Control, bit 2 Alt.
enum ShiftMaskBits { ShiftMaskShift = 1, ShiftMaskCtrl = 2, ShiftMaskAlt = 4 };

// Modifier state of the last key event (process-wide).
struct ModifierState {
    bool CtrlDown = false;
    bool AltDown = false;
    bool ShiftDown = false;
};
ModifierState& Modifiers();

// Key press in the main window (virtual-key code, shift mask): the shortcut
// it matches runs, then the key is consumed (keyCode set to 0).
void Frm_Main_Form_KeyDown(int& keyCode, int shiftMask);
// Key release in the main window: the modifier state only.
void Frm_Main_Form_KeyUp(int keyCode, int shiftMask);

// The first binding (recorder 0..RecorderCount-1, then record, pause, stop)
// whose Ctrl, Alt, Shift equal the shift mask and whose key is keyCode runs
// its command. Key code 0 (no key) never matches.
void GestionClavier(int keyCode, int shiftMask);

// True when a binding of a recorder in service matches the key and mask (the
// window lets such a key reach the shortcut table before its own shortcuts).
bool KeyboardShortcutBound(int keyCode, int shiftMask);

// A contact closed on the input (source 0: the digital I/O card): the first
// enabled binding of that input runs its command.
void ContactOn(int source, int input);

// Tests: modifier state back to nothing pressed.
void ResetLocalInputs();
