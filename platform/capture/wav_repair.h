#pragma once
// Closing what can be closed of a WAV file whose writing failed (disk full,
// I/O error): the sizes of its header are set to the samples that reached
// the disk, in place, without writing anything else, so that the file reads
// as what was recorded up to the failure.
#include <QString>

namespace platform::capture {

// Rewrites the RIFF size and the data chunk size of a RIFF/WAVE file from its
// length on disk (data cut to whole sample frames). A file of more than
// 4 GiB keeps 0xFFFFFFFF sizes (read to the end). True when the header was
// found and written; else false with a text.
bool RepairWavHeader(const QString& path, QString* errorText);

}  // namespace platform::capture
