#pragma once
// Trace log: timestamped lines collected in on-screen holders and appended to
// one log file per day, with a header block, a 45-day purge and the incident
// list.
#include <QString>
#include <QStringList>
#include <functional>

struct TraceState {
    QStringList ListeLogTemp;      // start-up buffer, until the setup window is loaded
    QStringList ListeLog;          // pending lines; emptied by each flush
    QStringList ListeIncidents;    // incident list (capped at 1000 lines)
    bool CheckIncidents = false;   // incident indicator
    bool SetupLoaded = false;
    QString LogFolder;             // ends with "/"
    QString LastHeaderDay;
    QString LastLogPurgeDay;
    bool Warned45 = false;
    bool Warned48 = false;
    QString AsrecmmsVersion;       // version of the capture engine
    bool InErrorManager = false;
    // Called after the holders changed (windows refresh their lists).
    std::function<void()> OnChanged;
};

TraceState& Trace();
void ResetTraceState();  // tests

void TraceLog(int column1, int column2, int column3, const QString& text, bool incident = false,
              bool flush = false);
void TraceLogEncadre(int column1, int column2, int column3, const QString& text, const QString& frameChar,
                     bool incident = false);
// Appends Lines to LogFolder + FileName + ".Log" (FileName "" means today's D2S,
// written back to the caller), writes the header block on a new day, purges
// old files once a day, and clears Lines.
void TraceLogForce(QStringList& lines, QString& fileName, bool yesterday);
// Convenience: flush ListeLog to today's file.
void TraceLogFlushPending();

// The prefix of a trace line for the given columns, at the current time.
QString TracePrefix(int column1, int column2, int column3);
// The uptime text of the header block for a number of milliseconds.
QString UptimeText(qint64 ms);
