#include "ui/qt_dialogs.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace ui {

bool RealDisplay() {
    const QString name = QGuiApplication::platformName();
    return !name.isEmpty() && name != "offscreen" && name != "minimal";
}

QtDialogs::QtDialogs(std::function<QWidget*()> owner) : owner_(std::move(owner)) {}

namespace {

// Runs a box that presses `fallback` for the operator when `timeoutMs` passes;
// the button shows the seconds left.
void RunWithTimeout(QMessageBox& box, QAbstractButton* fallback, int timeoutMs) {
    if (!fallback || timeoutMs <= 0) {
        box.exec();
        return;
    }
    const QString caption = fallback->text();
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setInterval(std::min(1000, std::max(50, timeoutMs / 4)));
    auto update = [&] {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) {
            tick.stop();
            fallback->click();
            return;
        }
        fallback->setText(caption + QString(" (%1)").arg((left + 999) / 1000));
    };
    QObject::connect(&tick, &QTimer::timeout, &box, update);
    QTimer::singleShot(timeoutMs, &box, [&] {
        if (box.isVisible()) fallback->click();
    });
    update();
    tick.start();
    box.exec();
    tick.stop();
}

QMessageBox::Icon QtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Critical: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString StartPath(const QString& folder, const QString& name) {
    if (folder.isEmpty()) return name;
    QString f = folder;
    if (!f.endsWith('/')) f += '/';
    return f + name;
}

}  // namespace

int QtDialogs::MessageBox(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon,
                          int defaultResult) {
    QMessageBox box(QtIcon(icon), title, text, QMessageBox::NoButton, owner());
    box.setWindowModality(Qt::ApplicationModal);
    QAbstractButton* fallback = nullptr;
    if (buttons == MsgButtons::YesNo) {
        QPushButton* yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        yes->setText("Oui");
        no->setText("Non");
        QPushButton* def = defaultResult == MsgYes ? yes : no;
        box.setDefaultButton(def);
        box.setEscapeButton(def);
        fallback = def;
    } else {
        QPushButton* ok = box.addButton(QMessageBox::Ok);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        fallback = ok;
    }
    RunWithTimeout(box, fallback, messageTimeoutMs_);
    if (buttons == MsgButtons::Ok) return MsgOk;
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return defaultResult;
    return box.standardButton(clicked) == QMessageBox::Yes ? MsgYes : MsgNo;
}

int QtDialogs::TaskDialog(const QString& title, const QString& text, const QList<QPair<int, QString>>& buttons,
                          int defaultId, int timeoutMs) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, owner());
    box.setWindowModality(Qt::ApplicationModal);
    QHash<QAbstractButton*, int> ids;
    QPushButton* def = nullptr;
    for (const auto& b : buttons) {
        QPushButton* pb = box.addButton(b.second, QMessageBox::ActionRole);
        ids.insert(pb, b.first);
        if (b.first == defaultId) def = pb;
    }
    if (def) {
        box.setDefaultButton(def);
        box.setEscapeButton(def);
    }
    RunWithTimeout(box, def, timeoutMs);
    QAbstractButton* clicked = box.clickedButton();
    return clicked && ids.contains(clicked) ? ids.value(clicked) : defaultId;
}

QString QtDialogs::QtFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << parts[i].trimmed() + " (" + patterns.trimmed() + ")";
    }
    if (out.isEmpty() && !filter.trimmed().isEmpty()) out << filter.trimmed();
    return out.join(";;");
}

QString QtDialogs::SaveFile(const QString& folder, const QString& proposedName, const QString& filter) {
    // The caller asks its own overwrite question.
    return QFileDialog::getSaveFileName(owner(), QString(), StartPath(folder, proposedName), QtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString QtDialogs::SaveFileWithFilter(const QString& folder, const QString& proposedName, const QString& filter,
                                      int filterIndex) {
    const QString filters = QtFilter(filter);
    QString selected = filters.split(QStringLiteral(";;")).value(filterIndex);
    return QFileDialog::getSaveFileName(owner(), QString(), StartPath(folder, proposedName), filters, &selected,
                                        QFileDialog::DontConfirmOverwrite);
}

QString QtDialogs::OpenFile(const QString& folder, const QString& proposedName, const QString& filter) {
    return QFileDialog::getOpenFileName(owner(), QString(), StartPath(folder, proposedName), QtFilter(filter));
}

QString QtDialogs::FolderSelect(const QString& startFolder) {
    QString chosen = QFileDialog::getExistingDirectory(owner(), QString(), startFolder);
    if (!chosen.isEmpty() && !chosen.endsWith('/')) chosen += '/';
    return chosen;
}

}  // namespace ui
