#pragma once
// The console's /metrics page, in Prometheus' text exposition format (0.0.4).
#include "web/recorder_link.h"

#include <string>

namespace web {

struct MetricsInput {
    LinkSnapshot link;
    std::string webVersion;
    int instance = 0;
    int streams = 0;                  // open event streams (pages)
    uint64_t levelSubscriptions = 0;  // times the recorder was asked for levels
};

std::string RenderMetrics(const MetricsInput& in);
// A label value escaped as the format wants (backslash, quote, newline).
std::string EscapeLabel(const std::string& value);

}  // namespace web
