// Numbers, dates, durations, French labels and public holidays.
#include "support/formats.h"

#include "platform/os.h"
#include "support/clock.h"
#include "support/errors.h"

#include <cmath>
#include <limits>

namespace {

QString g_localeOverride;  // forced locale code; empty: the user's locale

QString LocaleCode() {
    if (!g_localeOverride.isEmpty()) return g_localeOverride;
    return platform::LocaleAbbreviation();
}

// Digits of a number with at least `width` characters, zeros in front.
QString Digits(qint64 n, int width) {
    return QString::number(n).rightJustified(width, QLatin1Char('0'));
}

// One field of a date format: a run of the same letter.
enum class Field { Literal, Day, Month, Year, Hour, Minute, Second };

struct Token {
    Field field = Field::Literal;
    QString text;  // literal text, or the letters of the field
};

Field FieldOf(QChar c) {
    switch (c.unicode()) {
    case 'd': case 'D': return Field::Day;
    case 'M': case 'm': return Field::Month;  // may turn into minutes, see below
    case 'y': case 'Y': return Field::Year;
    case 'H': case 'h': return Field::Hour;
    case 'n': case 'N': return Field::Minute;
    case 'S': case 's': return Field::Second;
    default: return Field::Literal;
    }
}

QList<Token> Tokenize(const QString& format) {
    QList<Token> tokens;
    int i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        const Field f = FieldOf(c);
        if (f == Field::Literal) {
            if (tokens.isEmpty() || tokens.last().field != Field::Literal) tokens.append(Token{});
            tokens.last().text += c;
            ++i;
            continue;
        }
        int j = i;
        while (j < format.size() && format.at(j) == c) ++j;
        tokens.append(Token{f, format.mid(i, j - i)});
        i = j;
    }
    // "MM" (or "mm") is the minutes when it follows an hour field or precedes
    // a seconds field; otherwise it is the month.
    Field previous = Field::Literal;
    for (int k = 0; k < tokens.size(); ++k) {
        Token& t = tokens[k];
        if (t.field == Field::Literal) continue;
        if (t.field == Field::Month) {
            Field next = Field::Literal;
            for (int n = k + 1; n < tokens.size(); ++n) {
                if (tokens[n].field != Field::Literal) {
                    next = tokens[n].field;
                    break;
                }
            }
            if (previous == Field::Hour || next == Field::Second) t.field = Field::Minute;
        }
        previous = t.field;
    }
    return tokens;
}

QString DayName(const QDate& d, bool shortForm) {
    return Libelle_Fra(QStringLiteral("Jour"), d.dayOfWeek(), shortForm ? 3 : 0);
}

// Easter Sunday by the general Gregorian computus, for years outside the
// range of the short formula.
QDate EasterGregorian(int y) {
    const int a = y % 19, b = y / 100, c = y % 100, d = b / 4, e = b % 4;
    const int f = (b + 8) / 25, g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4, k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return QDate(y, month, day);
}

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// Integer nearest to value, ties to the even one; clamped to [lo, hi].
double RoundHalfEven(double value, double lo, double hi) {
    if (std::isnan(value)) return 0;
    const double r = value - std::remainder(value, 1.0);
    if (r < lo) return lo;
    if (r > hi) return hi;
    return r;
}

}  // namespace

void SetLocaleCodeForTests(const QString& code) { g_localeOverride = code; }

QString N2S(double value, int width, int decimals, const QString& pad) {
    QString result;
    ErrorTrap trap(QStringLiteral("Lib_Public:N2S"));
    trap(10, [&] {
        if (!std::isfinite(value)) value = 0;
        if (decimals <= 0) {
            double r = std::round(value);
            if (r == 0) r = 0;  // no "-0"
            result = QString::number(r, 'f', 0);
        } else {
            result = QString::number(value, 'f', decimals);
        }
    });
    trap(20, [&] {
        const QChar p = pad.isEmpty() ? QLatin1Char(' ') : pad.at(0);
        if (result.size() >= width) return;
        if (result.startsWith(QLatin1Char('-'))) {
            // The sign stays in front of the padding.
            result = QLatin1Char('-') + result.mid(1).rightJustified(width - 1, p);
        } else {
            result = result.rightJustified(width, p);
        }
    });
    return result;
}

QString D2S(const QDate& day) {
    if (!day.isValid()) return QString();
    return Digits(day.year(), 4) + Digits(day.month(), 2) + Digits(day.day(), 2);
}

QString Date2StringEx(const QDateTime& moment, const QString& format) {
    QString result;
    ErrorTrap trap(QStringLiteral("Lib_Public:Date2StringEx"));
    trap(10, [&] {
        const QString f = format.trimmed().isEmpty() ? QStringLiteral("HH:MM:SS") : format;
        const QDate d = moment.date();
        const QTime t = moment.time();
        for (const Token& tok : Tokenize(f)) {
            const int n = tok.text.size();
            switch (tok.field) {
            case Field::Literal: result += tok.text; break;
            case Field::Day:
                if (n >= 4) result += DayName(d, false);
                else if (n == 3) result += DayName(d, true);
                else result += Digits(d.day(), n);
                break;
            case Field::Month: result += Digits(d.month(), qMin(n, 2)); break;
            case Field::Year:
                result += (n == 2) ? Digits(d.year() % 100, 2) : Digits(d.year(), 4);
                break;
            case Field::Hour: result += Digits(t.hour(), qMin(n, 2)); break;
            case Field::Minute: result += Digits(t.minute(), qMin(n, 2)); break;
            case Field::Second: result += Digits(t.second(), qMin(n, 2)); break;
            }
        }
    });
    return result;
}

QString TimingMilliSec() {
    QString result;
    ErrorTrap trap(QStringLiteral("Lib_Public:TimingMilliSec"));
    trap(10, [&] {
        const QDateTime now = CurrentClock().now();
        result = Date2StringEx(now, QStringLiteral("HH:MM:SS")) + QLatin1Char(':') + Digits(now.time().msec(), 3);
    });
    return result;
}

QString Tps2MinSecCen(double milliseconds, int mode, const QString& pad) {
    QString result;
    ErrorTrap trap(QStringLiteral("Lib_Public:Tps2MinSecCen"));
    trap(10, [&] {
        // Out-of-range readings (and negative ones, which a duration cannot be)
        // are shown as zero.
        if (!(milliseconds >= 0) || milliseconds >= 500000000.0) milliseconds = 0;
        const qint64 seconds = static_cast<qint64>(milliseconds / 1000.0);
        const qint64 minutes = seconds / 60;
        const qint64 s = seconds % 60;
        const qint64 hundredths = static_cast<qint64>((milliseconds - static_cast<double>(seconds) * 1000.0) / 10.0);
        if (mode == 0) {
            result = N2S(s, 2, 0, pad) + QLatin1Char(':') + N2S(hundredths, 2, 0, QStringLiteral("0"));
            return;
        }
        int w = (mode == 3 || mode == 4) ? mode : 2;
        if (minutes >= 100) w = 3;
        if (minutes >= 1000) w = 4;
        result = N2S(minutes, w, 0, pad) + QLatin1Char(':') + N2S(s, 2, 0, QStringLiteral("0")) + QLatin1Char(':') +
                 N2S(hundredths, 2, 0, QStringLiteral("0"));
    });
    return result;
}

qint64 TempsSystemeMs() { return CurrentClock().tickMs(); }

QString HolidayList(const QString& localeCode) {
    if (localeCode == QLatin1String("FRB")) return QStringLiteral(";0101;0105;2107;1508;0111;1111;2512.");
    if (localeCode == QLatin1String("FRL")) return QStringLiteral(";0101;0105;2306;1508;0111;1111;2512.");
    if (localeCode == QLatin1String("FRM")) return QStringLiteral(";0101;0105;3105;1508;0111;1111;2512.");
    if (localeCode == QLatin1String("FRS")) return QStringLiteral(";0101;0105;0108;1508;0111;1111;2512.");
    return QStringLiteral(";0101;0105;0805;1407;1508;0111;1111;2512.");
}

QDate EasterSunday(int year) {
    if (year < 1900 || year > 2099) return EasterGregorian(year);
    const int g = year % 19;
    const int d = (19 * g + 24) % 30;
    const int c = qMin(d, qMax(28, d) - 1);
    const int e = (year - 1897) + (year - 1900) / 4 + c;
    const int l = c + 28 - (e % 7);
    const int month = l / 32 + 3;
    const int day = l < 32 ? l : l - 31;
    return QDate(year, month, day);
}

bool JourFerie(const QDate& day, bool saturdayOff, bool sundayOff) {
    bool result = false;
    ErrorTrap trap(QStringLiteral("Lib_Public:JourFerie"));
    trap(10, [&] {
        if (!day.isValid()) return;
        const int weekday = day.dayOfWeek();
        if ((weekday == Qt::Sunday && sundayOff) || (weekday == Qt::Saturday && saturdayOff)) result = true;
    });
    if (result || !day.isValid()) return result;
    trap(20, [&] {
        const QString entry = Digits(day.day(), 2) + Digits(day.month(), 2);
        if (HolidayList(LocaleCode()).contains(entry)) result = true;
    });
    if (result) return result;
    trap(30, [&] {
        const QDate easter = EasterSunday(day.year());
        result = day == easter.addDays(1) || day == easter.addDays(39) || day == easter.addDays(50);
    });
    return result;
}

QString Libelle_Fra(const QString& kind, int index, int style) {
    static const char* const kLong[] = {"Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi", "Dimanche"};
    static const char* const kShort[] = {"Lun", "Mar", "Mer", "Jeu", "Ven", "Sam", "Dim"};
    if (index >= 1 && index <= 7) {
        return QString::fromLatin1(style == 3 ? kShort[index - 1] : kLong[index - 1]);
    }
    return QStringLiteral("???") + QLatin1Char(':') + kind + QLatin1Char(':') + QString::number(index) +
           QLatin1Char(':') + QStringLiteral("???");
}

double Val(const QString& text) {
    QString number;
    bool digits = false, point = false;
    int i = 0;
    const int n = text.size();
    auto skipBlanks = [&] {
        while (i < n && IsBlank(text.at(i))) ++i;
    };
    skipBlanks();
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        number += text.at(i);
        ++i;
    }
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (IsBlank(c)) continue;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number += c;
            digits = true;
        } else if (c == QLatin1Char('.') && !point) {
            number += c;
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok ? v : 0;
}

qint32 CLngRound(double value) {
    return static_cast<qint32>(RoundHalfEven(value, std::numeric_limits<qint32>::min(),
                                             std::numeric_limits<qint32>::max()));
}

qint16 CIntRound(double value) {
    return static_cast<qint16>(RoundHalfEven(value, std::numeric_limits<qint16>::min(),
                                             std::numeric_limits<qint16>::max()));
}

QString BoolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }
