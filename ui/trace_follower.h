#pragma once
// Follows the trace log's list of recent lines (Trace().ListeLog), which is
// emptied each time the lines are written out: what follows the lines seen
// last time is new; a list that no longer starts with them was emptied, and
// all of it is new. The new lines wait here (the last `kept` of them) until
// a window takes them.
#include <QStringList>

namespace ui {

class TraceFollower {
public:
    explicit TraceFollower(int kept = 2000) : kept_(kept) {}

    void follow(const QStringList& log) {
        const qsizetype seen = lastSeen_.size();
        const bool continued = log.size() >= seen && (seen == 0 || log[seen - 1] == lastSeen_.back());
        pending_ += continued ? log.mid(seen) : log;
        lastSeen_ = log;
        if (pending_.size() > kept_) pending_ = pending_.mid(pending_.size() - kept_);
    }
    const QStringList& pending() const { return pending_; }
    QStringList take() {
        QStringList lines;
        lines.swap(pending_);
        return lines;
    }

private:
    int kept_;
    QStringList lastSeen_;
    QStringList pending_;
};

}  // namespace ui
