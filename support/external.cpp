#include "support/external.h"

#include "platform/os.h"
#include "support/app_globals.h"
#include "support/errors.h"
#include "support/formats.h"
#include "support/tracelog.h"

#include <QtGlobal>

namespace {

const QString kWhereExecuter = QStringLiteral("Lib_Systeme:ExecuterProgrammeExterne");

// Object-error base plus 1048: the number given to the shell failures that
// have no run-time error of their own.
constexpr qint64 kShellErrorBase = 0x80040418LL;

qint32 ShellErrorNumber(qint32 r) { return qint32(qint64(r) + kShellErrorBase - 0x100000000LL); }

constexpr int kStillActive = 259;
// Slice of each wait for a process: the events that arrive meanwhile run at once.
constexpr int kWaitSliceMs = 20;

}  // namespace

qint32 ExecuterProgrammeExterne(const QString& operation, const QString& file, const QString& parameters,
                                const QString& directory, qint32 showCommand) {
    Q_UNUSED(showCommand);
    ErrorTrap trap(kWhereExecuter);
    qint32 r = 0;
    trap(10, [&] { r = platform::ShellOpen(operation, file, parameters, directory); });
    if (r > 32) return r;

    qint32 number = 0;
    QString message;
    switch (r) {
    case 0:
    case 8: number = 7; message = QStringLiteral("Dépassement de mémoire"); break;
    case 2: number = 53; message = QStringLiteral("Chemin d'accès non trouvé"); break;
    case 3: number = 76; message = QStringLiteral("Chemin d'accès non trouvé"); break;
    case 5:
    case 26: number = 75; message = QStringLiteral("Violation de partage: Erreur d'accès au Dossier/Fichier"); break;
    case 11: number = ShellErrorNumber(r); message = QStringLiteral("Cet exécutable est invalide ou corrompu"); break;
    case 27:
    case 31:
        number = ShellErrorNumber(r);
        message = QStringLiteral("Il n'y a aucune application associée à ce type de fichier");
        break;
    case 28:
        number = 286;
        message = QStringLiteral("Le fichier ne peut être ouvert car le délai d'attente est dépassé. Réessayez plus tard");
        break;
    case 29:
        number = 285;
        message = QStringLiteral("Le fichier ne peut être ouvert car la transaction DDE a échoué. Réessayez plus tard");
        break;
    case 30:
        number = 285;
        message = QStringLiteral("Le fichier ne peut être ouvert car l'application est occupée. Réessayez plus tard");
        break;
    case 32: number = 48; message = QStringLiteral("Le fichier dll ne peut être trouvé"); break;
    default:
        number = ShellErrorNumber(r);
        message = QStringLiteral("Erreur à l'ouverture ou l'impression du fichier sélectionné");
        break;
    }

    // The failure is raised and handled here: a missing path is only traced,
    // anything else goes to the error manager.
    constexpr int kRaiseLine = 20;
    try {
        RaiseError(number, message, App().ExeName + QStringLiteral(".ExecuterProgrammeExterne"));
    } catch (...) {
        CaptureCurrentException(kRaiseLine);
        if (Err().ErrNumber == 53) {
            TraceLog(-1, -1, -1,
                     QStringLiteral("Err: 53: Chemin d'accès non trouvé: ") + file + QStringLiteral(" |Source: ") +
                         kWhereExecuter + QLatin1Char(':') + QString::number(Err().ErrLine),
                     false, true);
            Err().Clear();
        } else {
            GestionDesErreurs(kWhereExecuter);
        }
    }
    return r;
}

qint32 AttenteFinProcessusExterne(qint64 processId, qint32& timeoutMs, const std::function<bool()>& giveUp) {
    ErrorTrap trap(QStringLiteral("Lib_Systeme:AttenteFinProcessusExterne"));
    qint32 code = -1;
    qint64 start = 0;
    trap(10, [&] {
        code = platform::ProcessExitCode(processId);
        start = TempsSystemeMs();
    });
    if (timeoutMs == 0) return code;  // no wait asked: the current state
    trap(20, [&] {
        while (code == kStillActive) {
            code = platform::ProcessExitCode(processId);
            if (code != kStillActive) break;
            platform::LetEventsRunFor(kWaitSliceMs);
            if (giveUp && giveUp()) break;
            if (timeoutMs > 0 && qAbs(TempsSystemeMs() - start) > timeoutMs) break;
        }
    });
    return code;
}
