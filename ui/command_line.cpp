#include "ui/command_line.h"

#include "platform/versions.h"
#include "support/app_globals.h"

namespace ui {

QString HelpText() {
    return QStringLiteral(
        "Utilisation : VM3_Quillon_Recorder [/Instance=N] [--test-tone] [--help] [--version]\n"
        "\n"
        "Enregistreur multicanal pour la radio : jusqu'à huit enregistreurs, chacun sur une\n"
        "entrée de carte son, en WAV, MP3, WMA, Ogg Vorbis ou AAC.\n"
        "\n"
        "Options :\n"
        "  /Instance=N, /I=N  instance N (1 à 10) : fichier de paramètres\n"
        "                     VM3_Quillon_Recorder_N.Ini au lieu de VM3_Quillon_Recorder.Ini\n"
        "  --test-tone        ajoute le périphérique de test \"Test tone 1000 Hz (test only)\"\n"
        "  --help             affiche cette aide et quitte\n"
        "  --version          affiche la version et celles des bibliothèques, puis quitte\n"
        "\n"
        "Dossiers : voir la section « Pour l'opérateur » du fichier README.\n");
}

QString VersionText() {
    return QStringLiteral("Velmora: Quillon Recorder %1\nQt %2\nFFmpeg %3\nlibpulse %4\n")
        .arg(VersionApplication(), platform::QtVersionText(), platform::FfmpegVersionText(),
             platform::PulseVersionText());
}

QString InformationRequested(const QStringList& arguments) {
    for (const QString& a : arguments) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("/?")) return HelpText();
        if (a == QLatin1String("--version")) return VersionText();
    }
    return {};
}

}  // namespace ui
