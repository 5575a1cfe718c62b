#pragma once
// The file a start records into: folder, name and extension by the kind of
// recorder and what the request gives, names made safe, the folder made and
// the name made that of a new file.
#include "recording/start_request.h"

#include <QString>

class Recorder;

struct Target {
    QString folder, name, ext;
    bool folderFromRecordFolder = false;
    bool fromPending = false;
    // The name as built, before a suffix made it the name of a new file.
    QString base;
    int suffix = 0;
    // Why the request's folder or path cannot be used ("" it can).
    QString refused;
    QString path() const { return folder + name + ext; }
};

// A name made from outside text (label, pattern, remote identifier,
// peripheral file name) must not lead out of its folder: separators become
// "_", ".." and control characters (NUL included) go.
QString SafeFileName(QString name);
QString SafeExtension(QString ext);

// Folder, name and extension of the next file of the recorder for the
// request. askUser: the save dialog may open.
Target BuildTarget(const Recorder& recorder, const StartRequest& request, bool askUser);
// Why the recorder cannot record into the target ("" it can): its device or
// its folder. The folder is made when missing, and the name becomes that of
// a new file (a suffix when the name exists, shortened to fit).
QString PrepareTarget(const Recorder& recorder, Target& target, bool quiet);
// A blank name cancels the start of a recorder that records into files.
bool NameCancelsStart(const Recorder& recorder, const Target& target);
// The folder a relative folder names inside the recorder's folder; "" when
// it would leave it.
QString FolderInside(const QString& recorderFolder, const QString& relative);
