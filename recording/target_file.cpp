#include "recording/target_file.h"

#include "platform/capture/active_sound_recorder.h"
#include "recording/recording.h"
#include "support/file_names.h"
#include "support/files.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <filesystem>
#include <system_error>

namespace {

void Trace(int i, const QString& text) { TraceLog(-1, i, -1, text); }

// The extension of what the encoder writes: a start at 128 kbit/s records MP3
// whatever the recorder's format.
QString FormatExtension(const Recorder& r, bool force128k) {
    return force128k ? ExtensionFormat(2) : ExtensionFormat(r.config().FormatIndex);
}

QString GeneratedName(const Recorder& r, QString& folder, bool askUser, CommandOrigin origin) {
    return EvalueNomFichier(r.NextFileName(folder, askUser, origin));
}

bool RecordsToFile(const Recorder& r) {
    return r.config().RecordKind() != RecordKindNoFile && r.engine() && r.engine()->Encoder().FormatToUse != 0;
}

}  // namespace

QString SafeFileName(QString name) {
    name = StripControlCharacters(name);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    while (name.contains(QStringLiteral(".."))) name.remove(QStringLiteral(".."));
    return name;
}

QString SafeExtension(QString ext) {
    ext = StripControlCharacters(ext);
    ext.remove(QLatin1Char('/'));
    ext.remove(QLatin1Char('\\'));
    while (ext.contains(QStringLiteral(".."))) ext.replace(QStringLiteral(".."), QStringLiteral("."));
    return ext;
}

QString FolderInside(const QString& recorderFolder, const QString& relative) {
    const QString base = QDir::cleanPath(recorderFolder);
    const QString joined = QDir::cleanPath(base + QLatin1Char('/') + relative);
    if (joined != base && !joined.startsWith(base == QStringLiteral("/") ? base : base + QLatin1Char('/'))) return {};
    return joined.endsWith(QLatin1Char('/')) ? joined : joined + QLatin1Char('/');
}

Target BuildTarget(const Recorder& r, const StartRequest& request, bool askUser) {
    Target t;
    const RecorderConfig& c = r.config();
    const int i = r.index();
    const bool force = request.Force128k;
    switch (c.RecordKind()) {
    case RecordKindNoFile:
        break;
    case RecordKindLogging: {
        t.folder = c.RecordFolder;
        t.name = GeneratedName(r, t.folder, askUser, request.Origin);
        t.folderFromRecordFolder = t.folder == c.RecordFolder;
        t.ext = FormatExtension(r, force);
        break;
    }
    default: {
        if (!request.Path.trimmed().isEmpty()) {
            const PathPieces p = EclateRepFicExt(request.Path);
            t.folder = p.PathFolder;
            t.name = p.PathBaseName;
            // A path given without extension gets the one of the format.
            t.ext = p.PathExtension.isEmpty() ? FormatExtension(r, force) : p.PathExtension;
            t.fromPending = true;
        } else {
            t.folder = c.RecordFolder;
            const QString peripheral = c.PeripheralFile;
            if (!peripheral.trimmed().isEmpty() && request.Remote()) {
                t.name = peripheral.trimmed();
            } else {
                t.name = GeneratedName(r, t.folder, askUser, request.Origin);
            }
            t.folderFromRecordFolder = t.folder == c.RecordFolder;
            t.ext = FormatExtension(r, force);
        }
        if (!request.Folder.isEmpty()) {
            t.folder = request.Folder;
            t.folderFromRecordFolder = false;
            t.fromPending = false;
        }
        if (!request.Extension.isEmpty()) t.ext = request.Extension;
        if (!request.Name.isEmpty()) {
            // A given name with nothing usable left keeps the recorder's own.
            if (SafeFileName(request.Name).trimmed().isEmpty())
                Trace(i, QStringLiteral("File name given has no usable character: recorder's own name kept: ") + t.name);
            else
                t.name = request.Name;
        }
        // A path given without its folder, or with a relative one, stays
        // inside the recorder's folder: it may not climb out of it.
        if (!t.folder.isEmpty() && !QDir::isAbsolutePath(t.folder) && QDir::isAbsolutePath(c.RecordFolder)) {
            const QString inside = FolderInside(c.RecordFolder, t.folder);
            if (inside.isEmpty())
                t.refused = QStringLiteral("the folder ") + t.folder + QStringLiteral(" leaves the recorder's folder ") +
                            c.RecordFolder;
            t.folder = inside;
        } else if (t.folder.isEmpty() && (t.fromPending || !request.Folder.isEmpty())) {
            t.folder = c.RecordFolder;
        }
        if (!t.folder.isEmpty() && !t.folder.endsWith(QLatin1Char('/'))) t.folder += QLatin1Char('/');
        break;
    }
    }
    t.ext = SafeExtension(t.ext);
    t.name = SafeFileName(t.name);
    t.base = t.name;
    return t;
}

QString PrepareTarget(const Recorder& r, Target& t, bool quiet) {
    const int i = r.index();
    const RecorderHealth& h = r.health();
    if (h.WaitingForDevice) return h.MissingDevice.isEmpty() ? SoundServerMissingText() : DeviceMissingText(h.MissingDevice);
    if (!RecordsToFile(r)) return {};
    if (!t.refused.isEmpty()) return t.refused;
    const QString refused = DestinationFolderRefusal(t.folder);
    if (!refused.isEmpty()) return refused;
    std::error_code ec;
    const std::filesystem::path folder(QFile::encodeName(t.folder).toStdString());
    if (!std::filesystem::is_directory(folder, ec)) {
        ec.clear();
        std::filesystem::create_directories(folder, ec);
        if (ec) return QStringLiteral("cannot create the folder ") + t.folder + QStringLiteral(": ") +
                       QString::fromLocal8Bit(ec.message().c_str());
        Trace(i, QStringLiteral("Folder created: ") + t.folder);
    }
    const NewFilePath p = NewFileIn(t.folder, t.base, t.ext, t.suffix);
    if (p.shortened && !quiet)
        Trace(i, QStringLiteral("File name shortened to fit the file system: ") + p.name + t.ext);
    if (p.suffix > 1 && !quiet)
        Trace(i, QStringLiteral("File exists: ") + t.folder + t.base + t.ext + QStringLiteral(", recording into ") +
                     p.path);
    t.name = p.name;
    t.suffix = p.suffix;
    return {};
}

bool NameCancelsStart(const Recorder& r, const Target& t) {
    const int kind = r.config().RecordKind();
    return (kind == RecordKindLogging || kind == RecordKindOrdinary) && t.name.trimmed().isEmpty();
}
