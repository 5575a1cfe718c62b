// The log viewer of the main window's menu: the pending trace lines are
// written out, the operator picks a daily log file (today's proposed) and
// it opens in the desktop's text editor.
#include "core/frm_main.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/external.h"
#include "support/formats.h"
#include "support/tracelog.h"

void MnuJournal_Click() {
    ErrorTrap trap(QStringLiteral("Frm_Main:MnuJournal_Click"));
    trap(10, [&] {
        if (Trace().LogFolder.isEmpty()) return;
        QString fileName;
        TraceLogForce(Trace().ListeLog, fileName, false);
    });
    QString chosen;
    trap(20, [&] {
        chosen = CurrentDialogs().OpenFile(Trace().LogFolder, D2S(CurrentClock().now()) + QStringLiteral(".Log"),
                                           QStringLiteral("Logs|*.log"));
    });
    if (chosen.trimmed().isEmpty()) return;
    trap(30, [&] { ExecuterProgrammeExterne(QStringLiteral("Open"), QStringLiteral("Notepad.exe"), chosen, QString(), 1); });
}
