#include "remote/clock_wait.h"

#include "platform/os.h"
#include "support/clock.h"

namespace remote_detail {

bool WaitTicks(qint64 ms, const std::function<bool()>& done, bool strictlyMore) {
    const qint64 start = CurrentClock().tickMs();
    auto over = [&] {
        const qint64 elapsed = CurrentClock().tickMs() - start;
        return strictlyMore ? elapsed > ms : elapsed >= ms;
    };
    bool finished = false;
    platform::WaitInEventLoop(
        [&] {
            if (done && done()) finished = true;
            return finished || over();
        },
        int(qBound<qint64>(0, ms + 1000, qint64(0x7fffffff))));
    return finished;
}

}  // namespace remote_detail
