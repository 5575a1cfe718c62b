// The program's time source.
#include "support/clock.h"

#include "platform/os.h"

namespace {
Clock* g_clock = nullptr;  // installed clock, not owned
}

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

qint64 SystemClock::tickMs() const { return platform::BootTimeMs(); }

Clock& CurrentClock() {
    static SystemClock system;
    return g_clock ? *g_clock : system;
}

void SetClock(Clock* clock) { g_clock = clock; }
