// The command line of quillon-ctl: options may come before or after the
// command; each option belongs to the commands that use it.
#include "options.h"

#include "control/protocol.h"

namespace ctl {

namespace {

const QStringList kCommands = {"status", "start", "pause", "continue", "stop", "incidents", "follow"};

bool Integer(const QString& text, qint64 low, qint64 high, qint64* out) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < low || v > high) return false;
    *out = v;
    return true;
}

}  // namespace

Options ParseOptions(const QStringList& arguments) {
    Options o;
    QStringList positional;
    QStringList used;  // options given, to check they fit the command
    auto fail = [&](const QString& text) {
        if (o.error.isEmpty()) o.error = text;
    };
    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        QString value;
        bool hasInline = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.section(QLatin1Char('='), 1);
            arg = arg.section(QLatin1Char('='), 0, 0);
            hasInline = true;
        }
        auto takeValue = [&]() -> QString {
            if (hasInline) return value;
            if (i + 1 >= arguments.size()) {
                fail(QStringLiteral("%1 attend une valeur").arg(arg));
                return QString();
            }
            return arguments.at(++i);
        };
        qint64 n = 0;
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            o.help = true;
        } else if (arg == QLatin1String("--version")) {
            o.version = true;
        } else if (arg == QLatin1String("--json")) {
            o.json = true;
        } else if (arg == QLatin1String("--levels")) {
            o.levels = true;
            used << arg;
        } else if (arg == QLatin1String("--instance")) {
            if (Integer(takeValue(), 0, 999999, &n)) o.instance = int(n);
            else fail(QStringLiteral("--instance attend un numéro d'instance (0, 1, 2...)"));
        } else if (arg == QLatin1String("--socket")) {
            o.socket = takeValue();
            if (o.socket.isEmpty()) fail(QStringLiteral("--socket attend le chemin d'un socket"));
        } else if (arg == QLatin1String("--name")) {
            o.name = takeValue();
            used << arg;
        } else if (arg == QLatin1String("--folder")) {
            o.folder = takeValue();
            used << arg;
        } else if (arg == QLatin1String("--duration")) {
            if (Integer(takeValue(), 1, control::kMaxDurationS, &n)) o.duration = n;
            else fail(QStringLiteral("--duration attend un nombre de secondes de 1 à 604800"));
            used << arg;
        } else if (arg == QLatin1String("--last")) {
            if (Integer(takeValue(), 1, control::kMaxIncidents, &n)) o.last = int(n);
            else fail(QStringLiteral("--last attend un nombre de 1 à 1000"));
            used << arg;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            fail(QStringLiteral("option inconnue : %1").arg(arg));
        } else {
            positional << arg;
        }
    }
    if (o.help || o.version) return o;
    if (positional.isEmpty()) {
        fail(QStringLiteral("commande manquante"));
        return o;
    }
    o.command = positional.takeFirst();
    if (!kCommands.contains(o.command)) {
        fail(QStringLiteral("commande inconnue : %1").arg(o.command));
        return o;
    }
    const bool needsRecorder = o.command == QLatin1String("start") || o.command == QLatin1String("pause") ||
                               o.command == QLatin1String("continue") || o.command == QLatin1String("stop");
    if (needsRecorder) {
        qint64 r = 0;
        if (positional.isEmpty())
            fail(QStringLiteral("%1 attend le numéro de l'enregistreur (1 à 8)").arg(o.command));
        else if (!Integer(positional.takeFirst(), 1, control::kRecorderCount, &r))
            fail(QStringLiteral("numéro d'enregistreur de 1 à 8 attendu"));
        o.recorder = int(r);
    }
    if (!positional.isEmpty()) fail(QStringLiteral("argument en trop : %1").arg(positional.first()));
    QStringList allowed;
    if (o.command == QLatin1String("start")) allowed = {"--name", "--folder", "--duration"};
    if (o.command == QLatin1String("incidents")) allowed = {"--last"};
    if (o.command == QLatin1String("follow")) allowed = {"--levels"};
    for (const QString& u : used)
        if (!allowed.contains(u)) fail(QStringLiteral("%1 ne s'emploie pas avec %2").arg(u, o.command));
    return o;
}

QString HelpText() {
    return QStringLiteral(
        "Usage : quillon-ctl [--instance N | --socket CHEMIN] [--json] COMMANDE\n"
        "\n"
        "Interroge et commande l'enregistreur Quillon Recorder qui tourne sur cette machine,\n"
        "par son socket de commande.\n"
        "\n"
        "Commandes :\n"
        "  status                      état du programme et des 8 enregistreurs\n"
        "  start N [--name NOM] [--folder DOSSIER] [--duration SEC]\n"
        "                              démarre l'enregistreur N (1 à 8)\n"
        "  pause N                     met l'enregistreur N en pause\n"
        "  continue N                  reprend l'enregistreur N après une pause\n"
        "  stop N                      arrête l'enregistreur N\n"
        "  incidents [--last K]        les K derniers incidents (50 par défaut, 1000 au plus)\n"
        "  follow [--levels]           affiche les événements au fil de l'eau jusqu'à Ctrl-C ;\n"
        "                              --levels ajoute les niveaux (10 par seconde)\n"
        "\n"
        "Options :\n"
        "  --instance N   l'instance du programme (/Instance=N). Sans elle : l'instance 0 ;\n"
        "                 s'il n'y a pas d'instance 0 et qu'un seul programme tourne, celui-là.\n"
        "  --socket CHEMIN  ce socket-là, sans recherche\n"
        "  --json         la réponse du programme telle quelle (une ligne JSON), pour les scripts ;\n"
        "                 avec follow, un événement JSON par ligne\n"
        "  --help, --version\n"
        "\n"
        "Les sockets sont cherchés dans $XDG_RUNTIME_DIR/quillon-recorder/ (programme lancé\n"
        "par l'utilisateur) puis dans /run/quillon-recorder/ (service système).\n"
        "\n"
        "Codes de sortie :\n"
        "  0  fait\n"
        "  1  refusé par le programme (son message sur la sortie d'erreur)\n"
        "  2  ligne de commande incorrecte\n"
        "  3  aucun programme ne tourne pour cette instance (pas de socket, connexion refusée,\n"
        "     ou pas de réponse en quelques secondes)\n");
}

}  // namespace ctl
