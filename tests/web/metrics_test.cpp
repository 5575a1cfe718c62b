// The /metrics text: what it says of a status, escaping, and the format
// checked by Prometheus' own promtool when it is installed.
#include "web/metrics.h"
#include "web_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace web;

namespace {
MetricsInput sample() {
    MetricsInput in;
    in.link.state = LinkState::Up;
    in.link.greeting = {{"protocol", 1}, {"version", "2026.1211.1628"}, {"pid", 4242}};
    in.link.status = webtest::SampleStatus();
    in.link.incidentsByKind = {{"silence", 3}, {"gap", 1}};
    in.webVersion = "2026.1212.0900";
    in.instance = 1;
    in.streams = 2;
    in.levelSubscriptions = 1;
    return in;
}

bool hasLine(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos || text.rfind(line + "\n", 0) == 0;
}

std::string promtool(const std::string& text, int* rc) {
    webtest::TempDir dir;
    std::ofstream(dir / "m.txt") << text;
    const std::string cmd = "promtool check metrics < " + (dir / "m.txt") + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && std::fgets(buf, sizeof buf, p)) out += buf;
    *rc = p ? ::pclose(p) : -1;
    return out;
}
}  // namespace

TEST(Metrics, StatusBecomesSamplesPerRecorderFolderAndKind) {
    const std::string text = RenderMetrics(sample());
    const std::string r1 = R"(instance_number="1",recorder="1",label="Antenne \"A\"")";
    EXPECT_TRUE(hasLine(text, R"(quillon_recorder_up{instance_number="1",link="up"} 1)")) << text;
    EXPECT_TRUE(hasLine(text, R"(quillon_recorder_info{version="2026.1211.1628",instance_number="1"} 1)"));
    EXPECT_TRUE(hasLine(text, R"(quillon_web_info{version="2026.1212.0900",instance_number="1"} 1)"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_state{" + r1 + R"(,state="recording"} 1)"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_state{" + r1 + R"(,state="idle"} 0)"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_recording_seconds{" + r1 + "} 1925.4000000000001") ||
                hasLine(text, "quillon_recorder_recording_seconds{" + r1 + "} 1925.4"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_written_bytes_total{" + r1 + "} 46209600"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_silence_active{" + r1 + "} 0"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_overruns_total{" + r1 + "} 2"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_samples_lost_total{" + r1 + "} 480"));
    EXPECT_TRUE(hasLine(text, "quillon_recorder_device_present{" + r1 + "} 1"));
    EXPECT_TRUE(hasLine(text, R"(quillon_folder_free_bytes{instance_number="1",folder="/srv/audio/Antenne/"} 512000000000)"));
    EXPECT_TRUE(hasLine(text, R"(quillon_folder_seconds_left{instance_number="1",folder="/srv/audio/Antenne/"} 21333333)"));
    EXPECT_TRUE(hasLine(text, R"(quillon_incidents_total{instance_number="1",kind="silence"} 3)"));
    EXPECT_TRUE(hasLine(text, R"(quillon_incidents_total{instance_number="1",kind="disk"} 0)"));
    EXPECT_TRUE(hasLine(text, R"(quillon_web_event_streams{instance_number="1"} 2)"));
    // A recorder out of service has no samples.
    EXPECT_EQ(text.find(R"(recorder="2")"), std::string::npos);
}

TEST(Metrics, RecorderAwaySaysSoAndNothingStale) {
    MetricsInput in = sample();
    in.link.state = LinkState::NotAnswering;
    const std::string text = RenderMetrics(in);
    EXPECT_TRUE(hasLine(text, R"(quillon_recorder_up{instance_number="1",link="not-answering"} 0)")) << text;
    EXPECT_EQ(text.find("quillon_recorder_state"), std::string::npos);
    EXPECT_EQ(text.find("quillon_folder_free_bytes"), std::string::npos);
}

TEST(Metrics, LabelsAreEscaped) {
    EXPECT_EQ(EscapeLabel("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    EXPECT_EQ(IncidentKind("Rec. 1 (Antenne): silence for 30 s, input below -50 dBFS"), "silence");
    EXPECT_EQ(IncidentKind("Rec. 1: recording resumed after a gap of 2.1 s (1 attempt(s))"), "gap");
    EXPECT_EQ(IncidentKind("Rec. 2: device absent"), "device");
    EXPECT_EQ(IncidentKind("Rec. 3: disk full"), "disk");
    EXPECT_EQ(IncidentKind("Rec. 3: encoder failed"), "failure");
    EXPECT_EQ(IncidentKind("Something else"), "other");
}

TEST(Metrics, PromtoolAcceptsTheText) {
    if (std::system("command -v promtool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
    for (LinkState state : {LinkState::Up, LinkState::NotRunning}) {
        MetricsInput in = sample();
        in.link.state = state;
        int rc = -1;
        const std::string out = promtool(RenderMetrics(in), &rc);
        EXPECT_EQ(rc, 0) << out;
        EXPECT_EQ(out, "") << "lint complaints:\n" << out;
    }
    // promtool does find faults: a sample without its family's type line.
    int rc = 0;
    const std::string out = promtool("quillon bad line\n", &rc);
    EXPECT_NE(rc, 0) << out;
}
