#pragma once
// Operating-system services, in the form the rest of the program expects
// them. See the platform table of the README for the mapping.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace platform {

// The configurable drive root: $VELMORA_DRIVE (a folder, ends with "/"),
// default the user's home folder.
QString DriveRoot();
// <drive>Windows/ : Win.ini and older settings files.
QString WindowsFolder();
// <drive>Windows/System32/ : where the shared component files are looked for.
QString SystemFolder();

// Milliseconds since boot (CLOCK_BOOTTIME).
qint64 BootTimeMs();
// Local wall-clock time in milliseconds since the epoch (system clock).
qint64 WallClockMs();

QString ComputerName();
// This computer's IPv4 address as others reach it: the first IPv4 address
// that the lookup of the computer's name returns, unless that is a loopback
// address and a network interface is up: then the first IPv4 address of such
// an interface. 127.0.0.1 when there is none.
QString HostAddress();
// The first IPv4 address that the lookup of the computer's name returns, else 127.0.0.1.
QString LookedUpHostAddress();
// Distribution name and release + ", 64-bit" (or ", 32-bit").
QString OsDisplayString();
bool Is64BitOs();
// "FRB", "FRL", "FRM", "FRS", "FRA", others their own three letters, from
// LC_ALL / LC_TIME / LANG.
QString LocaleAbbreviation();

// Disk shares of the Samba configuration ($VELMORA_SMB_CONF, default
// /etc/samba/smb.conf); none when there is no such file.
struct Share {
    QString name;
    int type = 0;  // 0 = disk
    QString path;  // local path
};
QList<Share> NetShares();

struct VolumeSpace {
    bool ok = false;
    quint64 total = 0;
    quint64 free = 0;
};
VolumeSpace VolumeSpaceOf(const QString& path);

// Shell file operations, returning the shell result codes (0 success,
// 2 not found, 32 in use, 53 folder not found, 113 same file, 1026 source
// missing, ...). Source paths of delete may hold wildcards in the file name.
int ShellCopy(const QString& source, const QString& target);
int ShellDelete(const QString& path);

// Windows file-name wildcards: "*" any run of characters, "?" one character,
// case ignored; "*.*" matches every name.
bool WildcardMatch(const QString& pattern, const QString& name);
// Full paths of the entries designated by path, whose file-name part may hold
// wildcards (hidden entries included, "." and ".." never), sorted by name;
// files only unless includeFolders. A path without wildcards gives itself
// when it exists.
QStringList FindFiles(const QString& path, bool includeFolders);
// Folder (ending with "/") where the volume holding path is mounted; path
// need not exist yet (its nearest existing parent counts). "" when unknown.
QString VolumeRootOf(const QString& path);

// Shell "Open" of a document or program; returns > 32 on success, else the
// shell codes (2 file not found, 3 path not found, 31 no association, ...).
// "Notepad.exe" is the desktop's text editor.
int ShellOpen(const QString& operation, const QString& file, const QString& parameters, const QString& directory);

// Process start and exit code (259 while it still runs, -1 unknown process).
qint64 StartProcess(const QString& program, const QStringList& arguments);
int ProcessExitCode(qint64 pid);

// A named lock held for the life of the process (result not checked).
void CreateNamedLock(const QString& name);
// The folder of the run's locks: $XDG_RUNTIME_DIR, else /tmp; ends with "/".
QString RuntimeFolder();
// A lock held by this process for as long as it lives: the kernel releases
// it when the process ends, however it ends (kill -9 included). False when
// another living process holds it; *holder then names that process ("process
// 1234"), or the system's error when the lock file cannot be opened. A
// refused call changes nothing on disk.
bool AcquireProcessLock(const QString& path, QString* holder);

// Registry values under HKEY_LOCAL_MACHINE, kept in
// <drive>Windows/Registry/HKEY_LOCAL_MACHINE.ini.
QString RegistryRead(const QString& keyPath, const QString& valueName);
bool RegistryWrite(const QString& keyPath, const QString& valueName, const QString& value);

// Lets pending events of the Qt event loop run, once.
void LetEventsRun();
// Blocks in the event loop for ms milliseconds, running events as they come.
void LetEventsRunFor(int ms);
// Blocks in the event loop until done() is true or timeoutMs passed
// (timeoutMs < 0: no limit). Returns done(). Never spins the processor.
bool WaitInEventLoop(const std::function<bool()>& done, int timeoutMs);

// Where the platform layer's own notices go (the program routes them to the trace log).
void SetNoticeHook(std::function<void(const QString&)> hook);
void Notice(const QString& text);

}  // namespace platform
