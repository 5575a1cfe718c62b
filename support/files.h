#pragma once
// File operations: shell copy and delete with their result codes, existence
// and size tests, folder creation, path splitting, name cleaning and the
// expansion of date placeholders. Folders always end with "/".
#include <QDateTime>
#include <QString>

// Pieces set by EclateRepFicExt (overwritten by each call).
struct PathPieces {
    QString PathFolder;     // with its final "/"
    QString PathBaseName;   // without extension
    QString PathExtension;  // from the dot, e.g. ".wav"
};
PathPieces& LastPathPieces();

void File_Copy(const QString& source, const QString& target, int flags = 0, int window = 0);
bool File_Delete(const QString& path, const QString& caller, int flags = 0, int window = 0);
void DeleteFile(const QString& path, const QString& caller);
bool File_Exist(const QString& path, const QString& caller, bool notEmpty = false);
qint64 TailleDuFichier(const QString& path);
void File_RemoveFlag(const QString& path, int attribute);
// Last-write (or last-access) time in local time; invalid for a blank path or
// an unreadable file.
QDateTime DateModificationFichier(int recorder, const QString& path, bool accessTime);
bool VerificationEtCreationRepertoire(const QString& folder, bool create);
bool FolderFound(const QString& folder);
QString CheckRep(const QString& folder);
PathPieces EclateRepFicExt(const QString& path);
bool NomFichierCorrect(const QString& name);
QString NettoieNomDeDossier(const QString& name);
// Extension of a sound format code: 0 "", 1 ".wav", 2 ".mp3", 3 ".wma", 4 ".ogg", 5 ".aac", other ".wav".
QString ExtensionFormat(int formatIndex);
QString EvalueNomFichier(const QString& pattern);
// "###,###,##0.00" + " Octets" / " Ko" / " Mo" ...
QString SizeText(double bytes);

// Restart hook called on shell result 14 (out of memory); does nothing unless set.
void SetRelancerApplicationHook(void (*hook)(const QString& reason));
