// The planning tab of the real setup window (offscreen): rows loaded from
// the settings file, a row selected by click and by Space, edited in the
// editor, saved with the window's button and read back from the file; the
// frequency list enabling the date lists, column sorting, the file chooser.
#include "core/main_controls.h"
#include "planning/planning.h"
#include "planning/planning_fixture.h"
#include "ui/setup/frm_setup.h"
#include "support/app_globals.h"
#include "support/clock.h"
#include "support/dialogs.h"
#include "support/ini.h"
#include "support/tracelog.h"
#include "ui/bindings.h"
#include "ui/setup_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The chooser as a test operator answers it.
class ChooserAnswers : public Dialogs {
public:
    QString answer;
    QString folder, proposed, filter;
    int filterIndex = -1;
    QString SaveFileWithFilter(const QString& f, const QString& p, const QString& flt, int index) override {
        folder = f;
        proposed = p;
        filter = flt;
        filterIndex = index;
        return answer;
    }
};

// The keys of a section, read back without the program's reader.
QMap<QString, QString> SectionOf(const QString& path, const QString& section) {
    QMap<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return keys;
    bool inside = false;
    for (QString line : QString::fromUtf8(f.readAll()).split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inside = line.compare("[" + section + "]", Qt::CaseInsensitive) == 0;
            continue;
        }
        const int eq = line.indexOf('=');
        if (inside && eq > 0) keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

class PlanningTabTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2024, 3, 19), QTime(10, 0, 0))};
    ChooserAnswers dialogs;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELMORA_DRIVE", (dir.path() + "/").toUtf8());
        SetClock(&clock);
        SetDialogs(&dialogs);
        ResetTraceState();
        ResetSharedState();
        ResetSetupControls();
        InstallPlanningForTest();
        ini = NomFichierSettings(".Ini", "");
        auto line = [&](int k, const QMap<QString, QString>& keys) {
            const QString sec = QString("Planning_%1").arg(k, 3, 10, QChar('0'));
            EcritureIni(ini, sec, "Actif", "ON");
            for (auto it = keys.begin(); it != keys.end(); ++it) EcritureIni(ini, sec, it.key(), it.value());
        };
        line(2, {{"Recorder", "Recorder 2"}, {"Frequence", "Jour"}, {"Heure", "07"}, {"Minute", "30"},
                 {"LigneActive", "O"}, {"Duree", "60"}, {"DossierFichierSon", "/srv/sons/Matin <yyyyMMdd>.mp3"},
                 {"ASC82Plus", "IN2 OUT1"}});
        line(5, {{"Recorder", "Recorder 1"}, {"Frequence", "Semaine"}, {"Semaine", "Lundi"}, {"Heure", "18"},
                 {"Minute", "00"}, {"LigneActive", "N"}, {"Duree", "30"}});
        // A free slot whose old keys stay in the file.
        EcritureIni(ini, "Planning_009", "Actif", "0FF");
        EcritureIni(ini, "Planning_009", "Recorder", "Recorder 4");
        EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.LocalFolder = dir.path() + "/Local/"; });
        FrmSetup_InitGeneral();  // the editor's lists, then the table and its analysis
        SetupFlags().SettingsModified = false;
        window = std::make_unique<ui::SetupWindow>();
        window->resize(1200, 800);
        window->show();
        window->tabs()->setCurrentIndex(window->tabs()->count() - 2);  // "Planning"
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        table = window->planningTable();
    }

    void TearDown() override {
        window.reset();
        ResetPlanningState();
        SetDialogs(nullptr);
        SetClock(nullptr);
        qunsetenv("VELMORA_DRIVE");
    }

    template <class W>
    W* Named(const char* name) {
        return window->findChild<W*>(name);
    }
    void ClickRow(int row) {
        const QRect r = table->visualItemRect(table->item(row, 1));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, r.center());
    }
    // The operator picks an entry of a list.
    static void Choose(QComboBox* combo, const QString& text) {
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    int RowOfSlot(int slot) {
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, 12)->text() == QString("%1").arg(slot, 3, 10, QChar('0'))) return r;
        return -1;
    }

    QString ini;
    std::unique_ptr<ui::SetupWindow> window;
    QTableWidget* table = nullptr;
};

TEST_F(PlanningTabTest, SelectEditSaveAndReadBack) {
    ASSERT_EQ(table->rowCount(), kPlanningSlots);
    ASSERT_EQ(table->columnCount(), 13);
    EXPECT_EQ(table->item(2, 0)->text(), "Recorder 2");
    EXPECT_EQ(table->item(2, 8)->text(), "O");
    EXPECT_EQ(table->item(5, 8)->text(), "N");
    EXPECT_EQ(table->item(9, 0)->text(), "") << "a free slot shows an empty row";
    EXPECT_EQ(Named<QLineEdit>("TextProchainTiming")->text(), "20/03/2024 07:30:00");

    ClickRow(2);
    auto* recorder = Named<QComboBox>("ComboRecorder");
    auto* frequency = Named<QComboBox>("ComboFrequence");
    auto* hour = Named<QComboBox>("ComboHeure");
    EXPECT_EQ(recorder->currentText(), "Recorder 2");
    EXPECT_EQ(frequency->currentText(), "Jour");
    EXPECT_EQ(hour->currentText(), "07");
    EXPECT_FALSE(Named<QComboBox>("ComboAnnee")->isEnabled()) << "a daily line has no year";
    EXPECT_TRUE(hour->isEnabled());
    EXPECT_EQ(Named<QLineEdit>("TextDuree")->text(), "60");
    EXPECT_EQ(Named<QLineEdit>("TexteASC82Plus")->text(), "IN2 OUT1");
    EXPECT_EQ(::Setup().CurrentPlanningRow, 2);
    EXPECT_FALSE(SetupFlags().SettingsModified) << "loading a row is no change";

    // The operator moves the line to 06:45 for 90 minutes and saves.
    Choose(hour, "06");
    Choose(Named<QComboBox>("ComboMinute"), "45");
    auto* duration = Named<QLineEdit>("TextDuree");
    duration->selectAll();
    QTest::keyClicks(duration, "90");
    EXPECT_TRUE(SetupFlags().SettingsModified);
    QTest::mouseClick(window->saveButton(), Qt::LeftButton);

    const auto saved = SectionOf(ini, "Planning_002");
    EXPECT_EQ(saved.value("Actif"), "ON");
    EXPECT_EQ(saved.value("Recorder"), "Recorder 2");
    EXPECT_EQ(saved.value("Frequence"), "Jour");
    EXPECT_EQ(saved.value("Heure"), "06");
    EXPECT_EQ(saved.value("Minute"), "45");
    EXPECT_EQ(saved.value("Duree"), "90");
    EXPECT_EQ(saved.value("LigneActive"), "O");
    EXPECT_EQ(saved.value("DossierFichierSon"), "/srv/sons/Matin <yyyyMMdd>.mp3");
    EXPECT_EQ(saved.value("ASC82Plus"), "IN2 OUT1");
    EXPECT_EQ(SectionOf(ini, "Planning_009").value("Actif"), "0FF");
    EXPECT_EQ(SectionOf(ini, "Planning_009").value("Recorder"), "Recorder 4") << "a free slot keeps its keys";
    EXPECT_EQ(SectionOf(ini, "Planning_005").value("LigneActive"), "N");
    EXPECT_EQ(table->item(RowOfSlot(2), 6)->text(), "06");
    EXPECT_EQ(table->item(RowOfSlot(2), 9)->text(), "90");
    EXPECT_EQ(Named<QLineEdit>("TextProchainTiming")->text(), "20/03/2024 06:45:00");
    EXPECT_FALSE(SetupFlags().SettingsModified);
}

TEST_F(PlanningTabTest, NewLineOnAFreeRowWithSpaceAndTheFrequencyList) {
    // Keyboard: the current row moves with the arrows; Space loads it.
    table->setFocus();
    table->setCurrentCell(0, 1);
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(::Setup().CurrentPlanningRow, 0);
    auto* frequency = Named<QComboBox>("ComboFrequence");
    EXPECT_EQ(frequency->currentIndex(), 0);
    EXPECT_FALSE(Named<QComboBox>("ComboHeure")->isEnabled());

    Choose(Named<QComboBox>("ComboRecorder"), "Recorder 3");
    Choose(frequency, "Evénement");  // every date list but the day of week, set to now
    EXPECT_TRUE(Named<QComboBox>("ComboAnnee")->isEnabled());
    EXPECT_FALSE(Named<QComboBox>("ComboSemaine")->isEnabled());
    EXPECT_EQ(Named<QComboBox>("ComboAnnee")->currentText(), "2024");
    EXPECT_EQ(Named<QComboBox>("ComboMois")->currentText(), "03");
    EXPECT_EQ(Named<QComboBox>("ComboJour")->currentText(), "19");
    EXPECT_EQ(Named<QComboBox>("ComboHeure")->currentText(), "10");
    Choose(Named<QComboBox>("ComboHeure"), "23");
    for (ui::BoundCheckBox* b : window->findChildren<ui::BoundCheckBox*>())
        if (&b->model() == &::Setup().CheckPlanningActif) QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(::Setup().CheckPlanningActif.checked());

    // Another row: the edited one is kept in the list first.
    ClickRow(RowOfSlot(5));
    EXPECT_EQ(::Setup().CurrentPlanningRow, 5);
    EXPECT_EQ(table->item(RowOfSlot(0), 0)->text(), "Recorder 3");
    EXPECT_EQ(table->item(RowOfSlot(0), 1)->text(), "Evénement");
    EXPECT_EQ(table->item(RowOfSlot(0), 2)->text(), "2024");
    EXPECT_EQ(table->item(RowOfSlot(0), 8)->text(), "O");
    EXPECT_TRUE(SetupFlags().SettingsModified) << "the new line counts as a change";
    // A weekly line shows its day of week, and only that date list.
    EXPECT_EQ(Named<QComboBox>("ComboSemaine")->currentText(), "Lundi");
    EXPECT_TRUE(Named<QComboBox>("ComboSemaine")->isEnabled());
    EXPECT_FALSE(Named<QComboBox>("ComboJour")->isEnabled());

    QTest::mouseClick(window->saveButton(), Qt::LeftButton);
    const auto saved = SectionOf(ini, "Planning_000");
    EXPECT_EQ(saved.value("Recorder"), "Recorder 3");
    EXPECT_EQ(saved.value("Frequence"), "Evénement");
    EXPECT_EQ(saved.value("Annee"), "2024");
    EXPECT_EQ(saved.value("Heure"), "23");
    EXPECT_EQ(saved.value("Semaine"), "") << "a disabled list is stored blank";
    EXPECT_EQ(Named<QLineEdit>("TextProchainTiming")->text(), "19/03/2024 23:00:00");
}

TEST_F(PlanningTabTest, ColumnSortingTogglesAndTheChooserProposesMp3) {
    QHeaderView* header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(table->item(0, 0)->text(), "") << "blank recorders first";
    EXPECT_EQ(table->item(kPlanningSlots - 1, 0)->text(), "Recorder 2");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(table->item(0, 0)->text(), "Recorder 2") << "the second click reverses";
    EXPECT_EQ(table->item(1, 0)->text(), "Recorder 1");

    ClickRow(0);
    ASSERT_EQ(::Setup().CurrentPlanningRow, 2);
    dialogs.answer = dir.path() + "/Sons/Journal <yyyyMMdd>.mp3";
    auto* chooser = Named<QPushButton>("CommandDossierFichierSon");
    ASSERT_TRUE(chooser->isEnabled());
    EXPECT_EQ(chooser->toolTip(), "Fichier à générer...");
    QTest::mouseClick(chooser, Qt::LeftButton);
    EXPECT_EQ(dialogs.folder, "/srv/sons/");
    EXPECT_EQ(dialogs.proposed, "Matin <yyyyMMdd>.mp3");
    EXPECT_EQ(dialogs.filter, "wave|*.wav; *.wave;|mp3|*.mp3;|wma|*.wma;|ogg|*.ogg;|aac|*.aac;|*.*|*.*");
    EXPECT_EQ(dialogs.filterIndex, 1);
    EXPECT_EQ(Named<QLineEdit>("TexteDossierFichierSon")->text(), dialogs.answer);

    // Cancelled: the field stays; blank: the chooser opens in recorder 1's local folder.
    dialogs.answer.clear();
    ::Setup().TexteDossierFichierSon.setText("");
    QTest::mouseClick(chooser, Qt::LeftButton);
    EXPECT_EQ(dialogs.folder, dir.path() + "/Local/");
    EXPECT_EQ(dialogs.proposed, "");
    EXPECT_EQ(Named<QLineEdit>("TexteDossierFichierSon")->text(), "");
}

}  // namespace
