#pragma once
// Waits of the remote-control code measured on the program's clock
// (CurrentClock().tickMs()), so that tests can run them on a faster clock.
#include <QtGlobal>
#include <functional>

namespace remote_detail {

// Blocks in the event loop until done() (when given) is true or ms
// milliseconds of the clock's ticks have passed: "at least ms", or "more than
// ms" when strictlyMore. Returns whether done() ended the wait. A real-time
// bound of ms + 1 s keeps a stopped test clock from holding it for ever.
bool WaitTicks(qint64 ms, const std::function<bool()>& done = {}, bool strictlyMore = false);

}  // namespace remote_detail
