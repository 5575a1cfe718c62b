#include "settings/recorder_config.h"

#include <QStringList>

int KeyCodeOfEntry(int e) {
    if (e >= 1 && e <= 26) return 64 + e;   // A..Z
    if (e >= 27 && e <= 42) return 85 + e;  // F1..F16 (112..127)
    return 0;
}

QStringList CharacteristicEntries(int format) {
    QStringList entries;
    switch (format) {
    case FormatMp3:
        entries = {QStringLiteral("VBR 150-180 Kbps"), QStringLiteral("VBR 170-210 Kbps"), QStringLiteral("VBR 200-240 Kbps"),
                   QStringLiteral("CBR 320 Kbps"),     QStringLiteral("CBR 192 Kbps"),     QStringLiteral("CBR 128 Kbps")};
        break;
    case FormatWma:
        for (int v = 0; v <= 100; ++v) entries << QString::number(v);
        break;
    case FormatOgg:
        for (int v = 0; v <= 10; ++v) entries << QString::number(v);
        break;
    case FormatAac:
        for (int v = 10; v <= 500; ++v) entries << QString::number(v);
        break;
    default:
        break;  // memory and wave: no characteristic
    }
    return entries;
}

int DefaultCharacteristic(int format) {
    if (format == FormatMp3) return 3;  // CBR 320
    const int n = int(CharacteristicEntries(format).size());
    return n > 0 ? n - 1 : -1;
}

int CharacteristicValue(int format, int entry) {
    const QStringList entries = CharacteristicEntries(format);
    if (entry < 0 || entry >= entries.size() || format == FormatMp3) return -1;
    return entries[entry].toInt();
}

int UsableCharacteristic(int format, int stored) {
    const int n = int(CharacteristicEntries(format).size());
    if (n == 0) return stored;
    return stored >= 0 && stored < n ? stored : 0;
}

QString FormatCode(int format) {
    switch (format) {
    case FormatMemory: return QStringLiteral("memory");
    case FormatWav: return QStringLiteral("wav");
    case FormatMp3: return QStringLiteral("mp3");
    case FormatWma: return QStringLiteral("wma");
    case FormatOgg: return QStringLiteral("ogg");
    case FormatAac: return QStringLiteral("aac");
    default: return QStringLiteral("wav");
    }
}

QStringList FormatNames() {
    return {QStringLiteral("Mémoire"), QStringLiteral("wave"), QStringLiteral("mp3"),
            QStringLiteral("wma"),     QStringLiteral("ogg vorbis"), QStringLiteral("aac")};
}
