// Keyboard shortcuts and contacts of the recorders.
#include "core/local_inputs.h"

#include "core/frm_main.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

namespace {

enum Command { CommandRecord = 0, CommandPause = 1, CommandStop = 2 };

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }

void SetModifiers(int shiftMask) {
    ModifierState& m = Modifiers();
    m.ShiftDown = (shiftMask & ShiftMaskShift) != 0;
    m.CtrlDown = (shiftMask & ShiftMaskCtrl) != 0;
    m.AltDown = (shiftMask & ShiftMaskAlt) != 0;
}

struct Match {
    int index = -1;
    int command = -1;
};

Match FindKeyboardBinding(int keyCode, int shiftMask) {
    Match m;
    if (keyCode <= 0) return m;  // unassigned bindings hold key 0
    const bool ctrl = (shiftMask & ShiftMaskCtrl) != 0, alt = (shiftMask & ShiftMaskAlt) != 0,
               shift = (shiftMask & ShiftMaskShift) != 0;
    for (int i = 0; i < RecordersInService(); ++i) {
        for (int c = 0; c < 3; ++c) {
            const KeyboardBinding& b = Rec(i).config().Keys[size_t(c)];
            if (b.Ctrl == ctrl && b.Alt == alt && b.Shift == shift && b.Key == keyCode) return {i, c};
        }
    }
    return m;
}

}  // namespace

ModifierState& Modifiers() {
    static ModifierState state;
    return state;
}

void ResetLocalInputs() { Modifiers() = ModifierState{}; }

void Frm_Main_Form_KeyDown(int& keyCode, int shiftMask) {
    ErrorTrap trap(QStringLiteral("Frm_Main:Form_KeyDown"));
    trap(10, [&] { GestionClavier(keyCode, shiftMask); });
    keyCode = 0;
}

void Frm_Main_Form_KeyUp(int /*keyCode*/, int shiftMask) {
    ErrorTrap trap(QStringLiteral("Frm_Main:Form_KeyUp"));
    trap(10, [&] { SetModifiers(shiftMask); });
}

void GestionClavier(int keyCode, int shiftMask) {
    ErrorTrap trap(QStringLiteral("Frm_Main:GestionClavier"));
    int index = -1, command = -1;
    trap(10, [&] {
        SetModifiers(shiftMask);
        const Match m = FindKeyboardBinding(keyCode, shiftMask);
        index = m.index;
        command = m.command;
    });
    if (index < 0) return;
    Recorder& rec = Rec(index);
    trap(20, [&] { Trace(index, QStringLiteral(">>>>>Keyboard action<<<<<")); });
    switch (command) {
    case CommandRecord: {
        // The record key starts a recorder that records nothing, else stops it.
        const bool start = !rec.Wanted();
        trap(30, [&] {
            Trace(index, QStringLiteral("XPButtonRecord.Checked: ") + BoolText(start) +
                             QStringLiteral(" |Sub: Frm_Main:GestionClavier"));
        });
        trap(40, [&] {
            if (start) {
                StartRequest request;
                request.Origin = CommandOrigin::Key;
                rec.Start(request);
            } else {
                rec.Stop(StopReason::Operator);
            }
        });
        break;
    }
    case CommandPause:
        trap(60, [&] { rec.TogglePause(); });
        break;
    default:
        trap(70, [&] { rec.Stop(StopReason::Operator); });
        break;
    }
}

bool KeyboardShortcutBound(int keyCode, int shiftMask) { return FindKeyboardBinding(keyCode, shiftMask).index >= 0; }

void ContactOn(int /*source*/, int input) {
    ErrorTrap trap(QStringLiteral("Frm_Main:ContactOn"));
    int index = -1, command = -1;
    trap(10, [&] {
        for (int i = 0; i < RecordersInService() && index < 0; ++i) {
            for (int c = 0; c < 3; ++c) {
                const ContactBinding& b = Rec(i).config().Contacts[size_t(c)];
                if (b.Enabled && b.Input == input) {
                    index = i;
                    command = c;
                    break;
                }
            }
        }
    });
    if (index < 0) return;
    Recorder& rec = Rec(index);
    switch (command) {
    case CommandPause:
        trap(20, [&] { Trace(index, QStringLiteral(">>>>>Peripheral reception<<<<<")); });
        trap(30, [&] { rec.TogglePause(); });
        break;
    case CommandStop:
        trap(40, [&] {
            if (!rec.Wanted()) return;  // nothing recording
            rec.Stop(StopReason::Remote);
        });
        break;
    default:
        trap(50, [&] {
            if (rec.Wanted()) return;  // already recording
            Trace(index, QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:ContactOn"));
            StartRequest request;
            request.Origin = CommandOrigin::Contact;
            rec.Start(request);
        });
        break;
    }
}
