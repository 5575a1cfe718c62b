// The name of a recorder's next file: the logging pattern, the recorder's own
// pattern for automatic starts, or the operator's choice in the save dialog.
#include "recording/recording.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/formats.h"

#include <QLocale>

namespace {

const QString kDefaultPattern = QStringLiteral("<yyyyMMdd_hh_mm_ss>");

QString SaveFilter(int formatIndex) {
    switch (formatIndex) {
    case 0: return QStringLiteral("*.*|*.*");
    case 2: return QStringLiteral("mp3|*.mp3;");
    case 3: return QStringLiteral("wma|*.wma;");
    case 4: return QStringLiteral("ogg|*.ogg;");
    case 5: return QStringLiteral("aac|*.aac;");
    default: return QStringLiteral("wave|*.wav; *.wave;");
    }
}

// "lundi 1 janvier 2024 14H 05Min 09Sec"
QString ProposedName(const QString& text) {
    if (!text.trimmed().isEmpty()) return text;
    const QDateTime now = CurrentClock().now();
    const QLocale french(QLocale::French, QLocale::France);
    return french.toString(now.date(), QLocale::LongFormat) + QStringLiteral(" ") +
           N2S(now.time().hour(), 2, 0, QStringLiteral("0")) + QStringLiteral("H ") +
           N2S(now.time().minute(), 2, 0, QStringLiteral("0")) + QStringLiteral("Min ") +
           N2S(now.time().second(), 2, 0, QStringLiteral("0")) + QStringLiteral("Sec");
}

}  // namespace

QString Recorder::NextFileName(QString& folder, bool askUser, CommandOrigin origin) const {
    ErrorTrap trap(QStringLiteral("Lib_Systeme:DetermineNomFichier"));
    QString result;
    const int kind = config_.RecordKind();
    if (kind == RecordKindNoFile) return result;
    if (kind == RecordKindLogging) {
        trap(20, [&] {
            // The hour that comes again when the clock goes back (end of
            // summer time) carries "bis" after its hour: "..._02bis_00_00"
            // sorts after every slice of the first 02 hour and before 03.
            const QDateTime now = CurrentClock().now();
            const bool repeated = now.addSecs(-3600).time().hour() == now.time().hour();
            result = QStringLiteral("Pige ") + config_.Label.trimmed() + QStringLiteral(" ") +
                     (repeated ? QStringLiteral("<yyyyMMdd_hh>bis_<mm_ss>") : kDefaultPattern);
        });
        return result;
    }
    const QString text = config_.NamePattern;
    // A start by a command source other than the operator's button asks
    // nobody: the recorder's pattern, or the date and time.
    const bool automatic = origin != CommandOrigin::Button && origin != CommandOrigin::Recovery;
    if (automatic) {
        trap(30, [&] { result = text.trimmed().isEmpty() ? kDefaultPattern : text.trimmed(); });
        return result;
    }
    if (!text.trimmed().isEmpty() && !config_.ConfirmName) {
        trap(40, [&] { result = text.trimmed(); });
        return result;
    }
    if (!askUser) return result;
    trap(50, [&] {
        const QString filter = SaveFilter(config_.FormatIndex);
        const QString proposed = ProposedName(text);
        for (;;) {
            const QString chosen = CurrentDialogs().SaveFile(folder, proposed, filter);
            if (chosen.trimmed().isEmpty()) return;  // cancelled: a blank name
            const PathPieces pieces = EclateRepFicExt(chosen);
            const QString written = pieces.PathFolder + pieces.PathBaseName + FileExtension();
            const QString caller = QStringLiteral("Lib_Systeme:DetermineNomFichier");
            if (File_Exist(chosen, caller) || File_Exist(written, caller)) {
                const int answer = CurrentDialogs().MessageBox(
                    QStringLiteral("Fichier existant. Voulez-vous l'écraser ?"), App().MainWindowCaption,
                    MsgButtons::YesNo, MsgIcon::Critical, MsgNo);
                if (answer != MsgYes) continue;
            }
            folder = pieces.PathFolder;
            result = pieces.PathBaseName;
            return;
        }
    });
    return result;
}

QString DetermineNomFichier(int recorder, QString& folder, bool askUser) {
    ErrorTrap trap(QStringLiteral("Lib_Systeme:DetermineNomFichier"));
    QString result;
    if (!trap(10, [&] { CheckRecorderIndex(recorder); })) return result;
    return Rec(recorder).NextFileName(folder, askUser, CommandOrigin::Button);
}

// The name text the setup window shows for a recorder (its label changed, or
// it became the logging recorder). It never asks the operator; when no name
// can be computed without asking, the pattern stays as typed.
QString NameTextOf(int recorder) {
    if (recorder < 0 || recorder >= kRecorders) return {};
    const Recorder& r = Rec(recorder);
    QString folder = r.config().RecordFolder;
    const QString name = r.NextFileName(folder, false, CommandOrigin::Button);
    if (name.isEmpty() && r.config().RecordKind() == RecordKindOrdinary) return r.config().NamePattern;
    return name;
}
