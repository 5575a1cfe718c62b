#pragma once
// Length of a sound file, read cheaply: from the header of a WAV file, or
// from the container with FFmpeg (no decoding). Blocking: call it on a worker
// thread, never on the event-loop thread.
#include <QString>

namespace platform {

// Milliseconds of sound, or -1 when the file cannot be read as sound.
qint64 MediaDurationMs(const QString& path);
// The WAV part alone: -1 when the file is not a RIFF/WAVE file. A file still
// being written (data size 0 or unset) is measured by its size on disk.
qint64 WavDurationMs(const QString& path);

}  // namespace platform
