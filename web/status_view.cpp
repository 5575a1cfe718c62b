#include "web/status_view.h"

namespace web {

nlohmann::json StatusView(const LinkSnapshot& s) {
    nlohmann::json view = {{"link", {{"state", LinkStateName(s.state)}, {"detail", s.detail}}}};
    if (s.state != LinkState::Up || !s.status.is_object()) {
        view["recorders"] = nlohmann::json::array();
        return view;
    }
    view["age_ms"] = s.statusAgeMs;
    const auto program = s.status.value("program", nlohmann::json::object());
    view["program"] = {{"version", program.value("version", std::string())},
                       {"instance", program.value("instance", 0)},
                       {"startup_done", program.value("startup_done", true)},
                       {"closing", program.value("closing", false)}};
    nlohmann::json recorders = nlohmann::json::array();
    for (const auto& r : s.status.value("recorders", nlohmann::json::array()))
        if (r.is_object() && r.value("in_service", false)) recorders.push_back(r);
    view["recorders"] = std::move(recorders);
    return view;
}

}  // namespace web
