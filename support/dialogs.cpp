// Questions to the operator. Without windows, nobody is there to answer: the
// default button is taken and choosers are cancelled.
#include "support/dialogs.h"

namespace {
Dialogs* g_dialogs = nullptr;  // installed implementation, not owned
}

int Dialogs::MessageBox(const QString&, const QString&, MsgButtons, MsgIcon, int defaultResult) {
    return defaultResult;
}

int Dialogs::TaskDialog(const QString&, const QString&, const QList<QPair<int, QString>>&, int defaultId, int) {
    return defaultId;
}

QString Dialogs::SaveFile(const QString&, const QString&, const QString&) { return QString(); }

QString Dialogs::SaveFileWithFilter(const QString& folder, const QString& proposedName, const QString& filter, int) {
    return SaveFile(folder, proposedName, filter);
}

QString Dialogs::OpenFile(const QString&, const QString&, const QString&) { return QString(); }

QString Dialogs::FolderSelect(const QString&) { return QString(); }

Dialogs& CurrentDialogs() {
    static Dialogs absentOperator;
    return g_dialogs ? *g_dialogs : absentOperator;
}

void SetDialogs(Dialogs* dialogs) { g_dialogs = dialogs; }
