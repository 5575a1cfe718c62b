#pragma once
// The operator's questions and choosers, with Qt. A question that nobody
// answers is answered with its default after a time limit, so that an
// unattended machine is never held by a box on its screen.
#include "support/dialogs.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace ui {

class QtDialogs : public Dialogs {
public:
    static constexpr int kMessageTimeoutMs = 60000;

    // owner: the window the boxes belong to (may return nullptr).
    explicit QtDialogs(std::function<QWidget*()> owner = {});

    int MessageBox(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon,
                   int defaultResult) override;
    int TaskDialog(const QString& title, const QString& text, const QList<QPair<int, QString>>& buttons,
                   int defaultId, int timeoutMs) override;
    QString SaveFile(const QString& folder, const QString& proposedName, const QString& filter) override;
    QString SaveFileWithFilter(const QString& folder, const QString& proposedName, const QString& filter,
                               int filterIndex) override;
    QString OpenFile(const QString& folder, const QString& proposedName, const QString& filter) override;
    QString FolderSelect(const QString& startFolder) override;

    // Time limit of message boxes (tests shorten it).
    void setMessageTimeoutMs(int ms) { messageTimeoutMs_ = ms; }

    // "Sons|*.wav;*.mp3|Tous|*.*" -> "Sons (*.wav *.mp3);;Tous (*.*)".
    static QString QtFilter(const QString& filter);

private:
    QWidget* owner() const { return owner_ ? owner_() : nullptr; }
    std::function<QWidget*()> owner_;
    int messageTimeoutMs_ = kMessageTimeoutMs;
};

// True when the program runs on a real display (not offscreen or minimal).
bool RealDisplay();

}  // namespace ui
