#include "support/incident_log.h"

#include "support/clock.h"

void IncidentLog::Add(int recorder, const QString& text) {
    IncidentRecord r;
    r.Seq = next_++;
    r.Time = CurrentClock().now();
    r.Recorder = recorder;
    r.Text = text;
    records_.push_back(r);
    while (records_.size() > kKept) records_.pop_front();
    if (Added) Added(r);
}

QList<IncidentRecord> IncidentLog::Last(int count) const {
    if (count >= records_.size()) return records_;
    return records_.mid(records_.size() - count);
}

IncidentRecord IncidentLog::LastOf(int recorder) const {
    for (auto it = records_.crbegin(); it != records_.crend(); ++it)
        if (it->Recorder == recorder) return *it;
    return {};
}

bool IncidentLog::Acknowledge(qint64 seq, bool all) {
    bool found = false;
    for (IncidentRecord& r : records_) {
        if (all ? r.Seq <= seq : r.Seq == seq) {
            r.Acknowledged = true;
            found = true;
        }
    }
    return found;
}

void IncidentLog::Clear() {
    records_.clear();
    next_ = 1;
}

IncidentLog& IncidentList() {
    static IncidentLog log;
    return log;
}
