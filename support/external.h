#pragma once
// Documents and programs handed to the operating system.
#include <QString>
#include <functional>

qint32 ExecuterProgrammeExterne(const QString& operation, const QString& file, const QString& parameters,
                                const QString& directory, qint32 showCommand);
// Exit code of the process once it has ended (259 while it still runs):
// waits in the event loop, at most timeoutMs (-1 no limit), and stops early
// when giveUp() turns true.
qint32 AttenteFinProcessusExterne(qint64 processId, qint32& timeoutMs,
                                  const std::function<bool()>& giveUp = {});
