// Component error reports and the shared state of the recorders.
#include "settings_fixture.h"

TEST_F(SettingsTest, ComponentErrorsAreFramedOnTheRecorderLine) {
    Trace().SetupLoaded = true;
    AfficherErreurARS(-84, 2, 0, "StartFromDirectSoundDevice", "Frm_Main:BtnRecordOn");
    const QString text = "Err: Encoder failed to start (StartFromDirectSoundDevice)(Frm_Main:BtnRecordOn)";
    QStringList lines = TraceLines();
    lines.removeAll(QString());
    int at = -1;
    for (int k = 0; k < lines.size(); ++k)
        if (lines[k].endsWith(":2: :" + text)) at = k;
    ASSERT_GE(at, 1);
    ASSERT_LT(at + 1, lines.size());
    const QString frame(text.size(), '=');
    EXPECT_TRUE(lines[at - 1].endsWith(":2: :" + frame));
    EXPECT_TRUE(lines[at + 1].endsWith(":2: :" + frame));
}

TEST_F(SettingsTest, OnlyNegativeCodesAreReported) {
    Trace().SetupLoaded = true;
    AfficherErreurARS(0, 1, 0, "RecorderStop", "Frm_Main:BtnStopOn");
    AfficherErreurARS(3, 1, 0, "RecorderStop", "Frm_Main:BtnStopOn");
    EXPECT_FALSE(Traced("(RecorderStop)(Frm_Main:BtnStopOn)"));
    AfficherErreurARS(-95, 1, 0, "RecorderStop", "Frm_Main:BtnStopOn");
    EXPECT_TRUE(Traced("Err: -95 (RecorderStop)(Frm_Main:BtnStopOn)"));
    AfficherErreurARS(-100, 1, 0, "InitRecorder", "Frm_Main:InitPipe");
    EXPECT_TRUE(Traced("Err: An unknown error occurred (InitRecorder)(Frm_Main:InitPipe)"));
}

TEST_F(SettingsTest, FreshSharedStateRegistersTheMainButtons) {
    SetRecordersInService(5);
    EditRecorderConfig(3, [&](RecorderConfig& rc) { rc.RecordFolder = "/x/"; });
    ResetSharedState();
    EXPECT_EQ(RecordersInService(), 1);
    EXPECT_TRUE(Rec(3).config().RecordFolder.isEmpty());
    ASSERT_EQ(S().main.buttons.size(), size_t(3 * kRecorders));
    for (const auto& r : S().main.rec) {
        EXPECT_EQ(r.XPButtonRecord.ButtonType(), 3);
        EXPECT_EQ(r.XPButtonPause.ButtonType(), 3);
        EXPECT_EQ(r.XPButtonStop.ButtonType(), 1);
    }
    // The group rule sees the other buttons of the window.
    XPButton& a = S().main.rec[0].XPButtonRecord;
    XPButton& b = S().main.rec[4].XPButtonRecord;
    a.setGroupe(7);
    b.setGroupe(7);
    a.setChecked(true);
    b.setChecked(true);
    EXPECT_FALSE(a.Checked());
    EXPECT_TRUE(b.Checked());
}
