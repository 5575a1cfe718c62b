#include "settings/station_config.h"

#include <QStringList>

QStringList SerialSpeedEntries() {
    return {QStringLiteral("110"),  QStringLiteral("300"),  QStringLiteral("600"),  QStringLiteral("1200"),
            QStringLiteral("2400"), QStringLiteral("9600"), QStringLiteral("14400")};
}
QStringList SerialParityEntries() {
    return {QStringLiteral("E"), QStringLiteral("M"), QStringLiteral("N"), QStringLiteral("O"), QStringLiteral("S")};
}
QStringList SerialDataBitsEntries() {
    return {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
}
QStringList SerialStopBitsEntries() { return {QStringLiteral("1"), QStringLiteral("1,5"), QStringLiteral("2")}; }

QString SerialSettingsText(const SerialConfig& s) {
    auto at = [](const QStringList& l, int i) { return i >= 0 && i < l.size() ? l[i].trimmed() : QString(); };
    return QStringList{at(SerialSpeedEntries(), s.Setup[0]), at(SerialParityEntries(), s.Setup[1]),
                       at(SerialDataBitsEntries(), s.Setup[2]), at(SerialStopBitsEntries(), s.Setup[3])}
        .join(QLatin1Char(','));
}

int SliceRowStart(const SliceConfig& table, int row) {
    if (row <= 0) return 0;
    return table.EndEntry[size_t(qMin(row, kSliceRows) - 1)] + 1;
}

StationConfig& Station() {
    static StationConfig station;
    return station;
}
