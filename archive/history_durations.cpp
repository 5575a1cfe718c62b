#include "archive/history_durations.h"

#include "archive/history.h"
#include "platform/media_probe.h"

#include <QCoreApplication>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace history_durations {

namespace {

struct Key {
    qint64 mtimeMs;
    qint64 size;
    qint64 durationMs;
};

struct Job {
    QString path;
    qint64 mtimeMs;
    qint64 size;
    std::function<void(qint64)> done;
};

class Worker {
public:
    ~Worker() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
            jobs_.clear();
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    void push(Job job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(job));
            if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        }
        wake_.notify_one();
    }
    int pending() {
        std::lock_guard<std::mutex> lock(mutex_);
        return int(jobs_.size()) + (busy_ ? 1 : 0);
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.clear();
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
            if (quit_) return;
            // Newest first: the rows the operator is looking at now.
            Job job = std::move(jobs_.back());
            jobs_.pop_back();
            busy_ = true;
            lock.unlock();
            const qint64 ms = platform::MediaDurationMs(job.path);
            QObject* app = QCoreApplication::instance();
            if (app) {
                QMetaObject::invokeMethod(
                    app, [job = std::move(job), ms] { job.done(ms < 0 ? kDurationNone : ms); }, Qt::QueuedConnection);
            }
            lock.lock();
            busy_ = false;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::thread thread_;
    bool quit_ = false;
    bool busy_ = false;
};

Worker& TheWorker() {
    static Worker worker;
    return worker;
}

QHash<QString, Key>& Cache() {
    static QHash<QString, Key> cache;
    return cache;
}

}  // namespace

qint64 Cached(const QString& path, qint64 mtimeMs, qint64 size) {
    const auto it = Cache().constFind(path);
    if (it == Cache().constEnd() || it->mtimeMs != mtimeMs || it->size != size) return kDurationUnknown;
    return it->durationMs;
}

void Request(const QString& path, qint64 mtimeMs, qint64 size, std::function<void(qint64)> done) {
    TheWorker().push({path, mtimeMs, size, [path, mtimeMs, size, done = std::move(done)](qint64 ms) {
                          Cache().insert(path, {mtimeMs, size, ms});
                          if (done) done(ms);
                      }});
}

void Forget(const QString& path) { Cache().remove(path); }

int Pending() { return TheWorker().pending(); }

void Reset() {
    TheWorker().clear();
    Cache().clear();
}

}  // namespace history_durations
