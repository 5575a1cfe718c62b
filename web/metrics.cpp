#include "web/metrics.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace web {

namespace {

const char* const kStates[] = {"out-of-service", "idle", "waiting", "recording", "paused", "stopping", "failed"};

std::string number(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

double numberOf(const nlohmann::json& j, const char* key, double def = 0) {
    if (!j.contains(key) || !j[key].is_number()) return def;
    return j[key].get<double>();
}

class Writer {
public:
    void family(const std::string& name, const std::string& type, const std::string& help) {
        out_ << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
    }
    void sample(const std::string& name, const std::string& labels, double v) {
        out_ << name;
        if (!labels.empty()) out_ << '{' << labels << '}';
        out_ << ' ' << number(v) << '\n';
    }
    std::string text() const { return out_.str(); }

private:
    std::ostringstream out_;
};

std::string label(const std::string& name, const std::string& value) { return name + "=\"" + EscapeLabel(value) + "\""; }

}  // namespace

std::string EscapeLabel(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string RenderMetrics(const MetricsInput& in) {
    Writer w;
    const std::string inst = label("instance_number", std::to_string(in.instance));
    const bool up = in.link.state == LinkState::Up && in.link.status.is_object();

    w.family("quillon_web_info", "gauge", "The web console, by version.");
    w.sample("quillon_web_info", label("version", in.webVersion) + "," + inst, 1);
    w.family("quillon_web_event_streams", "gauge", "Status pages open (event streams).");
    w.sample("quillon_web_event_streams", inst, in.streams);
    w.family("quillon_web_level_subscriptions_total", "counter",
             "Times the recorder program was asked for levels (once however many pages are open).");
    w.sample("quillon_web_level_subscriptions_total", inst, double(in.levelSubscriptions));

    w.family("quillon_recorder_up", "gauge", "1 when the recorder program answers on its control socket.");
    w.sample("quillon_recorder_up", inst + "," + label("link", LinkStateName(in.link.state)), up ? 1 : 0);
    if (up && in.link.greeting.is_object()) {
        const auto& program = in.link.status.value("program", nlohmann::json::object());
        const std::string version = program.value("version", in.link.greeting.value("version", std::string()));
        w.family("quillon_recorder_info", "gauge", "The recorder program, by version.");
        w.sample("quillon_recorder_info", label("version", version) + "," + inst, 1);
        w.family("quillon_recorder_startup_done", "gauge", "1 once the recorder program has finished starting.");
        w.sample("quillon_recorder_startup_done", inst, program.value("startup_done", false) ? 1 : 0);
    }
    if (!up) return w.text();

    const auto& recorders = in.link.status.value("recorders", nlohmann::json::array());
    struct Row { std::string labels; const nlohmann::json* r; };
    std::vector<Row> rows;
    for (const auto& r : recorders) {
        if (!r.is_object() || !r.value("in_service", false)) continue;
        rows.push_back({inst + "," + label("recorder", std::to_string(r.value("recorder", 0))) + "," +
                            label("label", r.value("label", std::string())),
                        &r});
    }

    w.family("quillon_recorder_state", "gauge", "1 for the state each recorder in service is in.");
    for (const auto& row : rows)
        for (const char* s : kStates)
            w.sample("quillon_recorder_state", row.labels + "," + label("state", s), row.r->value("state", "") == s ? 1 : 0);
    auto gauge = [&](const char* name, const char* type, const char* help, auto value) {
        w.family(name, type, help);
        for (const auto& row : rows) w.sample(name, row.labels, value(*row.r));
    };
    gauge("quillon_recorder_writing", "gauge", "1 while a file is being written.",
          [](const nlohmann::json& r) { return r.value("writing", false) ? 1.0 : 0.0; });
    gauge("quillon_recorder_recording_seconds", "gauge", "Seconds recorded into the file being written (0: none).",
          [](const nlohmann::json& r) { return numberOf(r, "elapsed_s"); });
    gauge("quillon_recorder_file_bytes", "gauge", "Size of the file being written.",
          [](const nlohmann::json& r) { return numberOf(r, "file_bytes"); });
    gauge("quillon_recorder_written_bytes_total", "counter", "Bytes written by the recorder since the program started.",
          [](const nlohmann::json& r) { return numberOf(r, "bytes_written"); });
    gauge("quillon_recorder_silence_active", "gauge", "1 while the silence alarm is on.",
          [](const nlohmann::json& r) { return r.value("silence", false) ? 1.0 : 0.0; });
    gauge("quillon_recorder_silence_seconds", "gauge", "Length of the current silence.",
          [](const nlohmann::json& r) { return numberOf(r, "silence_s"); });
    gauge("quillon_recorder_overruns_total", "counter", "Capture overruns since the program started.",
          [](const nlohmann::json& r) { return numberOf(r, "overruns"); });
    gauge("quillon_recorder_samples_lost_total", "counter", "Samples lost since the program started.",
          [](const nlohmann::json& r) { return numberOf(r, "samples_lost"); });
    gauge("quillon_recorder_device_present", "gauge", "1 when the recorder's input device is there.",
          [](const nlohmann::json& r) { return r.value("device_present", false) ? 1.0 : 0.0; });

    // Per folder: its free bytes, and the shortest recording time left of
    // the recorders writing there.
    std::map<std::string, std::pair<double, double>> folders;
    for (const auto& row : rows) {
        const std::string folder = row.r->value("folder", std::string());
        if (folder.empty() || !row.r->contains("free_bytes")) continue;
        auto& f = folders.try_emplace(folder, numberOf(*row.r, "free_bytes"), NAN).first->second;
        if (row.r->contains("seconds_left")) {
            const double left = numberOf(*row.r, "seconds_left");
            f.second = std::isnan(f.second) ? left : std::min(f.second, left);
        }
    }
    w.family("quillon_folder_free_bytes", "gauge", "Free bytes on the drive of each recording folder.");
    for (const auto& [folder, f] : folders) w.sample("quillon_folder_free_bytes", inst + "," + label("folder", folder), f.first);
    w.family("quillon_folder_seconds_left", "gauge", "Recording time left in each folder (shortest of its recorders).");
    for (const auto& [folder, f] : folders)
        if (!std::isnan(f.second)) w.sample("quillon_folder_seconds_left", inst + "," + label("folder", folder), f.second);

    w.family("quillon_incidents_total", "counter", "Incidents of this run of the recorder program, by kind.");
    for (const char* kind : {"silence", "gap", "device", "disk", "failure", "other"}) {
        const auto it = in.link.incidentsByKind.find(kind);
        w.sample("quillon_incidents_total", inst + "," + label("kind", kind),
                 double(it == in.link.incidentsByKind.end() ? 0 : it->second));
    }
    return w.text();
}

}  // namespace web
