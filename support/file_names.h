#pragma once
// Names of the files that recordings create: cleaned of what a file name
// cannot hold, fitted to the file system's limit, and never the name of a
// file that already exists.
#include <QString>

// The text without control characters (NUL, line breaks, tabs, escape,
// DEL and the C1 controls).
QString StripControlCharacters(const QString& text);

// The longest file name, in bytes, that the file system holding folder
// accepts (its NAME_MAX; 255 when the folder cannot be asked).
int NameMaxOf(const QString& folder);

// base shortened so that base + tail (suffix and extension) takes at most
// maxBytes bytes in UTF-8. Characters are removed whole (never half of a
// multi-byte character); the date part (the last run of at least six digits,
// with its "_" / "-" separated groups) is kept: the text before it is
// shortened first, then the text after it. Trailing blanks of a cut piece go.
QString FitFileName(const QString& base, const QString& tail, int maxBytes);

struct NewFilePath {
    QString path;       // folder + name + extension
    QString name;       // the base name as used (shortened and/or suffixed)
    int suffix = 1;     // 1: the name itself; 2: " (2)" was added; ...
    bool shortened = false;
};

// The path of a new file in folder: base + extension when no entry of that
// name exists, else base + " (2)" + extension, " (3)"... The name is fitted
// to the file system's limit with its suffix and extension. The search starts
// after the suffix `after` (0: the name itself first; n: a file with suffix n
// turned out to exist meanwhile).
NewFilePath NewFileIn(const QString& folder, const QString& base, const QString& extension, int after = 0);

// Why a folder cannot receive recordings ("" it can): none given, or not an
// absolute path (a relative one would put the files wherever the program
// happens to run).
QString DestinationFolderRefusal(const QString& folder);
