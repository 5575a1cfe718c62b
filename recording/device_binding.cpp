// Each recorder records from the device its settings name: found by the
// sound server's name of the device ("DeviceName"), whatever its place in the
// server's order, else by its stored number. A device that is not there keeps
// the recorder out of recording, with an incident that names it; the
// recorder never records another device in its place. The device lists follow
// every arrival and removal, and the sound server may come after the program.
#include "platform/capture/active_sound_recorder.h"
#include "recording/recording.h"
#include "settings/settings_model.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <array>

namespace {

const QString kModule = QStringLiteral("Frm_Main");
const QString kSplashWaiting = QStringLiteral("Quillon Recorder: Init: En attente du serveur de son");

// -1 not traced yet, 0 not available, 1 available.
int g_serverState = -1;
// The "Device" value of the settings, as written, for a recorder that has no
// device name yet; a recorder is bound once start-up has found its device.
std::array<QString, kRecorders> g_storedDevice;
std::array<bool, kRecorders> g_bound{};

QString RecName(int i) { return QStringLiteral("Rec. ") + QString::number(i + 1); }

platform::ActiveSoundRecorder* EngineOf(int i) { return Rec(i).engine(); }

enum class Found { Present, ServerAway, Missing };

struct Resolution {
    Found found = Found::Missing;
    int index = -1;
    QString what;  // the device as the settings name it
};

Resolution Resolve(int i, const QString& storedDevice) {
    Resolution r;
    platform::ActiveSoundRecorder* e = EngineOf(i);
    const RecorderConfig& slot = Rec(i).config();
    const bool server = platform::ActiveSoundRecorder::SoundServerAvailable();
    if (!slot.DeviceName.isEmpty()) {
        r.what = QStringLiteral("'") + slot.DeviceName + QStringLiteral("'");
        const int index = e->InputDeviceIndexOf(slot.DeviceName);
        if (index >= 0 && e->InputDevicePresent(index)) {
            r.found = Found::Present;
            r.index = index;
        } else {
            r.found = server ? Found::Missing : Found::ServerAway;
        }
        return r;
    }
    const QString text = storedDevice.trimmed();
    bool number = false;
    const int index = text.toInt(&number);
    r.what = number ? QStringLiteral("number ") + text : QStringLiteral("'") + text + QStringLiteral("'");
    if (!number || index < 0) {
        r.found = Found::Missing;  // not a device number: no device will ever be it
    } else if (e->InputDevicePresent(index)) {
        r.found = Found::Present;
        r.index = index;
    } else {
        r.found = server ? Found::Missing : Found::ServerAway;
    }
    return r;
}

void Apply(int i, const Resolution& r, bool startup) {
    Recorder& rec = Rec(i);
    RecorderConfig slot = rec.config();
    RecorderHealth& h = rec.health();
    platform::ActiveSoundRecorder* e = EngineOf(i);
    const bool wasWaiting = h.WaitingForDevice;
    switch (r.found) {
    case Found::Present: {
        if (!slot.DeviceName.isEmpty() && r.index != slot.DeviceIndex)
            TraceLog(-1, i, -1,
                     QStringLiteral("Device '") + slot.DeviceName + QStringLiteral("' found at number ") +
                         QString::number(r.index) + QStringLiteral(" (stored number ") +
                         QString::number(slot.DeviceIndex) + QStringLiteral(")"));
        if (wasWaiting && !startup) TraceLog(-1, i, -1, RecName(i) + QStringLiteral(": device ") + r.what + QStringLiteral(" is there"));
        h.WaitingForDevice = false;
        h.MissingDevice.clear();
        if (!h.Lost) h.IncidentGiven = false;
        const bool named = !slot.DeviceName.isEmpty();
        const bool reselect = rec.BoundDevice() == r.index && (wasWaiting || slot.DeviceIndex != r.index);
        slot.DeviceIndex = qint16(r.index);
        if (!named) {
            // From now on the device is found by its name.
            slot.DeviceName = e->InputDeviceSystemName(r.index);
            const QString file = SettingsFilePath();
            EcritureIni(file, RecorderSection(QStringLiteral("Recorder_"), i), QStringLiteral("DeviceName"), slot.DeviceName);
            TraceLog(-1, i, -1, QStringLiteral("DeviceName: ") + slot.DeviceName);
        }
        rec.SetConfig(slot);
        rec.SetBoundDevice(r.index);
        // The lists shown for the device are filled again when it comes back.
        if (reselect && !startup) emit rec.DeviceSelected(i, r.index);
        if (!named) emit rec.ConfigChanged(i);
        // A device made anew by the sound server starts at its own level:
        // the recorder's saved level goes to it again.
        if (wasWaiting) {
            rec.SetVolume(rec.config().Volume);
            RetryRecorderNow(i);
        }
        break;
    }
    case Found::ServerAway:
        h.WaitingForDevice = true;
        h.MissingDevice.clear();
        rec.SetBoundDevice(-1);
        break;
    case Found::Missing: {
        const bool news = !(wasWaiting && h.MissingDevice == r.what);
        h.WaitingForDevice = true;
        h.MissingDevice = r.what;
        rec.SetBoundDevice(-1);
        if (!news) break;
        const QString text = RecName(i) + QStringLiteral(": ") + DeviceMissingText(r.what) +
                             QStringLiteral(": the recorder does not record until it is back");
        // A recording in progress that loses its device tells it with its
        // loss; otherwise the missing device is the incident.
        if (!h.Lost && !h.IncidentGiven && !rec.EngineRecording()) {
            if (!startup && rec.Wanted()) {
                // Its take has just ended and the news of its end is on the way.
                RecorderLost(i, DeviceMissingText(r.what), true);
                break;
            }
            h.IncidentGiven = true;
            h.LastError = h.IncidentCause = DeviceMissingText(r.what);
            TraceLogEncadre(-1, i, -1, text, QStringLiteral("="), true);
        } else {
            TraceLog(-1, i, -1, text);
        }
        break;
    }
    }
}

}  // namespace

bool FollowSoundServer() {
    const bool available = platform::ActiveSoundRecorder::SoundServerAvailable();
    const int state = available ? 1 : 0;
    if (state != g_serverState) {
        if (!available)
            TraceLogEncadre(-1, -1, -1, QStringLiteral("Sound server not available: waiting for it"), QStringLiteral("="));
        else if (g_serverState == 0)
            TraceLogEncadre(-1, -1, -1, QStringLiteral("Sound server available"), QStringLiteral("="));
        g_serverState = state;
    }
    if (!available && SoundServerWait().Show) SoundServerWait().Show(kSplashWaiting);
    return available;
}

void BindRecorderDevice(int index, const QString& storedDevice) {
    ErrorTrap trap(kModule + QStringLiteral(":BindRecorderDevice"));
    trap(10, [&] {
        CheckRecorderIndex(index);
        if (!EngineOf(index)) RaiseError(9, QStringLiteral("Subscript out of range"));
        g_storedDevice[size_t(index)] = storedDevice;
        g_bound[size_t(index)] = true;
        Apply(index, Resolve(index, storedDevice), true);
    });
}

void RefreshRecorderDevices(int index) {
    ErrorTrap trap(kModule + QStringLiteral(":RefreshRecorderDevices"));
    if (index < 0 || index >= RecordersInService() || !EngineOf(index)) return;
    // Before start-up has bound the recorder, its device is not known yet:
    // the binding reads the device list as it then is.
    if (!g_bound[size_t(index)]) return;
    trap(10, [&] { FollowSoundServer(); });
    // The device list as the engine has it now (it keeps every device at its
    // place for the whole run).
    trap(20, [&] { emit Rec(index).DevicesChanged(index); });
    trap(30, [&] {
        // Until a device name is known, the number as the settings gave it
        // (a number that was refused stays refused).
        Apply(index, Resolve(index, g_storedDevice[size_t(index)]), false);
    });
}

bool RecorderDevicePresent(int index, int entry) {
    if (index < 0 || index >= kRecorders) return true;
    platform::ActiveSoundRecorder* e = EngineOf(index);
    return !e || e->InputDevicePresent(entry);
}

QString MissingDeviceCaption(int index) {
    if (index < 0 || index >= kRecorders) return {};
    const RecorderConfig& slot = Rec(index).config();
    if (!Rec(index).health().WaitingForDevice) return {};
    QString name;
    platform::ActiveSoundRecorder* e = EngineOf(index);
    if (!slot.DeviceName.isEmpty()) {
        name = slot.DeviceName;
        const int known = e ? e->InputDeviceIndexOf(slot.DeviceName) : -1;
        if (known >= 0) {
            const QString description = e->InputDeviceName(known);
            if (!description.isEmpty()) name = description;
        }
    } else {
        const QString stored = g_storedDevice[size_t(index)].trimmed();
        bool number = false;
        const int n = stored.toInt(&number);
        if (stored.isEmpty()) name = QStringLiteral("Périphérique enregistré");
        else if (number) name = QStringLiteral("Périphérique n° ") + QString::number(n);
        else name = stored;
    }
    return name + QStringLiteral(" (absent)");
}

SoundServerWaitText& SoundServerWait() {
    static SoundServerWaitText wait;
    return wait;
}

void ResetDeviceBindingState() {
    g_serverState = -1;
    for (QString& s : g_storedDevice) s = QString();
    g_bound = {};
}
