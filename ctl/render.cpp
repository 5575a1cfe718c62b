// quillon-ctl's French output.
#include "render.h"

#include <QHash>
#include <QJsonDocument>
#include <QLocale>
#include <QStringList>
#include <cmath>

namespace ctl {

namespace {

const QString kNone = QStringLiteral("-");

QString S(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

// A table with columns as wide as their longest cell.
QString Table(const QList<QStringList>& rows) {
    QList<int> widths;
    for (const QStringList& row : rows)
        for (int i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths << 0;
            widths[i] = qMax(widths[i], int(row.at(i).size()));
        }
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            const bool last = i == row.size() - 1;
            line += last ? row.at(i) : row.at(i).leftJustified(widths.at(i)) + QStringLiteral("  ");
        }
        out += line.trimmed() + QLatin1Char('\n');
    }
    return out;
}

QString Time(const QString& iso) {
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODate);
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("dd/MM HH:mm:ss")) : iso;
}

QString Size(double bytes) {
    const QLocale fr(QLocale::French);
    if (bytes >= 1e9) return fr.toString(bytes / 1e9, 'f', 1) + QStringLiteral(" Go");
    if (bytes >= 1e6) return fr.toString(bytes / 1e6, 'f', 1) + QStringLiteral(" Mo");
    return fr.toString(bytes / 1e3, 'f', 0) + QStringLiteral(" ko");
}

QString Rec(const QJsonObject& o) { return QStringLiteral("Rec. %1").arg(o.value(QLatin1String("recorder")).toInt()); }

}  // namespace

QString Clock(double seconds) {
    const qint64 s = qint64(std::floor(qMax(0.0, seconds)));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString TimeLeft(double seconds) {
    const qint64 s = qint64(qMax(0.0, seconds));
    if (s >= 2 * 86400) return QStringLiteral("%1 j").arg(s / 86400);
    if (s >= 3600) return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 min").arg(s / 60);
}

QString StateWords(const QJsonObject& r) {
    const QString text = S(r, "state_text");
    if (!text.isEmpty()) return text;
    static const QHash<QString, QString> words = {
        {"out-of-service", "Hors service"}, {"idle", "Arrêté"},
        {"waiting", "En attente du périphérique"}, {"recording", "Enregistrement"},
        {"paused", "En pause"}, {"stopping", "Fin du fichier en cours"},
        {"failed", "En échec (nouvel essai en cours)"}};
    return words.value(S(r, "state"), S(r, "state"));
}

QString StatusText(const QJsonObject& answer) {
    const QJsonObject p = answer.value(QLatin1String("program")).toObject();
    QString head = QStringLiteral("Quillon Recorder %1, instance %2, pid %3")
                       .arg(S(p, "version"))
                       .arg(p.value(QLatin1String("instance")).toInt())
                       .arg(p.value(QLatin1String("pid")).toInteger());
    if (p.value(QLatin1String("closing")).toBool())
        head += QStringLiteral(" : fermeture en cours");
    else if (!p.value(QLatin1String("startup_done")).toBool(true))
        head += QStringLiteral(" : démarrage en cours");
    QList<QStringList> rows{{"Rec", "Nom", "État", "Durée", "Autonomie", "Silence", "Fichier"}};
    QStringList incidents;
    for (const QJsonValue& v : answer.value(QLatin1String("recorders")).toArray()) {
        const QJsonObject r = v.toObject();
        QString name = S(r, "label");
        if (r.value(QLatin1String("logging")).toBool()) name += QStringLiteral(" (pige)");
        QString state = StateWords(r);
        if (!r.value(QLatin1String("in_service")).toBool(true)) {
            rows << QStringList{QString::number(r.value(QLatin1String("recorder")).toInt()), name, state};
            continue;
        }
        if (r.contains(QLatin1String("device_present")) && !r.value(QLatin1String("device_present")).toBool())
            state += QStringLiteral(" (périphérique absent)");
        const QString elapsed = r.contains(QLatin1String("elapsed_s"))
                                    ? Clock(r.value(QLatin1String("elapsed_s")).toDouble())
                                    : kNone;
        QString disk = kNone;
        if (r.contains(QLatin1String("seconds_left"))) {
            const double left = r.value(QLatin1String("seconds_left")).toDouble();
            disk = TimeLeft(left);
            if (left < 3600) disk += QStringLiteral(" !");
        }
        QString silence = QStringLiteral("non");
        if (r.value(QLatin1String("silence")).toBool())
            silence = QStringLiteral("OUI (%1 s)").arg(qint64(r.value(QLatin1String("silence_s")).toDouble()));
        rows << QStringList{QString::number(r.value(QLatin1String("recorder")).toInt()), name, state, elapsed, disk,
                            silence, r.contains(QLatin1String("file")) ? S(r, "file") : kNone};
        const QJsonObject last = r.value(QLatin1String("last_incident")).toObject();
        if (!last.isEmpty())
            incidents << QStringLiteral("  %1  %2  %3").arg(Rec(r), Time(S(last, "time")), S(last, "text"));
    }
    QString out = head + QStringLiteral("\n\n") + Table(rows);
    if (!incidents.isEmpty())
        out += QStringLiteral("\nDernier incident :\n") + incidents.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return out;
}

QString RecorderSummary(const QJsonObject& r) {
    QString out = Rec(r);
    if (!S(r, "label").isEmpty()) out += QStringLiteral(" (%1)").arg(S(r, "label"));
    out += QStringLiteral(" : ") + StateWords(r);
    if (r.contains(QLatin1String("file"))) out += QStringLiteral(", ") + S(r, "file");
    return out;
}

QString IncidentsText(const QJsonArray& incidents) {
    if (incidents.isEmpty()) return QStringLiteral("Aucun incident.\n");
    QList<QStringList> rows{{"N°", "Date", "Rec", "Vu", "Incident"}};
    for (const QJsonValue& v : incidents) {
        const QJsonObject i = v.toObject();
        rows << QStringList{QString::number(i.value(QLatin1String("seq")).toInteger()), Time(S(i, "time")),
                            i.contains(QLatin1String("recorder")) ? QString::number(i.value(QLatin1String("recorder")).toInt())
                                                                  : kNone,
                            i.value(QLatin1String("acknowledged")).toBool() ? QStringLiteral("oui")
                                                                            : QStringLiteral("NON"),
                            S(i, "text")};
    }
    return Table(rows);
}

QString EventText(const QJsonObject& e, const QDateTime& now) {
    const QString stamp = now.toString(QStringLiteral("HH:mm:ss"));
    const QString kind = S(e, "event");
    QString text;
    if (kind == QLatin1String("state")) {
        text = QStringLiteral("%1 : %2").arg(Rec(e), StateWords(e));
    } else if (kind == QLatin1String("file-started")) {
        text = QStringLiteral("%1 : fichier commencé %2").arg(Rec(e), S(e, "path"));
    } else if (kind == QLatin1String("file-finished")) {
        const QLocale fr(QLocale::French);
        text = QStringLiteral("%1 : fichier %2 %3 (%4 s, %5)")
                   .arg(Rec(e),
                        e.value(QLatin1String("ok")).toBool(true) ? QStringLiteral("terminé")
                                                                  : QStringLiteral("terminé EN ERREUR"),
                        S(e, "path"), fr.toString(e.value(QLatin1String("seconds")).toDouble(), 'f', 1),
                        Size(e.value(QLatin1String("bytes")).toDouble()));
    } else if (kind == QLatin1String("incident")) {
        text = QStringLiteral("incident n° %1 : %2").arg(e.value(QLatin1String("seq")).toInteger()).arg(S(e, "text"));
    } else if (kind == QLatin1String("levels")) {
        QStringList parts;
        for (const QJsonValue& v : e.value(QLatin1String("recorders")).toArray()) {
            const QJsonObject r = v.toObject();
            QStringList peaks;
            for (const QJsonValue& p : r.value(QLatin1String("peak_dbfs")).toArray())
                peaks << QString::number(p.toDouble(), 'f', 1);
            QString part = QStringLiteral("%1 %2 dBFS").arg(r.value(QLatin1String("recorder")).toInt()).arg(peaks.join(QLatin1Char('/')));
            if (r.contains(QLatin1String("short_term_lufs")))
                part += QStringLiteral(" %1 LUFS").arg(r.value(QLatin1String("short_term_lufs")).toDouble(), 0, 'f', 1);
            parts << part;
        }
        text = QStringLiteral("niveaux  ") + parts.join(QStringLiteral(" | "));
    } else {
        text = kind + QStringLiteral(" ") +
               QString::fromUtf8(QJsonDocument(e).toJson(QJsonDocument::Compact));
    }
    return stamp + QStringLiteral("  ") + text;
}

}  // namespace ctl
