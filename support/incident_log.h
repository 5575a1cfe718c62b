#pragma once
// The incidents of this run as records: a number, the moment, the recorder
// (-1 for the program itself), the text as the incident list shows it, and
// whether somebody has acknowledged it. The trace log adds one for every
// incident line; the control socket and the web console read them.
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

struct IncidentRecord {
    qint64 Seq = 0;
    QDateTime Time;
    int Recorder = -1;
    QString Text;
    bool Acknowledged = false;
};

class IncidentLog {
public:
    static constexpr int kKept = 1000;
    void Add(int recorder, const QString& text);
    // The last `count`, oldest first.
    QList<IncidentRecord> Last(int count) const;
    // The newest incident of a recorder (Seq 0 when none).
    IncidentRecord LastOf(int recorder) const;
    // Marks one incident (or every one up to `seq` when all) as seen;
    // false when there is no such incident.
    bool Acknowledge(qint64 seq, bool all);
    qint64 Count() const { return next_ - 1; }
    // Called for each incident added (the control socket publishes it).
    std::function<void(const IncidentRecord&)> Added;
    void Clear();

private:
    QList<IncidentRecord> records_;
    qint64 next_ = 1;
};

IncidentLog& IncidentList();
