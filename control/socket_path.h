#pragma once
// Where the control sockets are: the program's folder by the rules of the
// protocol, and the client's search for a running program's socket.
#include <QList>
#include <QString>
#include <QStringList>

namespace control {

struct SocketFolder {
    QString path;          // ends with "/"; empty when there is none
    bool managed = false;  // systemd's RuntimeDirectory: left as it is
    bool userOwned = false;  // under $XDG_RUNTIME_DIR: created 0700
};

// The program's folder: $RUNTIME_DIRECTORY when systemd set it (of its
// folders, the one named quillon-recorder, else the first); else $XDG_RUNTIME_DIR/quillon-recorder/; else /run/quillon-recorder/
// when /run is writable.
SocketFolder ServerSocketFolder();
// Creates the folder when needed (0700 under $XDG_RUNTIME_DIR, 0755 under
// /run, where the socket file's own mode guards it); systemd's is left alone.
bool PrepareSocketFolder(const SocketFolder& folder, QString* error);
// "<instance>.sock"
QString SocketFileName(int instance);

// The folders a client looks in, in order: those of $RUNTIME_DIRECTORY,
// $XDG_RUNTIME_DIR/quillon-recorder/, /run/quillon-recorder/ (each once).
QStringList ClientSocketFolders();

struct SocketSearch {
    QString path;         // the socket found; empty when none
    QString error;        // French, when none
    QList<int> instances;  // the instances seen (for the message)
};
// The socket of an instance (>= 0) in the first folder that has it; with
// instance -1: "0.sock", or else the only socket there is across the folders.
SocketSearch FindSocket(int instance, const QStringList& folders = ClientSocketFolders());

}  // namespace control
