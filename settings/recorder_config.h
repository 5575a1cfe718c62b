#pragma once
// The configuration of one recorder, as values: what the settings file says
// of it (sections "Recorder_NN", "Keyboard_NN", "Peripheral_NN",
// "Commande_UDP_NN") and the folders the family configuration gives it. The
// recorder works from this value only; the setup window edits a copy and
// hands it back.
#include <QString>
#include <array>

constexpr int kRecorders = 8;

// Recording formats, as the settings file numbers them ("Format").
enum RecordFormat { FormatMemory = 0, FormatWav = 1, FormatMp3 = 2, FormatWma = 3, FormatOgg = 4, FormatAac = 5 };

enum RecordKindCode { RecordKindNoFile = 0, RecordKindLogging = 1, RecordKindOrdinary = 2 };

// Keyboard shortcut of one command (record 0, pause 1, stop 2).
struct KeyboardBinding {
    bool Ctrl = false;
    bool Alt = false;
    bool Shift = false;
    int Entry = 0;  // entry of the key list: 0 none, 1..26 A..Z, 27..42 F1..F16
    int Key = 0;    // the key code of that entry (0 none)
};
// Contact of one command: entry 0 none, entry n is input n-1 of the card.
struct ContactBinding {
    int Entry = 0;
    bool Enabled = false;
    qint16 Input = 0;
    bool State = false;
};

struct RecorderConfig {
    int Index = 0;                // 0..7 (people see 1..8)
    bool InService = false;       // "Actif"
    QString Label;                // "Lib"
    // Capture device: the stored number as written ("Device"), the sound
    // server's name of it ("DeviceName"), input line, quality.
    QString StoredDevice = QStringLiteral("0");
    qint16 DeviceIndex = 0;
    QString DeviceName;
    qint16 ChannelIndex = 0;
    qint16 QualityIndex = 0;
    QString QualityText;          // "SQuality": e.g. "48000 Hz 16 bits stéréo"
    qint16 FormatIndex = FormatWav;
    qint16 FormatCharacteristic = 0;  // entry of the format's characteristic list
    int Volume = 75;
    // Logging ("Pige") or ordinary recorder.
    bool Logging = false;
    QString LoggingDays = QStringLiteral("30");  // "PigeNbJours" as typed
    QString FolderText;           // "PigeFolder" as typed
    QString RecordFolder;         // the folder recorded into (ends with "/"; "" none)
    QString NetworkFolder;        // the folder as announced to peers
    QString NamePattern;          // "PigeFile"
    bool ConfirmName = false;     // "PigeConfirmFile"
    // Silence alarm: threshold (dBFS) and delay (s, 0 = off) as typed, the
    // UDP target told of it (entry 0 none, entry n target n-1).
    QString SilenceThreshold = QStringLiteral("-50");
    QString SilenceDelay = QStringLiteral("30");
    int SilenceUdpEntry = 0;
    // Loudness: target (LUFS), tolerance (LU) and alarm delay (s, 0 = off) as typed.
    QString LoudnessTarget = QStringLiteral("-23");
    QString LoudnessTolerance = QStringLiteral("2");
    QString LoudnessDelay = QStringLiteral("60");
    // The name of a start by a contact or a remote command ("FichierSpecifique").
    QString PeripheralFile;
    std::array<KeyboardBinding, 3> Keys{};
    std::array<ContactBinding, 3> Contacts{};
    // UDP commands accepted and notifications after a stop ("Commande_UDP_NN").
    bool UdpRecord = false, UdpPause = false, UdpStop = false;
    bool UdpPodcast = false, UdpConvert = false;
    int PodcastTargetEntry = 0, ConvertTargetEntry = 0;
    // Folders of the family configuration.
    QString LocalFolder, LocalSoundFolder, ConfigFolder;

    int RecordKind() const { return Logging ? RecordKindLogging : RecordKindOrdinary; }
    QString RecName() const { return QStringLiteral("Rec. ") + QString::number(Index + 1); }
};

// The key code of an entry of the key list (0 none).
int KeyCodeOfEntry(int entry);

// The characteristic list of a format (MP3 modes, WMA, Ogg and AAC values),
// its default entry, and the value an entry stands for (WMA kbit/s, Ogg
// quality, AAC kbit/s; -1 none).
QStringList CharacteristicEntries(int format);
int DefaultCharacteristic(int format);
int CharacteristicValue(int format, int entry);
// The characteristic entry a stored one gives: out of the list, entry 0.
int UsableCharacteristic(int format, int stored);
// "mp3", "wav"... and the names the setup window lists.
QString FormatCode(int format);
QStringList FormatNames();
