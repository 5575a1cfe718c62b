#pragma once
// Questions and choosers that the logic asks of the operator. The windows
// install a Qt implementation; headless runs and tests install their own.
// The default implementation answers as an absent operator would: the
// default button, or cancel.
#include <QString>
#include <QStringList>

enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgButtons { Ok, YesNo };
enum MsgResult { MsgOk = 1, MsgYes = 6, MsgNo = 7 };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int MessageBox(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon,
                           int defaultResult);
    // Task dialog with its own buttons (ids), a default button and a time limit
    // after which the default is pressed for the operator. Returns the id pressed.
    virtual int TaskDialog(const QString& title, const QString& text, const QList<QPair<int, QString>>& buttons,
                           int defaultId, int timeoutMs);
    // Save dialog: returns the chosen full path, or "" when cancelled.
    virtual QString SaveFile(const QString& folder, const QString& proposedName, const QString& filter);
    // Save dialog with entry filterIndex (0-based) of the filter list
    // proposed; by default the plain save dialog.
    virtual QString SaveFileWithFilter(const QString& folder, const QString& proposedName, const QString& filter,
                                       int filterIndex);
    // Open dialog: returns the chosen full path, or "" when cancelled.
    virtual QString OpenFile(const QString& folder, const QString& proposedName, const QString& filter);
    // Folder chooser: returns the chosen folder, or "" when cancelled.
    virtual QString FolderSelect(const QString& startFolder);
};

Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs);  // not owned; nullptr restores the default
