// Process-wide values and the program's version.
#include "support/app_globals.h"

#include <QDateTime>
#include <QLocale>

AppGlobals& App() {
    static AppGlobals globals;
    return globals;
}

QString VersionApplication() {
#ifdef QR_BUILD_STAMP
    return QStringLiteral(QR_BUILD_STAMP);
#else
    // The compiler's build date ("Mar 19 2024") and time ("08:03:00").
    const QString text = QString::fromLatin1(__DATE__).simplified() + QLatin1Char(' ') + QString::fromLatin1(__TIME__);
    const QDateTime built = QLocale::c().toDateTime(text, QStringLiteral("MMM d yyyy hh:mm:ss"));
    return built.toString(QStringLiteral("yyyy.MMdd.hhmm"));
#endif
}
