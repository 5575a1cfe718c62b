// Choice of capture device, input line, capture quality, recording format
// and format characteristic, kept in step with the recorder slots.
#include "ui/setup/frm_setup.h"

#include "core/main_window_state.h"
#include "ui/setup/input_devices.h"

#include "platform/capture/active_sound_recorder.h"
#include "support/errors.h"

namespace {

// A recorder without engine: no line, no format, nothing initialised.
class NoDevices : public InputDeviceSource {
public:
    int InputChannelCount(int) override { return 0; }
    QString InputChannelName(int, int) override { return {}; }
    int InputChannelDefaultGet(int) override { return -49; }
    int SetInputDeviceChannelDefault(int, int) override { return -49; }
    int InputLevelGet(int, int) override { return -1; }
    int InputFormatCount(int) override { return 0; }
    QString InputFormatText(int, int) override { return {}; }
    bool InputDevicePresent(int) override { return false; }
};

class EngineDevices : public InputDeviceSource {
public:
    platform::ActiveSoundRecorder* engine = nullptr;
    int InputChannelCount(int device) override { return engine->InputChannelCount(device); }
    QString InputChannelName(int device, int line) override { return engine->InputChannelName(device, line); }
    int InputChannelDefaultGet(int device) override { return engine->InputChannelDefaultGet(device); }
    int SetInputDeviceChannelDefault(int device, int line) override {
        return engine->SetInputDeviceChannelDefault(device, line);
    }
    int InputLevelGet(int device, int line) override { return engine->InputLevelGet(device, line); }
    int InputFormatCount(int device) override { return engine->InputFormatCount(device); }
    QString InputFormatText(int device, int k) override { return engine->InputFormatText(device, k); }
    QString InputDeviceSystemName(int device) override { return engine->InputDeviceSystemName(device); }
    bool InputDevicePresent(int device) override { return engine->InputDevicePresent(device); }
};

std::function<InputDeviceSource*(int)>& Override() {
    static std::function<InputDeviceSource*(int)> source;
    return source;
}

const QString kEnumerating = "Enumerating...";
const QString kNoFormat = "_";

int SelectedDevice(int i) { return Setup().ComboInputDevices[i].listIndex(); }

}  // namespace

InputDeviceSource& InputDevicesOf(int recorder) {
    static NoDevices none;
    static EngineDevices engines[kRecorders];
    if (recorder < 0 || recorder >= kRecorders) return none;
    if (Override()) {
        if (InputDeviceSource* s = Override()(recorder)) return *s;
    }
    if (platform::ActiveSoundRecorder* e = Rec(recorder).engine()) {
        engines[recorder].engine = e;
        return engines[recorder];
    }
    return none;
}

void SetInputDeviceSourceOverride(std::function<InputDeviceSource*(int recorder)> source) {
    Override() = std::move(source);
}

void ComboInputDevices_Click(int i) {
    ErrorTrap trap("FrmSetup:ComboInputDevices_Click");
    ComboCtl& devices = Setup().ComboInputDevices[i];
    if (devices.listIndex() < 0) return;
    // Our capture engine offers the newer device functions only.
    trap(10, [&] { DirectXUpdateInputCombos(i); });
    trap(20, [&] {
        // The device is remembered by its number and its name; a device
        // chosen by the operator ends the wait for the one that was missing.
        // A selection made by the program (the recorder found its device)
        // only shows it.
        if (SetupFlags().SettingsLoading) return;
        Rec(i).ChooseDevice(devices.listIndex());
        InputDeviceSource& src = InputDevicesOf(i);
        const QString name = src.InputDeviceSystemName(devices.listIndex());
        if (!name.isEmpty()) {
            RecorderConfig c = Rec(i).config();
            c.DeviceName = name;
            Rec(i).SetConfig(c);
        }
    });
    trap(30, [&] { MarkSettingsModified(); });
}

void DirectXUpdateInputCombos(int i) {
    ErrorTrap trap("FrmSetup:DirectXUpdateInputCombos");
    FrmSetupControls& c = Setup();
    ComboCtl& lines = c.ComboInputChannels[i];
    Recorder& rec = Rec(i);
    InputDeviceSource& src = InputDevicesOf(i);
    int device = -1;
    trap(10, [&] {
        lines.clear();
        device = SelectedDevice(i);
    });
    trap(20, [&] {
        const int n = src.InputChannelCount(device);
        for (int k = 0; k < n; ++k) lines.addItem(src.InputChannelName(device, k));
    });
    trap(30, [&] {
        const int stored = rec.config().ChannelIndex;
        if (stored >= 0 && stored <= lines.count() - 1) lines.setListIndex(stored);
        if (lines.listIndex() < 0) {
            rec.ChooseLine(0);
            lines.setListIndex(0);
        }
    });
    trap(40, [&] {
        if (lines.listIndex() < 0) {
            const int def = src.InputChannelDefaultGet(device);
            if (!lines.setListIndex(def)) RaiseError(380, "Invalid property value");
        }
    });
    trap(50, [&] { rec.ChooseLine(lines.listIndex()); });
    trap(60, [&] {
        if (lines.listIndex() < 0) return;
        const int r = src.SetInputDeviceChannelDefault(device, lines.listIndex());
        if (r != 0)
            AfficherErreurARS(r, i, 0,
                              "SetInputDeviceChannelDefault |NoDeviceIn: " + QString::number(device) +
                                  " ComboInputChannels: " + QString::number(lines.listIndex()),
                              "FrmSetup:DirectXUpdateInputCombos");
    });
    trap(70, [&] { DirectXUpdateInputFormats(i); });
}

void DirectXUpdateInputFormats(int i) {
    ErrorTrap trap("FrmSetup:DirectXUpdateInputFormats");
    FrmSetupControls& c = Setup();
    ComboCtl& quality = c.ComboInputQuality[i];
    Recorder& rec = Rec(i);
    XPButton& record = S().main.rec[i].XPButtonRecord;
    const bool wasLoading = SetupFlags().SettingsLoading;
    int count = 0;
    trap(10, [&] { SetupFlags().SettingsLoading = true; });
    trap(20, [&] { count = InputDevicesOf(i).InputFormatCount(SelectedDevice(i)); });
    trap(30, [&] {
        if (!c.ComboInputFormats[i].setListIndex(rec.config().FormatIndex)) RaiseError(380, "Invalid property value");
    });
    trap(40, [&] { quality.clear(); });
    trap(50, [&] {
        if (count <= 0) {
            record.setEnabled(false);
            MainState().FormatsAvailable = false;
            quality.setEnabled(false);
            quality.addItem(count < 0 ? kEnumerating : kNoFormat);
            // Only the placeholder to show: the stored choice stays as it is
            // until the device reports its formats.
            quality.setListIndex(0);
            return;
        }
        record.setEnabled(true);
        MainState().FormatsAvailable = true;
        quality.setEnabled(true);
        InputDeviceSource& src = InputDevicesOf(i);
        const int device = SelectedDevice(i);
        for (int k = 0; k < count; ++k) {
            const QString text = src.InputFormatText(device, k);
            bool known = false;
            for (const QString& added : quality.entries()) {
                if (added.contains(text, Qt::CaseInsensitive)) {
                    known = true;
                    break;
                }
            }
            if (!known) quality.addItem(text);
        }
        const RecorderConfig stored = rec.config();
        if (!stored.QualityText.trimmed().isEmpty()) {
            const int at = quality.entries().indexOf(stored.QualityText);
            if (at >= 0) quality.setListIndex(at);
        }
        if (quality.listIndex() < 0 && stored.QualityIndex >= 0 && stored.QualityIndex <= quality.count() - 1)
            quality.setListIndex(stored.QualityIndex);
        if (quality.listIndex() < 0) quality.setListIndex(0);
    });
    trap(60, [&] { SetupFlags().SettingsLoading = wasLoading; });
}

void ComboInputChannels_Click(int i) {
    ErrorTrap trap("FrmSetup:ComboInputChannels_Click");
    ComboCtl& lines = Setup().ComboInputChannels[i];
    Recorder& rec = Rec(i);
    InputDeviceSource& src = InputDevicesOf(i);
    int r = 0;
    if (lines.listIndex() < 0) return;
    trap(10, [&] {
        rec.ChooseLine(lines.listIndex());
        r = src.SetInputDeviceChannelDefault(SelectedDevice(i), rec.config().ChannelIndex);
    });
    trap(20, [&] {
        if (r == 0) {
            if (SetupFlags().SettingsLoading) {
                // A line shown again by the program (the device found again):
                // the recorder keeps its level and the device gets it.
                rec.SetVolume(rec.config().Volume);
            } else {
                // The operator chose a line: its level is shown.
                const int level = src.InputLevelGet(SelectedDevice(i), rec.config().ChannelIndex);
                if (level >= 0) rec.SetVolume(level);  // -1: the line's level is unknown
            }
            if (Hooks().AfficherNiveauRecord) Hooks().AfficherNiveauRecord(i, rec.config().Volume);
        } else {
            AfficherErreurARS(r, i, 0, "SetInputDeviceChannelDefault", "FrmSetup:ComboInputChannels_Click");
        }
    });
    trap(30, [&] { MarkSettingsModified(); });
}

void ComboInputFormats_Click(int i) {
    ErrorTrap trap("FrmSetup:ComboInputFormats_Click");
    FrmSetupControls& c = Setup();
    ComboCtl& chars = c.ComboFormatCaracteristiques[i];
    int format = -1;
    trap(10, [&] {
        format = c.ComboInputFormats[i].listIndex();
        Rec(i).SetFormat(format, Rec(i).config().FormatCharacteristic);
        MarkSettingsModified();
    });
    trap(20, [&] {
        chars.clear();
        chars.setEnabled(false);
        const QStringList entries = CharacteristicEntries(format);
        const int selected = DefaultCharacteristic(format);
        if (entries.isEmpty()) return;  // memory and wave: no characteristic
        chars.setEntries(entries);
        chars.setListIndex(selected);
        chars.setEnabled(true);
    });
}

void ComboInputQuality_Click(int i) {
    ErrorTrap trap("FrmSetup:ComboInputQuality_Click");
    ComboCtl& quality = Setup().ComboInputQuality[i];
    trap(10, [&] {
        const QString text = quality.text();
        if (quality.listIndex() < 0 || text == kNoFormat || text == kEnumerating) return;
        Rec(i).SetQuality(quality.listIndex(), text);
        MarkSettingsModified();
    });
}

void ComboFormatCaracteristiques_Click(int i) {
    ErrorTrap trap("FrmSetup:ComboFormatCaracteristiques_Click");
    trap(10, [&] {
        Rec(i).SetFormat(Rec(i).config().FormatIndex, Setup().ComboFormatCaracteristiques[i].listIndex());
        MarkSettingsModified();
    });
}
