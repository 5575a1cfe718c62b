// History grids read from real folders, and the retention purge of the
// logging slices.
#include "archive/history.h"

#include "core/main_controls.h"
#include "ui/setup/frm_setup.h"
#include "support/clock.h"
#include "support/tracelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class HistoryTest : public ::testing::Test {
protected:
    QTemporaryDir sandbox;
    ManualClock clock{QDateTime(QDate(2024, 1, 31), QTime(0, 0, 0))};
    QString folder;

    void SetUp() override {
        ASSERT_TRUE(sandbox.isValid());
        qputenv("VELMORA_DRIVE", (sandbox.path() + "/").toUtf8());
        SetClock(&clock);
        ResetTraceState();
        ResetSharedState();
        ResetSetupControls();
        ResetHistoryGrids();
        InitGeneralGridHisto();
        folder = sandbox.path() + QStringLiteral("/Pige/");
        QDir().mkpath(folder);
        EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.RecordFolder = folder; });
    }
    void TearDown() override { SetClock(nullptr); }

    QString Make(const QString& name, const QDateTime& modified = {}) {
        const QString path = folder + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("sound");
        f.flush();
        if (modified.isValid()) {
            EXPECT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        f.close();
        return path;
    }

    QStringList Traces() {
        QStringList all = Trace().ListeLogTemp;
        all += Trace().ListeLog;
        return all;
    }
    bool Traced(const QString& text) {
        for (const QString& l : Traces())
            if (l.endsWith(text)) return true;
        return false;
    }
};

}  // namespace

TEST_F(HistoryTest, GridsAreLaidOutWithTheirSevenColumnsThenLengthAndSize) {
    const HistoryGrid& grid = MSFlexGridHisto(3);
    EXPECT_EQ(grid.FormatString, QStringLiteral("^Date|^HH|^MM|^SS|Fichier||<Fichier"));
    EXPECT_EQ(grid.Header,
              (std::array<QString, 9>{"Date", "HH", "MM", "SS", "Fichier", "", "Fichier", "Durée", "Taille"}));
    EXPECT_EQ(grid.ColAlignment[kHistoColumnSize], HistoryGrid::AlignRight);
    EXPECT_EQ(grid.ColAlignment[0], HistoryGrid::AlignCentre);
    EXPECT_EQ(grid.ColAlignment[6], HistoryGrid::AlignLeft);
    EXPECT_EQ(grid.ColWidth[0], 1600);
    EXPECT_EQ(grid.ColWidth[3], 500);
    EXPECT_EQ(grid.ColWidth[4], 0);
    EXPECT_EQ(grid.ColWidth[5], 0);
    MSFlexGridHisto(3).setGridWidth(8000);
    EXPECT_EQ(grid.ColWidth[6], 8000 - 1600 - 3 * 500 - 1100 - 1300 - 360);
    EXPECT_EQ(grid.rowCount(), 0);
}

TEST_F(HistoryTest, NewestFirstWithTheDateAndTimeColumns) {
    Make(QStringLiteral("Pige Antenne 20240115_14_00_00.mp3"), QDateTime(QDate(2024, 1, 15), QTime(14, 0, 0)));
    Make(QStringLiteral("Pige Antenne 20240115_14_00_05.mp3"), QDateTime(QDate(2024, 1, 15), QTime(14, 0, 5)));
    Make(QStringLiteral("Pige Antenne 20240218_09_30_00.mp3"), QDateTime(QDate(2024, 8, 18), QTime(9, 30, 0)));
    Make(QStringLiteral(".cache 20240101_00_00_00.tmp"), QDateTime(QDate(2024, 12, 1), QTime(23, 5, 7)));
    int redraws = 0;
    MSFlexGridHisto(0).observe([&] { if (MSFlexGridHisto(0).Redraw) ++redraws; });
    InitAffichageHisto(0);
    const HistoryGrid& g = MSFlexGridHisto(0);
    ASSERT_EQ(g.rowCount(), 4);
    EXPECT_EQ(redraws, 1);
    EXPECT_EQ(g.cell(0, kHistoColumnName), QStringLiteral("Pige Antenne 20240218_09_30_00.mp3"));
    EXPECT_EQ(g.cell(1, kHistoColumnName), QStringLiteral("Pige Antenne 20240115_14_00_05.mp3"));
    EXPECT_EQ(g.cell(2, kHistoColumnName), QStringLiteral("Pige Antenne 20240115_14_00_00.mp3"));
    EXPECT_EQ(g.cell(3, kHistoColumnName), QStringLiteral(".cache 20240101_00_00_00.tmp"));
    // 14:00:00 shows the hour alone, 14:00:05 the three fields.
    EXPECT_EQ(g.cell(2, kHistoColumnDate), QStringLiteral("lun. 15 janv."));
    EXPECT_EQ(g.cell(2, kHistoColumnHour), QStringLiteral("14"));
    EXPECT_EQ(g.cell(2, kHistoColumnMinute), QString());
    EXPECT_EQ(g.cell(2, kHistoColumnSecond), QString());
    EXPECT_EQ(g.cell(1, kHistoColumnHour), QStringLiteral("14"));
    EXPECT_EQ(g.cell(1, kHistoColumnMinute), QStringLiteral("00"));
    EXPECT_EQ(g.cell(1, kHistoColumnSecond), QStringLiteral("05"));
    EXPECT_EQ(g.cell(1, kHistoColumnPath), folder + QStringLiteral("Pige Antenne 20240115_14_00_05.mp3"));
    EXPECT_EQ(g.cell(1, kHistoColumnDateText), QStringLiteral("15/01/2024 14:00:05"));
    // 09:30:00: minutes shown, seconds blank; the month of August.
    EXPECT_EQ(g.cell(0, kHistoColumnDate), QStringLiteral("dim. 18 août"));
    EXPECT_EQ(g.cell(0, kHistoColumnMinute), QStringLiteral("30"));
    EXPECT_EQ(g.cell(0, kHistoColumnSecond), QString());
    EXPECT_EQ(g.cell(3, kHistoColumnDate), QStringLiteral("dim. 01 déc."));
    EXPECT_EQ(g.FontName, QStringLiteral("Arial"));
    EXPECT_EQ(g.FontSize, 12);
    EXPECT_EQ(g.RowHeight, 400);

    // A rebuild replaces the rows.
    QFile::remove(folder + QStringLiteral("Pige Antenne 20240218_09_30_00.mp3"));
    InitAffichageHisto(0);
    EXPECT_EQ(g.rowCount(), 3);
}

TEST_F(HistoryTest, EmptyAndMissingFoldersGiveAnEmptyGrid) {
    InitAffichageHisto(0);
    EXPECT_EQ(MSFlexGridHisto(0).rowCount(), 0);
    // Hidden files alone do not count as content.
    Make(QStringLiteral(".directory"));
    InitAffichageHisto(0);
    EXPECT_EQ(MSFlexGridHisto(0).rowCount(), 0);

    Make(QStringLiteral("one.wav"));
    InitAffichageHisto(0);
    EXPECT_EQ(MSFlexGridHisto(0).rowCount(), 2);
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.RecordFolder = sandbox.path() + QStringLiteral("/Gone/"); });
    InitAffichageHisto(0);
    EXPECT_EQ(MSFlexGridHisto(0).rowCount(), 0);
    EXPECT_TRUE(MSFlexGridHisto(0).Redraw);
    bool found = false;
    for (const QString& l : Traces())
        if (l.contains(QStringLiteral("Err: Folder not found: ")) && l.contains(QStringLiteral("/Gone/"))) found = true;
    EXPECT_TRUE(found);
}

TEST_F(HistoryTest, PurgeDeletesSlicesOnceTheRetentionHasPassed) {
    const QString slice = Make(QStringLiteral("Pige Antenne 20240101_00_00_00.mp3"));
    const QString younger = Make(QStringLiteral("Pige Antenne 20240102_23_00_00.mp3"));
    const QString shortName = Make(QStringLiteral("20230101_000000.wav"), QDateTime(QDate(2020, 1, 1), QTime(0, 0)));
    const QString undated = Make(QStringLiteral("Interview ABCDEFGH_00_00_00.mp3"));
    const QString badDate = Make(QStringLiteral("Pige Antenne 20231399_00_00_00.mp3"));

    // 31 January at 00:00: exactly 30 days, kept.
    SuppressionHistoriquePige(0, 30);
    EXPECT_TRUE(QFileInfo::exists(slice));
    clock.set(QDateTime(QDate(2024, 1, 31), QTime(0, 0, 1)));
    SuppressionHistoriquePige(0, 30);
    EXPECT_FALSE(QFileInfo::exists(slice));
    EXPECT_TRUE(Traced(QStringLiteral("File '") + slice + QStringLiteral("' deleted |Sub: Frm_Main:SuppressionHistoriquePige")));
    EXPECT_TRUE(QFileInfo::exists(younger));
    EXPECT_TRUE(QFileInfo::exists(shortName));
    EXPECT_TRUE(QFileInfo::exists(undated));
    EXPECT_TRUE(QFileInfo::exists(badDate));
    // The free-space display of the destination is refreshed.
    EXPECT_FALSE(::Setup().FreeSpace[0].LabelVolumeTotal.text().isEmpty());

    // A retention that is not a number of days deletes nothing.
    clock.set(QDateTime(QDate(2030, 1, 1), QTime(12, 0)));
    SuppressionHistoriquePige(0, 0);
    EXPECT_TRUE(QFileInfo::exists(younger));
    SuppressionHistoriquePige(0, 1);
    EXPECT_FALSE(QFileInfo::exists(younger));
    EXPECT_TRUE(QFileInfo::exists(undated));
}

TEST_F(HistoryTest, WheelScrollsTheGridUnderTheMouse) {
    for (int k = 0; k < 10; ++k) Make(QStringLiteral("f%1.wav").arg(k));
    InitAffichageHisto(0);
    EXPECT_EQ(HistoWheelTarget(), -1);
    HistoMouseMove(0);
    EXPECT_EQ(HistoWheelTarget(), 0);
    ScrollHisto(0, kHistoWheelRows);
    EXPECT_EQ(MSFlexGridHisto(0).TopRow, 3);
    ScrollHisto(0, 100);
    EXPECT_EQ(MSFlexGridHisto(0).TopRow, 9);
    ScrollHisto(0, -100);
    EXPECT_EQ(MSFlexGridHisto(0).TopRow, 0);
}
