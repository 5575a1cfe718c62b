// Keyboard shortcuts and contacts of the recorders.
#include "core/local_inputs.h"

#include "core/frm_main.h"
#include "core/recorder_slot.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

namespace {

enum Command { CommandRecord = 0, CommandPause = 1, CommandStop = 2 };

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }

int RecordersInService() { return qBound(0, S().RecorderCount, kRecorders); }

// Sets a flag for the time of a call and gives it back its value afterwards
// (an outer command of another source may have set it).
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = before_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool before_;
};

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
            const KeyboardBinding& b = S().keyboard[size_t(i)][size_t(c)];
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
    RecorderSlot& slot = S().slot[size_t(index)];
    RecorderFrameControls& rec = S().main.rec[size_t(index)];
    FlagScope keyboard(slot.KeyboardStart);
    trap(20, [&] { Trace(index, QStringLiteral(">>>>>Keyboard action<<<<<")); });
    switch (command) {
    case CommandRecord:
        trap(30, [&] {
            rec.XPButtonRecord.setChecked(!rec.XPButtonRecord.Checked());
            Trace(index, QStringLiteral("XPButtonRecord.Checked: ") + BoolText(rec.XPButtonRecord.Checked()) +
                             QStringLiteral(" |Sub: Frm_Main:GestionClavier"));
        });
        trap(40, [&] { BtnRecordOn(index); });
        break;
    case CommandPause:
        trap(50, [&] { rec.XPButtonPause.setChecked(!rec.XPButtonPause.Checked()); });
        trap(60, [&] { BtnPauseOn(index); });
        break;
    default:
        trap(70, [&] { BtnStopOn(index); });
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
                const ContactBinding& b = S().contact[size_t(i)][size_t(c)];
                if (b.Enabled && b.Input == input) {
                    index = i;
                    command = c;
                    break;
                }
            }
        }
    });
    if (index < 0) return;
    RecorderFrameControls& rec = S().main.rec[size_t(index)];
    FlagScope remote(S().slot[size_t(index)].RemoteCommandActive);
    switch (command) {
    case CommandPause:
        trap(20, [&] {
            Trace(index, QStringLiteral(">>>>>Peripheral reception<<<<<"));
            rec.XPButtonPause.setChecked(!rec.XPButtonPause.Checked());
        });
        trap(30, [&] {
            FlagScope running(S().RemoteActionRunning);
            BtnPauseOn(index);
        });
        break;
    case CommandStop:
        trap(40, [&] {
            if (!rec.XPButtonRecord.Checked()) return;  // nothing recording
            FlagScope running(S().RemoteActionRunning);
            BtnStopOn(index);
        });
        break;
    default:
        trap(50, [&] {
            if (rec.XPButtonRecord.Checked()) return;  // already recording
            rec.XPButtonRecord.setChecked(true);
            Trace(index, QStringLiteral("XPButtonRecord.Checked: True |Sub: Frm_Main:ContactOn"));
            FlagScope running(S().RemoteActionRunning);
            BtnRecordOn(index);
        });
        break;
    }
}
