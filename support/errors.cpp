// The shared error manager and the error record.
#include "support/errors.h"

#include "support/app_globals.h"
#include "support/dialogs.h"
#include "support/tracelog.h"

namespace {

// Base of the object-defined error numbers: such an error is reported by its
// own code.
constexpr qint64 kObjectErrorBase = -2147221504;  // 0x80040000
// The automation server has disconnected from its clients.
constexpr qint32 kAutomationDisconnected = -2147417848;  // 0x80010108

// The error manager must never fail: each of its statements that throws is
// skipped.
template <class F>
void Ignoring(F&& statement) {
    try {
        std::forward<F>(statement)();
    } catch (...) {
    }
}

}  // namespace

ErrorRecord& Err() {
    static ErrorRecord record;
    return record;
}

void RaiseError(qint32 number, const QString& description, const QString& source) {
    throw AppError(number, description, source);
}

void CaptureCurrentException(int line) {
    ErrorRecord& e = Err();
    e.ErrLine = line;
    e.ErrSource.clear();
    const std::exception_ptr current = std::current_exception();
    if (!current) {
        e.ErrNumber = kInternalErrorNumber;
        e.ErrDescription = QStringLiteral("Unknown error");
        return;
    }
    try {
        std::rethrow_exception(current);
    } catch (const AppError& error) {
        e.ErrNumber = error.number();
        e.ErrDescription = error.description();
        e.ErrSource = error.source();
    } catch (const std::exception& error) {
        e.ErrNumber = kInternalErrorNumber;
        e.ErrDescription = QString::fromUtf8(error.what());
    } catch (...) {
        e.ErrNumber = kInternalErrorNumber;
        e.ErrDescription = QStringLiteral("Unknown error");
    }
}

void GestionDesErreurs(const QString& where) {
    TraceState& trace = Trace();
    if (trace.InErrorManager) return;
    trace.InErrorManager = true;

    const ErrorRecord record = Err();
    qint64 number = record.ErrNumber;
    QString description = record.ErrDescription;
    const qint64 objectCode = number - kObjectErrorBase;
    const bool objectError = objectCode > 0 && objectCode < 65535;
    if (objectError) number = objectCode;

    if (number != 0) {
        QString message;
        Ignoring([&] {
            if (description.size() > 100) description.replace(QStringLiteral(". "), QStringLiteral("\n "));
            message = QStringLiteral("Err:") + QString::number(number) + QStringLiteral(" (") + description +
                      QLatin1Char(')');
        });
        Ignoring([&] {
            if (!where.trimmed().isEmpty()) {
                QString place = where;
                place.replace(QLatin1Char(':'), QStringLiteral(" Sub:"));
                message += QStringLiteral("\n\nSource:") + place + QLatin1Char(':') + QString::number(record.ErrLine);
            }
        });
        Ignoring([&] {
            if (objectError && !record.ErrSource.trimmed().isEmpty())
                message += QStringLiteral("\n(Source: ") + record.ErrSource + QLatin1Char(')');
        });
        Ignoring([&] {
            QString line = message;
            line.replace(QLatin1Char('\n'), QLatin1Char(' '));
            TraceLogEncadre(-1, -1, -1, line, QStringLiteral("="), true);
        });
        if (number == kAutomationDisconnected) {
            const QString place = where + QLatin1Char(':') + QString::number(record.ErrLine);
            Ignoring([&] {
                TraceLogEncadre(-1, -1, -1, QStringLiteral("Automation Error |Sub: ") + place, QStringLiteral("="),
                                true);
            });
            Ignoring([&] {
                CurrentDialogs().MessageBox(QStringLiteral("Automation Error !!!\r\n\r\nSub: ") + place,
                                            App().MainWindowCaption, MsgButtons::Ok, MsgIcon::Critical, MsgOk);
            });
        }
    }

    Err().Clear();
    trace.InErrorManager = false;
}
