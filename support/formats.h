#pragma once
// Numbers, dates, durations, French labels and public holidays.
#include <QDate>
#include <QDateTime>
#include <QString>

QString N2S(double value, int width, int decimals, const QString& pad);
QString D2S(const QDate& day);
inline QString D2S(const QDateTime& moment) { return D2S(moment.date()); }
// Date letters: dd day, MM month, yyyy year, HH/hh hour, MM/mm after an hour
// field minutes, SS/ss seconds. Blank format: "HH:MM:SS".
QString Date2StringEx(const QDateTime& moment, const QString& format);
QString TimingMilliSec();
QString Tps2MinSecCen(double milliseconds, int mode, const QString& pad);
qint64 TempsSystemeMs();
bool JourFerie(const QDate& day, bool saturdayOff, bool sundayOff);
QDate EasterSunday(int year);
QString Libelle_Fra(const QString& kind, int index, int style);
// Fixed holiday list for a locale code ("FRB", "FRL", ...).
QString HolidayList(const QString& localeCode);
// Forces the locale code used by JourFerie (tests); "" goes back to the
// user's locale (platform::LocaleAbbreviation).
void SetLocaleCodeForTests(const QString& code);

// Numeric value of a text as a decimal number is read from its start: blanks
// skipped, optional sign, digits and decimal point up to the first other
// character; 0 when there is none ("2a" -> 2, "x" -> 0).
double Val(const QString& text);
// Rounding of a number to an integer, half to even.
qint32 CLngRound(double value);
qint16 CIntRound(double value);
// "True" / "False".
QString BoolText(bool value);
