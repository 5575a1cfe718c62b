#pragma once
// What the status page receives: the link's state and, while the recorder
// program answers, its recorders in service as its status gives them.
#include "web/recorder_link.h"

#include <nlohmann/json.hpp>

namespace web {

nlohmann::json StatusView(const LinkSnapshot& snapshot);

}  // namespace web
