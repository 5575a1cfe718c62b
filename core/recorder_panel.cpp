#include "core/recorder_panel.h"

#include "core/frm_main.h"
#include "platform/capture/active_sound_recorder.h"
#include "platform/os.h"
#include "recording/encoder_choice.h"
#include "support/clock.h"
#include "support/errors.h"
#include "support/tracelog.h"

#include <QFileInfo>
#include <QLocale>
#include <array>

namespace {

constexpr qint64 kSuperviseEveryMs = 5000;
// A take measures its own rate after this long; before, its format tells.
constexpr qint64 kMeasureAfterMs = 5000;

struct Supervision {
    qint64 lastTick = -1;
    std::array<bool, kRecorders> alarmGiven{};
};
Supervision& Sup() {
    static Supervision s;
    return s;
}

QString SizeWords(double bytes) {
    const QLocale fr(QLocale::French, QLocale::France);
    if (bytes < 1024.0 * 1024.0) return fr.toString(bytes / 1024.0, 'f', 0) + QStringLiteral(" Ko");
    if (bytes < 1024.0 * 1024.0 * 1024.0) return fr.toString(bytes / 1048576.0, 'f', 1) + QStringLiteral(" Mo");
    return fr.toString(bytes / 1073741824.0, 'f', 1) + QStringLiteral(" Go");
}

// Nominal bytes a second of the recorder's format: of the take in progress
// while it records, else of the configured format (what the next start
// records).
double NominalRate(int i) {
    const Recorder& r = Rec(i);
    if (r.engine() && r.EngineRecording()) return NominalByteRate(r.engine()->Encoder());
    platform::EncoderSettings e;
    ConfigureEncoder(r.config(), CaptureFormatOf(r.config(), false), false, e);
    return NominalByteRate(e);
}

}  // namespace

QString FormatWords(const RecorderConfig& c) {
    const QStringList names = FormatNames();
    QString format = c.FormatIndex >= 0 && c.FormatIndex < names.size() ? names[c.FormatIndex] : QString();
    const QStringList characteristics = CharacteristicEntries(c.FormatIndex);
    const int entry = UsableCharacteristic(c.FormatIndex, c.FormatCharacteristic);
    if (entry >= 0 && entry < characteristics.size()) format += QStringLiteral(" ") + characteristics[entry];
    const QString quality = c.QualityText.trimmed();
    if (!quality.isEmpty() && quality != QStringLiteral("_") && quality != QStringLiteral("Enumerating..."))
        format += QStringLiteral(", ") + quality;
    return format;
}

namespace {

QString Sentence(const QString& cause) {
    if (cause.isEmpty()) return cause;
    return cause.left(1).toUpper() + cause.mid(1);
}

}  // namespace

QString DurationWords(qint64 seconds) {
    if (seconds < 0) return {};
    const qint64 minutes = seconds / 60, hours = minutes / 60, days = hours / 24;
    if (days >= 2) return QStringLiteral("%1 j %2 h").arg(days).arg(hours % 24);
    if (hours >= 1) return QStringLiteral("%1 h %2 min").arg(hours).arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 min").arg(minutes);
}

double RecordingByteRate(int i) {
    const Recorder& r = Rec(i);
    const QString path = r.runtime().RecordingFilePath;
    const qint64 ms = r.PositionMs();
    if (r.EngineRecording() && !path.isEmpty() && ms >= kMeasureAfterMs) {
        const qint64 size = QFileInfo(path).size();
        if (size > 0) return double(size) * 1000.0 / double(ms);
    }
    return NominalRate(i);
}

RecorderPanel RecorderPanelOf(int i) {
    RecorderPanel p;
    if (i < 0 || i >= kRecorders) return p;
    const Recorder& r = Rec(i);
    const RecorderConfig& c = r.config();
    const RecorderHealth& health = r.health();
    const RecorderStatusView v = r.StatusView();
    switch (v.Activity) {
    case RecorderActivity::Idle: p.State = QStringLiteral("Arrêt"); break;
    case RecorderActivity::Recording:
        p.State = QStringLiteral("Enregistrement");
        p.StateTone = PanelTone::Good;
        p.Writing = true;
        break;
    case RecorderActivity::Paused:
        p.State = QStringLiteral("Pause");
        p.StateTone = PanelTone::Warning;
        p.Writing = true;
        break;
    case RecorderActivity::WaitingForDevice:
        // In the operator's words; the status line names the device.
        p.State = health.MissingDevice.isEmpty() && !platform::ActiveSoundRecorder::SoundServerAvailable()
                      ? QStringLiteral("En attente du serveur de son")
                      : QStringLiteral("En attente du périphérique");
        p.StateTone = PanelTone::Warning;
        break;
    case RecorderActivity::Failed:
        p.State = QStringLiteral("Échec : ") + Sentence(v.Cause) +
                  QStringLiteral(" (nouvel essai automatique)");
        p.StateTone = PanelTone::Alarm;
        break;
    }

    // Why the record button cannot be used.
    const int formats = r.InputFormatCount();
    if (formats <= 0) {
        if (!platform::ActiveSoundRecorder::SoundServerAvailable())
            p.RecordDisabledWhy = QStringLiteral("Serveur de son absent : aucun périphérique d'entrée disponible");
        else if (health.WaitingForDevice)
            p.RecordDisabledWhy = QStringLiteral("Périphérique absent : ") + v.Cause;
        else if (formats < 0)
            p.RecordDisabledWhy = QStringLiteral("Recherche des formats du périphérique en cours");
        else
            p.RecordDisabledWhy = QStringLiteral("Le périphérique n'offre aucun format d'entrée");
    }

    // Status line: device, format and quality, file and size, free space, time left.
    QStringList parts;
    QString device = r.engine() && r.BoundDevice() >= 0 ? r.engine()->InputDeviceName(r.BoundDevice()) : QString();
    // A device that is not there is named as missing, never as another one.
    if (health.WaitingForDevice) {
        device = MissingDeviceCaption(i);
        if (!platform::ActiveSoundRecorder::SoundServerAvailable()) device += QStringLiteral(", serveur de son absent");
    }
    parts << (device.isEmpty() ? QStringLiteral("Aucun périphérique") : device);
    parts << FormatWords(c);
    const RecorderRuntime& rt = r.runtime();
    if (p.Writing && !rt.RecordingFilePath.isEmpty()) {
        const QFileInfo file(rt.RecordingFilePath);
        parts << file.fileName() + QStringLiteral(" (") + SizeWords(double(file.size())) + QStringLiteral(")");
    }
    const QString folder = c.RecordFolder;
    if (!folder.isEmpty()) {
        const platform::VolumeSpace space = platform::VolumeSpaceOf(folder);
        if (space.ok) {
            QString text = QStringLiteral("Libre : ") + SizeWords(double(space.free));
            const double rate = c.RecordKind() == RecordKindNoFile ? 0 : RecordingByteRate(i);
            if (rate > 0) {
                p.SecondsLeft = qint64(double(space.free) / rate);
                text += QStringLiteral(", soit ") + DurationWords(p.SecondsLeft);
                if (p.SecondsLeft < kTimeLeftAlarmSeconds) p.TimeLeftTone = PanelTone::Alarm;
                else if (p.SecondsLeft < kTimeLeftWarningSeconds) p.TimeLeftTone = PanelTone::Warning;
            }
            parts << text;
        }
    }
    p.Status = parts.join(QStringLiteral("  ·  "));
    return p;
}

void SuperviseTimeLeft() {
    ErrorTrap trap(QStringLiteral("Frm_Main:SuperviseTimeLeft"));
    Supervision& sup = Sup();
    const qint64 now = CurrentClock().tickMs();
    if (sup.lastTick >= 0 && now - sup.lastTick < kSuperviseEveryMs && now >= sup.lastTick) return;
    sup.lastTick = now;
    const int n = RecordersInService();
    for (int i = 0; i < n; ++i) {
        trap(10, [&] {
            const RecorderConfig& slot = Rec(i).config();
            if (!Rec(i).EngineRecording() || slot.RecordFolder.isEmpty()) {
                return;
            }
            const double rate = RecordingByteRate(i);
            const platform::VolumeSpace space = platform::VolumeSpaceOf(slot.RecordFolder);
            if (rate <= 0 || !space.ok) return;
            const qint64 left = qint64(double(space.free) / rate);
            bool& given = sup.alarmGiven[size_t(i)];
            if (left < kTimeLeftAlarmSeconds && !given) {
                given = true;
                TraceLogEncadre(-1, i, -1,
                                QStringLiteral("Rec. %1: disk nearly full: %2 of recording left in %3 (%4 bytes free)")
                                    .arg(i + 1)
                                    .arg(DurationWords(left), slot.RecordFolder)
                                    .arg(space.free),
                                QStringLiteral("="), true);
            } else if (left >= kTimeLeftAlarmSeconds && given) {
                given = false;
                TraceLog(-1, i, -1, QStringLiteral("Disk space back: ") + DurationWords(left) +
                                        QStringLiteral(" of recording left"));
            }
        });
    }
}

void ResetTimeLeftSupervision() { Sup() = Supervision{}; }
