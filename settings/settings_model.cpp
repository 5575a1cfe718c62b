#include "settings/settings_model.h"

#include "platform/os.h"
#include "support/errors.h"
#include "support/file_names.h"
#include "support/files.h"
#include "support/formats.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <cmath>

namespace {

QString OnOff(bool on) { return on ? QStringLiteral("ON") : QStringLiteral("0FF"); }
QString OneZero(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }
QString YesNo(bool on) { return on ? QStringLiteral("O") : QStringLiteral("N"); }
QString Two(int entry) { return N2S(entry < 0 ? 0 : entry, 2, 0, QStringLiteral("0")); }

// The numeric value of a text as a 16-bit integer; "Overflow" (6) when it
// does not fit.
qint16 NumI16(const QString& text) {
    const double v = Val(text);
    if (!(v >= -32768.5 && v < 32767.5)) RaiseError(6, QStringLiteral("Overflow"));
    return CIntRound(v);
}

// A check box value: 0 or 1; anything else is "Invalid property value" (380).
bool CheckValue(double value, bool current) {
    if (value == 0) return false;
    if (value == 1) return true;
    RaiseError(380, QStringLiteral("Invalid property value"));
    return current;
}

// An entry of a list of `count` entries (-1 none); anything else is
// "Invalid property value" (380).
int EntryValue(double index, int count) {
    if (std::isnan(index) || index < -1 || index > count - 1 || index != std::floor(index))
        RaiseError(380, QStringLiteral("Invalid property value"));
    return int(index);
}

// Counts the keys that could not be written, so that a save that did not
// reach the disk is not taken for a good one.
struct Writer {
    QString file;
    int failures = 0;
    void operator()(const QString& section, const QString& key, const QString& value) {
        if (!EcritureIni(file, section, key, value)) ++failures;
    }
};

QString WithFinalSlash(const QString& folder) { return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'); }

}  // namespace

QString SettingsFilePath() { return NomFichierSettings(QStringLiteral(".Ini"), QString()); }

QString RecorderSection(const QString& prefix, int index) { return prefix + N2S(index, 2, 0, QStringLiteral("0")); }

void ApplyFolderText(RecorderConfig& c, const QString& text) {
    c.FolderText = text;
    if (text.trimmed().isEmpty()) {
        c.RecordFolder.clear();
        c.NetworkFolder.clear();
        return;
    }
    c.NetworkFolder = WithFinalSlash(text);
    c.RecordFolder = WithFinalSlash(ChangeUNCFolder2LocalFolder(text, platform::ComputerName()));
}

SettingsModel LoadSettingsModel(const std::array<RecorderConfig, kRecorders>& base) {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitSettings"));
    SettingsModel m;
    m.Recorders = base;
    const QString file = SettingsFilePath();
    auto read = [&](const QString& section, const QString& key, const QString& def) {
        return LectureIni(file, section, key, def);
    };
    trap(20, [&] {
        if (!File_Exist(file, QStringLiteral("FrmSetup:InitSettings")))
            EcritureIni(file, RecorderSection(QStringLiteral("Recorder_"), 0), QStringLiteral("Actif"), QStringLiteral("ON"));
    });
    m.RecorderCount = 0;
    for (int i = 0; i < kRecorders; ++i) {
        RecorderConfig& c = m.Recorders[size_t(i)];
        c.Index = i;
        trap(40, [&] {
            c.InService = read(RecorderSection(QStringLiteral("Recorder_"), i), QStringLiteral("Actif"), QStringLiteral("0FF")) ==
                          QStringLiteral("ON");
            if (c.InService) m.RecorderCount = i + 1;
        });
    }
    trap(50, [&] {
        if (m.RecorderCount == 0) {
            m.RecorderCount = 1;
            EcritureIni(file, RecorderSection(QStringLiteral("Recorder_"), 0), QStringLiteral("Actif"), QStringLiteral("ON"));
        }
    });
    for (int i = 0; i < kRecorders; ++i) {
        const QString sec = RecorderSection(QStringLiteral("Recorder_"), i);
        RecorderConfig& c = m.Recorders[size_t(i)];
        trap(70, [&] { c.Label = read(sec, QStringLiteral("Lib"), QStringLiteral("Recorder ") + QString::number(i + 1)); });
        trap(80, [&] {
            c.StoredDevice = read(sec, QStringLiteral("Device"), QStringLiteral("0"));
            c.DeviceIndex = NumI16(c.StoredDevice);
        });
        trap(85, [&] { c.DeviceName = read(sec, QStringLiteral("DeviceName"), QString()); });
        trap(90, [&] { c.ChannelIndex = NumI16(read(sec, QStringLiteral("Channel"), QStringLiteral("0"))); });
        trap(100, [&] {
            m.StoredFormat[size_t(i)] = read(sec, QStringLiteral("Format"), QStringLiteral("1"));
            c.FormatIndex = NumI16(m.StoredFormat[size_t(i)]);
        });
        trap(110, [&] { c.FormatCharacteristic = NumI16(read(sec, QStringLiteral("FormatCaracteristics"), QStringLiteral("0"))); });
        trap(120, [&] { c.QualityIndex = NumI16(read(sec, QStringLiteral("Quality"), QStringLiteral("0"))); });
        trap(130, [&] { c.QualityText = read(sec, QStringLiteral("SQuality"), QString()); });
        trap(140, [&] { c.Volume = CLngRound(Val(read(sec, QStringLiteral("Volume"), QStringLiteral("75")))); });
        trap(150, [&] { c.Logging = CheckValue(Val(read(sec, QStringLiteral("Pige"), QStringLiteral("0"))), c.Logging); });
        trap(160, [&] { c.LoggingDays = read(sec, QStringLiteral("PigeNbJours"), QStringLiteral("30")); });
        trap(170, [&] { ApplyFolderText(c, read(sec, QStringLiteral("PigeFolder"), c.LocalSoundFolder)); });
        trap(180, [&] { c.NamePattern = read(sec, QStringLiteral("PigeFile"), QString()); });
        trap(190, [&] {
            c.ConfirmName = CheckValue(Val(read(sec, QStringLiteral("PigeConfirmFile"), QStringLiteral("0"))), c.ConfirmName);
        });
        trap(192, [&] { c.SilenceThreshold = read(sec, QStringLiteral("SilenceSeuil"), QStringLiteral("-50")); });
        trap(194, [&] { c.SilenceDelay = read(sec, QStringLiteral("SilenceDelai"), QStringLiteral("30")); });
        trap(196, [&] {
            c.LoudnessTarget = read(sec, QStringLiteral("LoudnessCible"), QStringLiteral("-23"));
            c.LoudnessTolerance = read(sec, QStringLiteral("LoudnessTolerance"), QStringLiteral("2"));
            c.LoudnessDelay = read(sec, QStringLiteral("LoudnessDelai"), QStringLiteral("60"));
        });
        m.StoredCharacteristic[size_t(i)] = c.FormatCharacteristic;
    }
    for (int i = 0; i < kRecorders; ++i) {
        RecorderConfig& c = m.Recorders[size_t(i)];
        QString packed;
        trap(220, [&] {
            packed = read(RecorderSection(QStringLiteral("Keyboard_"), i), QStringLiteral("RecordPauseStop"),
                          QStringLiteral("NNN00NNN00NNN00"));
        });
        for (int cmd = 0; cmd < 3; ++cmd) {
            const QString g = packed.mid(5 * cmd, 5);
            KeyboardBinding& kb = c.Keys[size_t(cmd)];
            kb = KeyboardBinding{};
            trap(250, [&] { kb.Ctrl = g.mid(0, 1) == QStringLiteral("O"); });
            trap(260, [&] { kb.Alt = g.mid(1, 1) == QStringLiteral("O"); });
            trap(270, [&] { kb.Shift = g.mid(2, 1) == QStringLiteral("O"); });
            trap(280, [&] {
                const double v = Val(g.mid(3, 2));
                if (v >= 0) kb.Entry = EntryValue(v, 43);
            });
            trap(290, [&] { kb.Key = KeyCodeOfEntry(kb.Entry); });
        }
    }
    for (int i = 0; i < kRecorders; ++i) {
        RecorderConfig& c = m.Recorders[size_t(i)];
        QString packed;
        trap(310, [&] {
            packed = read(RecorderSection(QStringLiteral("Peripheral_"), i), QStringLiteral("RecordPauseStop"),
                          QStringLiteral("000000"));
        });
        for (int cmd = 0; cmd < 3; ++cmd) {
            const double v = Val(packed.mid(2 * cmd, 2));
            ContactBinding& cb = c.Contacts[size_t(cmd)];
            cb = ContactBinding{};
            trap(320, [&] { cb.Entry = EntryValue(v, 17); });
            trap(330, [&] {
                if (v >= 1 && v <= 16) {
                    cb.Enabled = true;
                    cb.Input = qint16(v - 1);
                    cb.State = false;
                } else {
                    cb.Enabled = false;
                }
            });
        }
        trap(340, [&] {
            c.PeripheralFile = read(RecorderSection(QStringLiteral("Peripheral_"), i), QStringLiteral("FichierSpecifique"), QString());
        });
    }
    for (int i = 0; i < kRecorders; ++i) {
        RecorderConfig& c = m.Recorders[size_t(i)];
        QString g;
        trap(360, [&] {
            g = read(RecorderSection(QStringLiteral("Commande_UDP_"), i), QStringLiteral("General"), QStringLiteral("0000000000"));
        });
        trap(370, [&] {
            c.UdpRecord = g.mid(0, 1) == QStringLiteral("1");
            c.UdpPause = g.mid(1, 1) == QStringLiteral("1");
            c.UdpStop = g.mid(2, 1) == QStringLiteral("1");
            c.UdpPodcast = g.mid(3, 1) == QStringLiteral("1");
            c.UdpConvert = g.mid(6, 1) == QStringLiteral("1");
        });
        trap(380, [&] { c.PodcastTargetEntry = EntryValue(Val(g.mid(4, 2)), 10); });
        trap(390, [&] { c.ConvertTargetEntry = EntryValue(Val(g.mid(7, 2)), 10); });
        trap(395, [&] {
            c.SilenceUdpEntry =
                EntryValue(Val(read(RecorderSection(QStringLiteral("Recorder_"), i), QStringLiteral("SilenceUDP"), QStringLiteral("00"))), 10);
        });
    }
    StationConfig& st = m.Station;
    const QString ownAddress = platform::HostAddress();
    for (int k = 0; k < kUdpLines; ++k) {
        const QString n = QString::number(k);
        UdpLineConfig& line = st.UdpIn[size_t(k)];
        trap(410, [&] { line.Address = read(QStringLiteral("UDP_IN"), QStringLiteral("IP_") + n, ownAddress); });
        trap(420, [&] { line.Port = read(QStringLiteral("UDP_IN"), QStringLiteral("Port_") + n, QString::number(96 + k)); });
        trap(430, [&] { line.Active = CheckValue(Val(read(QStringLiteral("UDP_IN"), QStringLiteral("Actif_") + n, QStringLiteral("0"))), line.Active); });
    }
    trap(440, [&] {
        st.StartRecord128 = CheckValue(Val(read(QStringLiteral("UDP_IN"), QStringLiteral("StartRecord128"), QStringLiteral("1"))), st.StartRecord128);
    });
    for (int k = 0; k < kUdpTargets; ++k) {
        const QString n = QString::number(k);
        UdpTargetConfig& t = st.UdpOut[size_t(k)];
        trap(460, [&] {
            t.Label = read(QStringLiteral("UDP_OUT"), QStringLiteral("Lib_") + n, QStringLiteral("UDP Out #") + QString::number(k + 1));
            t.Address = read(QStringLiteral("UDP_OUT"), QStringLiteral("IP_") + n, QString());
            t.Port = read(QStringLiteral("UDP_OUT"), QStringLiteral("Port_") + n, QString::number(96 + k));
            t.PortB = read(QStringLiteral("UDP_OUT"), QStringLiteral("PortB_") + n, QString());
            t.PortC = read(QStringLiteral("UDP_OUT"), QStringLiteral("PortC_") + n, QString());
            t.PortD = read(QStringLiteral("UDP_OUT"), QStringLiteral("PortD_") + n, QString());
            t.Message = read(QStringLiteral("UDP_OUT"), QStringLiteral("Msg_") + n, QString());
        });
    }
    trap(470, [&] {
        st.Slices.ByTable = CheckValue(Val(read(QStringLiteral("PigeTranche"), QStringLiteral("Actif"), QStringLiteral("0"))), st.Slices.ByTable);
    });
    for (int k = 0; k < kSliceRows; ++k) {
        trap(480, [&] {
            st.Slices.EndEntry[size_t(k)] =
                EntryValue(Val(read(QStringLiteral("PigeTranche"), QStringLiteral("Tranche_") + QString::number(k), QString::number(k))), 24);
        });
    }
    return m;
}

void ReloadDeviceChoice(RecorderConfig& c) {
    const QString file = SettingsFilePath();
    const QString section = RecorderSection(QStringLiteral("Recorder_"), c.Index);
    c.StoredDevice = LectureIni(file, section, QStringLiteral("Device"), QStringLiteral("0"));
    c.DeviceIndex = qint16(Val(c.StoredDevice));
    c.DeviceName = LectureIni(file, section, QStringLiteral("DeviceName"), QString());
    c.ChannelIndex = qint16(Val(LectureIni(file, section, QStringLiteral("Channel"), QStringLiteral("0"))));
    c.QualityIndex = qint16(Val(LectureIni(file, section, QStringLiteral("Quality"), QStringLiteral("0"))));
    c.QualityText = LectureIni(file, section, QStringLiteral("SQuality"), QString());
}

SerialConfig LoadSerialConfig() {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitGeneralPortCOM"));
    SerialConfig s;
    QString file;
    trap(30, [&] { file = SettingsFilePath(); });
    auto entry = [&](const char* key, const char* def, int count, int& into) {
        into = EntryValue(Val(LectureIni(file, QStringLiteral("PortCOM"), QLatin1String(key), QLatin1String(def))), count);
    };
    trap(40, [&] { entry("NoPort", "0", 9, s.PortEntry); });
    trap(50, [&] { entry("Vitesse", "5", int(SerialSpeedEntries().size()), s.Setup[0]); });
    trap(60, [&] { entry("Parite", "2", int(SerialParityEntries().size()), s.Setup[1]); });
    trap(70, [&] { entry("BitDonnees", "4", int(SerialDataBitsEntries().size()), s.Setup[2]); });
    trap(80, [&] { entry("BitArret", "0", int(SerialStopBitsEntries().size()), s.Setup[3]); });
    trap(90, [&] { s.Active = CheckValue(Val(LectureIni(file, QStringLiteral("PortCOM"), QStringLiteral("Actif"), QStringLiteral("0"))), s.Active); });
    return s;
}

int SaveSettingsModel(const std::array<RecorderConfig, kRecorders>& recorders, const StationConfig& st,
                      const std::function<void()>& midway) {
    ErrorTrap trap(QStringLiteral("FrmSetup:SaveSettings"));
    Writer write;
    trap(10, [&] {
        write.file = SettingsFilePath();
        TraceLog(-1, -1, -1, QStringLiteral("NomFichierSettings: ") + write.file);
    });
    trap(20, [&] {
        for (int i = 0; i < kRecorders; ++i)
            write(RecorderSection(QStringLiteral("Recorder_"), i), QStringLiteral("Actif"), OnOff(recorders[size_t(i)].InService));
    });
    for (int i = 0; i < kRecorders; ++i) {
        trap(30, [&] {
            const QString sec = RecorderSection(QStringLiteral("Recorder_"), i);
            const RecorderConfig& c = recorders[size_t(i)];
            write(sec, QStringLiteral("Lib"), c.Label);
            write(sec, QStringLiteral("Device"), QString::number(c.DeviceIndex));
            write(sec, QStringLiteral("DeviceName"), c.DeviceName);
            write(sec, QStringLiteral("Channel"), QString::number(c.ChannelIndex));
            write(sec, QStringLiteral("Format"), QString::number(c.FormatIndex));
            write(sec, QStringLiteral("FormatCaracteristics"), QString::number(c.FormatCharacteristic));
            write(sec, QStringLiteral("Quality"), QString::number(c.QualityIndex));
            write(sec, QStringLiteral("SQuality"), c.QualityText);
            write(sec, QStringLiteral("Volume"), QString::number(c.Volume));
            write(sec, QStringLiteral("Pige"), OneZero(c.Logging));
            write(sec, QStringLiteral("PigeNbJours"), c.LoggingDays);
            write(sec, QStringLiteral("PigeFolder"), c.FolderText);
            write(sec, QStringLiteral("PigeFile"), c.NamePattern);
            write(sec, QStringLiteral("PigeConfirmFile"), OneZero(c.ConfirmName));
            write(sec, QStringLiteral("SilenceSeuil"), c.SilenceThreshold);
            write(sec, QStringLiteral("SilenceDelai"), c.SilenceDelay);
            write(sec, QStringLiteral("SilenceUDP"), Two(c.SilenceUdpEntry));
            write(sec, QStringLiteral("LoudnessCible"), c.LoudnessTarget);
            write(sec, QStringLiteral("LoudnessTolerance"), c.LoudnessTolerance);
            write(sec, QStringLiteral("LoudnessDelai"), c.LoudnessDelay);
        });
    }
    for (int i = 0; i < kRecorders; ++i) {
        trap(40, [&] {
            QString packed;
            for (const KeyboardBinding& k : recorders[size_t(i)].Keys)
                packed += YesNo(k.Ctrl) + YesNo(k.Alt) + YesNo(k.Shift) + Two(k.Entry);
            write(RecorderSection(QStringLiteral("Keyboard_"), i), QStringLiteral("RecordPauseStop"), packed);
        });
    }
    for (int i = 0; i < kRecorders; ++i) {
        trap(50, [&] {
            const RecorderConfig& c = recorders[size_t(i)];
            const QString sec = RecorderSection(QStringLiteral("Peripheral_"), i);
            write(sec, QStringLiteral("RecordPauseStop"),
                  Two(c.Contacts[0].Entry) + Two(c.Contacts[1].Entry) + Two(c.Contacts[2].Entry));
            write(sec, QStringLiteral("FichierSpecifique"), c.PeripheralFile);
        });
    }
    for (int i = 0; i < kRecorders; ++i) {
        trap(60, [&] {
            const RecorderConfig& c = recorders[size_t(i)];
            const QString general = OneZero(c.UdpRecord) + OneZero(c.UdpPause) + OneZero(c.UdpStop) +
                                    OneZero(c.UdpPodcast) + Two(c.PodcastTargetEntry) + OneZero(c.UdpConvert) +
                                    Two(c.ConvertTargetEntry);
            write(RecorderSection(QStringLiteral("Commande_UDP_"), i), QStringLiteral("General"), general);
        });
    }
    trap(70, [&] {
        for (int k = 0; k < kUdpLines; ++k) {
            const QString n = QString::number(k);
            const UdpLineConfig& line = st.UdpIn[size_t(k)];
            write(QStringLiteral("UDP_IN"), QStringLiteral("IP_") + n, line.Address);
            write(QStringLiteral("UDP_IN"), QStringLiteral("Port_") + n, line.Port);
            write(QStringLiteral("UDP_IN"), QStringLiteral("Actif_") + n, OneZero(line.Active));
        }
        write(QStringLiteral("UDP_IN"), QStringLiteral("StartRecord128"), OneZero(st.StartRecord128));
    });
    trap(80, [&] {
        for (int k = 0; k < kUdpTargets; ++k) {
            const QString n = QString::number(k);
            const UdpTargetConfig& t = st.UdpOut[size_t(k)];
            write(QStringLiteral("UDP_OUT"), QStringLiteral("Lib_") + n, t.Label);
            write(QStringLiteral("UDP_OUT"), QStringLiteral("IP_") + n, t.Address);
            write(QStringLiteral("UDP_OUT"), QStringLiteral("Port_") + n, t.Port);
            write(QStringLiteral("UDP_OUT"), QStringLiteral("PortB_") + n, t.PortB);
            write(QStringLiteral("UDP_OUT"), QStringLiteral("PortC_") + n, t.PortC);
            write(QStringLiteral("UDP_OUT"), QStringLiteral("PortD_") + n, t.PortD);
            write(QStringLiteral("UDP_OUT"), QStringLiteral("Msg_") + n, t.Message);
        }
    });
    trap(90, [&] {
        if (midway) midway();
        write(QStringLiteral("PortCOM"), QStringLiteral("Actif"), OneZero(st.Serial.Active));
        write(QStringLiteral("PortCOM"), QStringLiteral("NoPort"), QString::number(st.Serial.PortEntry));
        write(QStringLiteral("PortCOM"), QStringLiteral("Vitesse"), QString::number(st.Serial.Setup[0]));
        write(QStringLiteral("PortCOM"), QStringLiteral("Parite"), QString::number(st.Serial.Setup[1]));
        write(QStringLiteral("PortCOM"), QStringLiteral("BitDonnees"), QString::number(st.Serial.Setup[2]));
        write(QStringLiteral("PortCOM"), QStringLiteral("BitArret"), QString::number(st.Serial.Setup[3]));
    });
    trap(100, [&] {
        write(QStringLiteral("PigeTranche"), QStringLiteral("Actif"), OneZero(st.Slices.ByTable));
        for (int k = 0; k < kSliceRows; ++k)
            write(QStringLiteral("PigeTranche"), QStringLiteral("Tranche_") + QString::number(k),
                  QString::number(st.Slices.EndEntry[size_t(k)]));
    });
    return write.failures;
}

FreeSpaceTexts FreeSpaceOf(const QString& folder) {
    ErrorTrap trap(QStringLiteral("FrmSetup:EspaceDispo"));
    FreeSpaceTexts t;
    double total = 0, free = 0;
    QString unit = QStringLiteral("Ko");
    // A folder that is no absolute path is refused for recording: nothing is
    // made for it, wherever the program runs.
    if (!DestinationFolderRefusal(folder).isEmpty()) return t;
    t.ok = true;
    trap(10, [&] { VerificationEtCreationRepertoire(folder, true); });
    trap(20, [&] {
        const platform::VolumeSpace v = platform::VolumeSpaceOf(folder);
        if (!v.ok) return;  // shown as zero
        total = double(v.total);
        free = double(v.free);
    });
    trap(30, [&] {
        total /= 1024;
        free /= 1024;
        if (total > 1024) {
            total /= 1024;
            free /= 1024;
            unit = QStringLiteral("Mo");
            if (total > 1024) {
                total /= 1024;
                free /= 1024;
                unit = QStringLiteral("Go");
            }
        }
    });
    trap(40, [&] {
        t.Occupied = QString::number(CLngRound(total - free)) + QLatin1Char(' ') + unit;
        t.Total = QString::number(CLngRound(total)) + QLatin1Char(' ') + unit;
        t.Available = QStringLiteral("Disponible: ") + QString::number(CLngRound(free)) + QLatin1Char(' ') + unit;
    });
    trap(50, [&] { t.Gauge = total > 0 ? int(std::lround((total - free) / total * 100)) : 0; });
    return t;
}
