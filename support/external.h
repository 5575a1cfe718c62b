#pragma once
// Documents and programs handed to the operating system.
#include <QString>

qint32 ExecuterProgrammeExterne(const QString& operation, const QString& file, const QString& parameters,
                                const QString& directory, qint32 showCommand);
qint32 AttenteFinProcessusExterne(qint64 processId, qint32& timeoutMs);
