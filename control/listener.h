#pragma once
// The listening end of the control socket: bound at its path with mode 0660
// (group "quillon" when that group exists and the process may give the file
// to it), a stale file replaced, a live one never taken over.
#include <QString>

namespace control {

struct BoundSocket {
    int fd = -1;          // listening, non-blocking; -1 on failure
    QString path;
    quint64 inode = 0;    // of the socket file we made, to remove only ours
    QString group;        // "quillon" when the file was given to it
    QString error;        // French, on failure
    bool replacedStale = false;
};

BoundSocket BindControlSocket(const QString& path);
// Closes the socket and removes its file when it is still the one we made.
void UnbindControlSocket(BoundSocket& socket);

}  // namespace control
