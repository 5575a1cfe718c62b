#pragma once
// quillon-ctl follow: the program's events as they come, until Ctrl-C.
#include "options.h"

class QCoreApplication;
namespace control {
class ControlClient;
}

namespace ctl {

// Subscribes, then prints each event until SIGINT or SIGTERM (exit 0) or
// until the program closes the connection (exit 3).
int Follow(QCoreApplication& app, control::ControlClient& client, const Options& options);

}  // namespace ctl
