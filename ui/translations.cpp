#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ui {

bool InstallFrenchTranslations() {
    const QLocale french(QLocale::French, QLocale::France);
    QLocale::setDefault(french);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // qtbase carries the dialogs and buttons; qt_fr pulls in the modules' files.
    bool loaded = false;
    for (const char* name : {"qtbase", "qt"}) {
        auto* t = new QTranslator(qApp);
        if (t->load(french, QString::fromLatin1(name), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(t);
            loaded = true;
        } else {
            delete t;
        }
    }
    return loaded;
}

}  // namespace ui
