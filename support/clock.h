#pragma once
// Time source of the whole program. Everything that asks "what time is it"
// (slices, planning, retention, trace lines) goes through CurrentClock(), so
// that tests can run the logic at any date and hour.
#include <QDateTime>
#include <QtGlobal>

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time, with milliseconds.
    virtual QDateTime now() const = 0;
    // Milliseconds since the computer started (monotonic).
    virtual qint64 tickMs() const = 0;
};

// The system clock in local time; ticks from the boot-time counter.
class SystemClock : public Clock {
public:
    QDateTime now() const override;
    qint64 tickMs() const override;
};

// A clock that only moves when told to; for tests.
class ManualClock : public Clock {
public:
    explicit ManualClock(const QDateTime& start, qint64 startTick = 1000000)
        : now_(start), tick_(startTick) {}
    QDateTime now() const override { return now_; }
    qint64 tickMs() const override { return tick_; }
    void set(const QDateTime& t) { now_ = t; }
    void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); tick_ += ms; }
    void setTick(qint64 t) { tick_ = t; }
private:
    QDateTime now_;
    qint64 tick_;
};

Clock& CurrentClock();
// Installs a clock (not owned); nullptr puts the system clock back.
void SetClock(Clock* clock);

// RAII helper for tests.
class ScopedClock {
public:
    explicit ScopedClock(Clock* c) { SetClock(c); }
    ~ScopedClock() { SetClock(nullptr); }
};
