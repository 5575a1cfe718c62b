// Numbers, dates, durations, labels and holidays.
#include "platform/os.h"
#include "support/clock.h"
#include "support/formats.h"

#include <QDate>
#include <gtest/gtest.h>

namespace {

// Easter Sunday by the anonymous Gregorian algorithm (Meeus), written out
// independently of the program's formula.
QDate MeeusEaster(int y) {
    int a = y % 19, b = y / 100, c = y % 100;
    int d = b / 4, e = b % 4, f = (b + 8) / 25, g = (b - f + 1) / 3;
    int h = (19 * a + b - d - g + 15) % 30;
    int i = c / 4, k = c % 4;
    int l = (32 + 2 * e + 2 * i - h - k) % 7;
    int m = (a + 11 * h + 22 * l) / 451;
    int n = h + l - 7 * m + 114;
    return QDate(y, n / 31, n % 31 + 1);
}

class Holidays : public ::testing::Test {
protected:
    void TearDown() override { SetLocaleCodeForTests(QString()); }
};

TEST(Formats, NumbersPaddedToWidth) {
    EXPECT_EQ(N2S(7, 2, 0, "0"), "07");
    EXPECT_EQ(N2S(2024, 4, 0, "0"), "2024");
    EXPECT_EQ(N2S(12345, 3, 0, "0"), "12345") << "wider values are returned whole";
    EXPECT_EQ(N2S(5, 3, 0, " x"), "  5") << "first character of the pad";
    EXPECT_EQ(N2S(5, 3, 0, ""), "  5");
    EXPECT_EQ(N2S(0, 2, 0, "0"), "00");
    EXPECT_EQ(N2S(-7, 3, 0, "0"), "-07");
    EXPECT_EQ(N2S(3000000000.0, 2, 0, "0"), "3000000000");
    EXPECT_EQ(N2S(1.25, 6, 2, "0"), "001.25");
}

TEST(Formats, DayStampsAndDateTexts) {
    EXPECT_EQ(D2S(QDate(2025, 1, 5)), "20250105");
    EXPECT_EQ(D2S(QDate(2024, 3, 19)), "20240319");
    EXPECT_EQ(D2S(QDateTime(QDate(999, 12, 31), QTime(23, 59))), "09991231");

    const QDateTime m(QDate(2024, 3, 9), QTime(14, 5, 9, 42));
    EXPECT_EQ(Date2StringEx(m, ""), "14:05:09");
    EXPECT_EQ(Date2StringEx(m, "   "), "14:05:09");
    EXPECT_EQ(Date2StringEx(m, "HH:MM:SS"), "14:05:09");
    EXPECT_EQ(Date2StringEx(m, "hh:mm:ss"), "14:05:09");
    EXPECT_EQ(Date2StringEx(m, "dd/MM/yyyy"), "09/03/2024");
    EXPECT_EQ(Date2StringEx(m, "dd/MM/yyyy HH:MM:SS"), "09/03/2024 14:05:09");
    EXPECT_EQ(Date2StringEx(m, "yyyy-MM-dd HH.mm"), "2024-03-09 14.05");
    EXPECT_EQ(Date2StringEx(m, "yyyyMMdd_HHMMSS"), "20240309_140509");
    EXPECT_EQ(Date2StringEx(m, "d/M/yy"), "9/3/24");
    EXPECT_EQ(Date2StringEx(m, "MM:SS"), "05:09") << "before seconds: the minutes";
    EXPECT_EQ(Date2StringEx(m, "dddd dd"), "Samedi 09");
    EXPECT_EQ(Date2StringEx(QDateTime(QDate(2024, 12, 31), QTime(0, 0)), "Rec dd-MM"), "Rec 31-12");
}

TEST(Formats, TimeWithMillisecondsAndTicksComeFromTheClock) {
    ManualClock clock(QDateTime(QDate(2024, 3, 19), QTime(14, 5, 9, 42)), 123456);
    ScopedClock scoped(&clock);
    EXPECT_EQ(TimingMilliSec(), "14:05:09:042");
    EXPECT_EQ(TempsSystemeMs(), 123456);
    clock.advanceMs(958);
    EXPECT_EQ(TimingMilliSec(), "14:05:10:000");
    EXPECT_EQ(TempsSystemeMs(), 124414);
    clock.set(QDateTime(QDate(2024, 3, 19), QTime(0, 0, 0, 7)));
    EXPECT_EQ(TimingMilliSec(), "00:00:00:007");
}

TEST(Formats, SystemClockIsLocalTimeAndBootTicks) {
    SetClock(nullptr);
    const qint64 before = platform::BootTimeMs();
    const qint64 tick = CurrentClock().tickMs();
    const qint64 after = platform::BootTimeMs();
    EXPECT_LE(before, tick);
    EXPECT_LE(tick, after);
    EXPECT_GT(tick, 0);
    const qint64 gap = CurrentClock().now().msecsTo(QDateTime::currentDateTime());
    EXPECT_LE(qAbs(gap), 1000);
    EXPECT_EQ(CurrentClock().now().timeSpec(), Qt::LocalTime);
}

TEST(Formats, DurationsInMinutesSecondsAndHundredths) {
    EXPECT_EQ(Tps2MinSecCen(83456, 2, "0"), "01:23:45");
    EXPECT_EQ(Tps2MinSecCen(83456, 0, "0"), "23:45");
    EXPECT_EQ(Tps2MinSecCen(3456, 0, " "), " 3:45");
    EXPECT_EQ(Tps2MinSecCen(83456, 3, "0"), "001:23:45");
    EXPECT_EQ(Tps2MinSecCen(83456, 4, "0"), "0001:23:45");
    EXPECT_EQ(Tps2MinSecCen(83456, 1, " "), " 1:23:45");
    EXPECT_EQ(Tps2MinSecCen(3600000, 2, "0"), "60:00:00") << "minutes are not reduced to hours";
    EXPECT_EQ(Tps2MinSecCen(125 * 60000 + 999, 2, "0"), "125:00:99");
    EXPECT_EQ(Tps2MinSecCen(125 * 60000, 4, "0"), "125:00:00") << "three digits from 100 minutes";
    EXPECT_EQ(Tps2MinSecCen(1000 * 60000, 2, "0"), "1000:00:00");
    EXPECT_EQ(Tps2MinSecCen(600000000, 2, "0"), "00:00:00");
    EXPECT_EQ(Tps2MinSecCen(500000000, 2, "0"), "00:00:00");
    EXPECT_EQ(Tps2MinSecCen(499999999, 2, "0"), "8333:19:99");
    EXPECT_EQ(Tps2MinSecCen(-5000, 2, "0"), "00:00:00");
}

TEST(Formats, FrenchDayLabels) {
    const char* const full[] = {"Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi", "Dimanche"};
    const char* const shortForm[] = {"Lun", "Mar", "Mer", "Jeu", "Ven", "Sam", "Dim"};
    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(Libelle_Fra("Jour", i, 0), full[i - 1]);
        EXPECT_EQ(Libelle_Fra("Jour", i, 3), shortForm[i - 1]);
    }
    EXPECT_EQ(Libelle_Fra("Jour", 0, 0), "???:Jour:0:???");
    EXPECT_EQ(Libelle_Fra("Mois", 8, 3), "???:Mois:8:???");
}

TEST(Formats, ValReadsTheLeadingNumber) {
    EXPECT_EQ(Val("2a"), 2);
    EXPECT_EQ(Val("x"), 0);
    EXPECT_EQ(Val(""), 0);
    EXPECT_EQ(Val("  42"), 42);
    EXPECT_EQ(Val("-12.5kbits"), -12.5);
    EXPECT_EQ(Val("+7"), 7);
    EXPECT_EQ(Val("3.14.15"), 3.14);
    EXPECT_EQ(Val(".5"), 0.5);
    EXPECT_EQ(Val("-"), 0);
    EXPECT_EQ(Val("1 000"), 1000) << "blanks are skipped";
    EXPECT_EQ(Val("44100 Hz"), 44100);
    EXPECT_EQ(Val("1,5"), 1);
}

TEST(Formats, RoundingHalfToEvenAndBoolText) {
    EXPECT_EQ(CLngRound(2.5), 2);
    EXPECT_EQ(CLngRound(3.5), 4);
    EXPECT_EQ(CLngRound(-2.5), -2);
    EXPECT_EQ(CLngRound(2.4999), 2);
    EXPECT_EQ(CLngRound(2.5001), 3);
    EXPECT_EQ(CLngRound(-7.6), -8);
    EXPECT_EQ(CLngRound(1e12), 2147483647);
    EXPECT_EQ(CIntRound(0.5), 0);
    EXPECT_EQ(CIntRound(1.5), 2);
    EXPECT_EQ(CIntRound(40000), 32767);
    EXPECT_EQ(CIntRound(-40000), -32768);
    EXPECT_EQ(BoolText(true), "True");
    EXPECT_EQ(BoolText(false), "False");
}

TEST_F(Holidays, EasterMatchesAnIndependentComputus) {
    EXPECT_EQ(EasterSunday(2019), QDate(2019, 4, 21));
    EXPECT_EQ(EasterSunday(2024), QDate(2024, 3, 31));
    EXPECT_EQ(EasterSunday(2025), QDate(2025, 4, 20));
    EXPECT_EQ(EasterSunday(2000), QDate(2000, 4, 23));
    for (int y = 1900; y <= 2099; ++y) {
        EXPECT_EQ(EasterSunday(y), MeeusEaster(y)) << y;
        EXPECT_EQ(EasterSunday(y).dayOfWeek(), Qt::Sunday) << y;
    }
    // Outside the short formula's range, still the right Sunday.
    EXPECT_EQ(EasterSunday(1818), QDate(1818, 3, 22));
    EXPECT_EQ(EasterSunday(1886), QDate(1886, 4, 25));
    EXPECT_EQ(EasterSunday(2285), QDate(2285, 3, 22));
}

TEST_F(Holidays, MovableFeastsFollowEaster) {
    SetLocaleCodeForTests("FRA");
    EXPECT_TRUE(JourFerie(QDate(2024, 4, 1), false, false));   // Easter Monday
    EXPECT_TRUE(JourFerie(QDate(2024, 5, 9), false, false));   // Ascension
    EXPECT_TRUE(JourFerie(QDate(2024, 5, 20), false, false));  // Whit Monday
    EXPECT_FALSE(JourFerie(QDate(2024, 3, 31), false, false)) << "Easter Sunday only as a Sunday";
    EXPECT_TRUE(JourFerie(QDate(2024, 3, 31), false, true));
    EXPECT_FALSE(JourFerie(QDate(2024, 3, 29), true, true)) << "Good Friday is a working day";
    EXPECT_FALSE(JourFerie(QDate(2024, 5, 19), false, false)) << "Whit Sunday only as a Sunday";
    EXPECT_TRUE(JourFerie(QDate(2019, 4, 22), false, false));
    EXPECT_FALSE(JourFerie(QDate(2019, 4, 15), false, false));
    EXPECT_TRUE(JourFerie(QDate(2000, 6, 12), false, false));  // Whit Monday 2000
}

TEST_F(Holidays, WeekendsOnlyWhenAskedFor) {
    SetLocaleCodeForTests("FRA");
    const QDate saturday(2024, 6, 8), sunday(2024, 6, 9), monday(2024, 6, 10);
    EXPECT_FALSE(JourFerie(saturday, false, false));
    EXPECT_TRUE(JourFerie(saturday, true, false));
    EXPECT_FALSE(JourFerie(saturday, false, true));
    EXPECT_FALSE(JourFerie(sunday, true, false));
    EXPECT_TRUE(JourFerie(sunday, false, true));
    EXPECT_FALSE(JourFerie(monday, true, true));
    EXPECT_FALSE(JourFerie(QDate(), true, true));
}

TEST_F(Holidays, FixedDaysDependOnTheLocale) {
    EXPECT_EQ(HolidayList("FRB"), ";0101;0105;2107;1508;0111;1111;2512.");
    EXPECT_EQ(HolidayList("FRL"), ";0101;0105;2306;1508;0111;1111;2512.");
    EXPECT_EQ(HolidayList("FRM"), ";0101;0105;3105;1508;0111;1111;2512.");
    EXPECT_EQ(HolidayList("FRS"), ";0101;0105;0108;1508;0111;1111;2512.");
    EXPECT_EQ(HolidayList("FRA"), ";0101;0105;0805;1407;1508;0111;1111;2512.");
    EXPECT_EQ(HolidayList("ENU"), HolidayList("FRA"));

    // 2025: weekdays, so only the lists decide.
    struct Case {
        const char* locale;
        QDate day;
        bool holiday;
    };
    const Case cases[] = {
        {"FRA", QDate(2025, 7, 14), true},  {"FRB", QDate(2025, 7, 14), false}, {"FRB", QDate(2025, 7, 21), true},
        {"FRA", QDate(2025, 7, 21), false}, {"FRL", QDate(2025, 6, 23), true},  {"FRA", QDate(2025, 6, 23), false},
        {"FRA", QDate(2023, 5, 31), false},  {"FRS", QDate(2025, 8, 1), true},   {"FRA", QDate(2025, 8, 1), false},
        {"FRA", QDate(2025, 5, 8), true},   {"FRS", QDate(2025, 5, 8), false},  {"DEU", QDate(2025, 5, 8), true},
    };
    for (const Case& c : cases) {
        SetLocaleCodeForTests(c.locale);
        EXPECT_EQ(JourFerie(c.day, false, false), c.holiday) << c.locale << " " << c.day.toString().toStdString();
    }
    SetLocaleCodeForTests("FRM");
    EXPECT_TRUE(JourFerie(QDate(2023, 5, 31), false, false));
    for (const char* code : {"FRA", "FRB", "FRL", "FRM", "FRS"}) {
        SetLocaleCodeForTests(code);
        for (const QDate& d : {QDate(2025, 1, 1), QDate(2025, 5, 1), QDate(2025, 8, 15), QDate(2025, 11, 11),
                               QDate(2025, 12, 25)})
            EXPECT_TRUE(JourFerie(d, false, false)) << code << " " << d.toString().toStdString();
        // Ordinary weekdays.
        EXPECT_FALSE(JourFerie(QDate(2025, 5, 12), false, false)) << code;
        EXPECT_FALSE(JourFerie(QDate(2025, 1, 2), false, false)) << code;
    }
}

}  // namespace
