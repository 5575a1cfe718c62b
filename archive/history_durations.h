#pragma once
// Lengths of the files shown in the history grids, read on one worker thread
// (WAV header, or the container's duration with FFmpeg) and kept by path,
// modification time and size, so that a file is read once while it does not
// change. The worker sleeps while nothing is asked.
#include <QString>
#include <functional>

namespace history_durations {

// Known length of this version of the file, or kDurationUnknown.
qint64 Cached(const QString& path, qint64 mtimeMs, qint64 size);
// Asks for the length; `done` runs on the event-loop thread with the result
// (kDurationNone when unreadable). The latest requests are served first.
void Request(const QString& path, qint64 mtimeMs, qint64 size, std::function<void(qint64)> done);
// A file gone from its folder.
void Forget(const QString& path);
// Requests not yet served (tests, benchmarks).
int Pending();
// Forgets the cache and the waiting requests (tests).
void Reset();

}  // namespace history_durations
