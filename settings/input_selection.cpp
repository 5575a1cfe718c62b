// Choice of capture device, input line, capture quality, recording format
// and format characteristic, kept in step with the recorder slots.
#include "settings/frm_setup.h"
#include "settings/input_devices.h"

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
    if (platform::ActiveSoundRecorder* e = S().ActiveSoundRecorder1[recorder]) {
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
    trap(20, [&] { S().slot[i].DeviceIndex = qint16(devices.listIndex()); });
    trap(25, [&] {
        // The device is remembered by its name too; a device chosen by the
        // operator ends the wait for the one that was missing.
        InputDeviceSource& src = InputDevicesOf(i);
        const QString name = src.InputDeviceSystemName(devices.listIndex());
        if (!name.isEmpty()) S().slot[i].DeviceName = name;
        RecorderHealth& h = S().slot[i].Health;
        if (!S().SettingsLoading && src.InputDevicePresent(devices.listIndex())) {
            h.WaitingForDevice = false;
            h.MissingDevice.clear();
        }
    });
    trap(30, [&] { MarkSettingsModified(); });
}

void DirectXUpdateInputCombos(int i) {
    ErrorTrap trap("FrmSetup:DirectXUpdateInputCombos");
    FrmSetupControls& c = Setup();
    ComboCtl& lines = c.ComboInputChannels[i];
    RecorderSlot& slot = S().slot[i];
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
        if (slot.ChannelIndex >= 0 && slot.ChannelIndex <= lines.count() - 1) lines.setListIndex(slot.ChannelIndex);
        if (lines.listIndex() < 0) {
            slot.ChannelIndex = 0;
            lines.setListIndex(0);
        }
    });
    trap(40, [&] {
        if (lines.listIndex() < 0) {
            const int def = src.InputChannelDefaultGet(device);
            if (!lines.setListIndex(def)) RaiseError(380, "Invalid property value");
        }
    });
    trap(50, [&] { slot.ChannelIndex = qint16(lines.listIndex()); });
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
    RecorderSlot& slot = S().slot[i];
    XPButton& record = S().main.rec[i].XPButtonRecord;
    const bool wasLoading = S().SettingsLoading;
    int count = 0;
    trap(10, [&] { S().SettingsLoading = true; });
    trap(20, [&] { count = InputDevicesOf(i).InputFormatCount(SelectedDevice(i)); });
    trap(30, [&] {
        if (!c.ComboInputFormats[i].setListIndex(slot.FormatIndex)) RaiseError(380, "Invalid property value");
    });
    trap(40, [&] { quality.clear(); });
    trap(50, [&] {
        if (count <= 0) {
            record.setEnabled(false);
            S().FormatsAvailable = false;
            quality.setEnabled(false);
            quality.addItem(count < 0 ? kEnumerating : kNoFormat);
            // Only the placeholder to show: the stored choice stays as it is
            // until the device reports its formats.
            quality.setListIndex(0);
            return;
        }
        record.setEnabled(true);
        S().FormatsAvailable = true;
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
        if (!slot.QualityText.trimmed().isEmpty()) {
            const int at = quality.entries().indexOf(slot.QualityText);
            if (at >= 0) quality.setListIndex(at);
        }
        if (quality.listIndex() < 0 && slot.QualityIndex >= 0 && slot.QualityIndex <= quality.count() - 1)
            quality.setListIndex(slot.QualityIndex);
        if (quality.listIndex() < 0) {
            slot.QualityIndex = 0;
            quality.setListIndex(0);
        }
    });
    trap(60, [&] { S().SettingsLoading = wasLoading; });
}

void ComboInputChannels_Click(int i) {
    ErrorTrap trap("FrmSetup:ComboInputChannels_Click");
    ComboCtl& lines = Setup().ComboInputChannels[i];
    RecorderSlot& slot = S().slot[i];
    InputDeviceSource& src = InputDevicesOf(i);
    int r = 0;
    if (lines.listIndex() < 0) return;
    trap(10, [&] {
        slot.ChannelIndex = qint16(lines.listIndex());
        r = src.SetInputDeviceChannelDefault(SelectedDevice(i), slot.ChannelIndex);
    });
    trap(20, [&] {
        if (r == 0) {
            const int level = src.InputLevelGet(SelectedDevice(i), slot.ChannelIndex);
            if (level >= 0) slot.Volume = level;  // -1: the line's level is unknown
            if (Hooks().AfficherNiveauRecord) Hooks().AfficherNiveauRecord(i, slot.Volume);
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
        S().slot[i].FormatIndex = qint16(format);
        MarkSettingsModified();
    });
    trap(20, [&] {
        chars.clear();
        chars.setEnabled(false);
        QStringList entries;
        int selected = -1;
        switch (format) {
        case 2:
            entries = {"VBR 150-180 Kbps", "VBR 170-210 Kbps", "VBR 200-240 Kbps", "CBR 320 Kbps", "CBR 192 Kbps",
                       "CBR 128 Kbps"};
            selected = 3;
            break;
        case 3:
            for (int v = 0; v <= 100; ++v) entries << QString::number(v);
            selected = int(entries.size()) - 1;
            break;
        case 4:
            for (int v = 0; v <= 10; ++v) entries << QString::number(v);
            selected = int(entries.size()) - 1;
            break;
        case 5:
            for (int v = 10; v <= 500; ++v) entries << QString::number(v);
            selected = int(entries.size()) - 1;
            break;
        default:
            return;  // memory and wave: no characteristic
        }
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
        S().slot[i].QualityIndex = qint16(quality.listIndex());
        S().slot[i].QualityText = text;
        MarkSettingsModified();
    });
}

void ComboFormatCaracteristiques_Click(int i) {
    ErrorTrap trap("FrmSetup:ComboFormatCaracteristiques_Click");
    trap(10, [&] {
        S().slot[i].FormatCharacteristic = qint16(Setup().ComboFormatCaracteristiques[i].listIndex());
        MarkSettingsModified();
    });
}
