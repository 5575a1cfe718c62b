// The Qt questions: an unanswered question gives its default after its time
// limit; the operator's answer wins when it comes first.
#include "ui/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>

namespace {

// Presses the button whose text starts with `caption` in the box that is on
// screen, as soon as there is one.
void PressWhenShown(const QString& caption, QString* defaultCaptionSeen = nullptr) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, caption, defaultCaptionSeen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (defaultCaptionSeen && box->defaultButton()) *defaultCaptionSeen = box->defaultButton()->text();
        for (QAbstractButton* b : box->buttons()) {
            if (b->text().startsWith(caption)) {
                poll->stop();
                poll->deleteLater();
                b->click();
                return;
            }
        }
    });
    poll->start();
}

}  // namespace

TEST(QtDialogs, UnansweredYesNoQuestionTakesItsDefault) {
    ui::QtDialogs dialogs;
    dialogs.setMessageTimeoutMs(300);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(dialogs.MessageBox("Voulez-vous enregistrer les données ?", "Options", MsgButtons::YesNo,
                                 MsgIcon::Question, MsgYes),
              MsgYes);
    EXPECT_EQ(dialogs.MessageBox("Voulez-vous purger le liste des incidents ?", "Quillon", MsgButtons::YesNo,
                                 MsgIcon::Question, MsgNo),
              MsgNo);
    EXPECT_GE(t.elapsed(), 500);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtDialogs, OperatorAnswerWinsOverTheDefault) {
    ui::QtDialogs dialogs;
    dialogs.setMessageTimeoutMs(10000);
    QString defaultCaption;
    PressWhenShown("Oui", &defaultCaption);
    EXPECT_EQ(dialogs.MessageBox("Question", "T", MsgButtons::YesNo, MsgIcon::Question, MsgNo), MsgYes);
    EXPECT_TRUE(defaultCaption.startsWith("Non (")) << defaultCaption.toStdString();
    PressWhenShown("OK");
    EXPECT_EQ(dialogs.MessageBox("Information", "T", MsgButtons::Ok, MsgIcon::Information, MsgOk), MsgOk);
}

TEST(QtDialogs, TaskDialogPressesItsDefaultWhenTimeRunsOut) {
    ui::QtDialogs dialogs;
    const QList<QPair<int, QString>> buttons = {{101, "Oui"}, {102, "Non"}};
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(dialogs.TaskDialog("Velmora", "Voulez-vous quitter le programme ?", buttons, 102, 400), 102);
    EXPECT_GE(t.elapsed(), 350);
    PressWhenShown("Oui");
    EXPECT_EQ(dialogs.TaskDialog("Velmora", "Voulez-vous quitter le programme ?", buttons, 102, 10000), 101);
}

TEST(QtDialogs, FiltersBecomeQtFilters) {
    EXPECT_EQ(ui::QtDialogs::QtFilter("Logs|*.log"), "Logs (*.log)");
    EXPECT_EQ(ui::QtDialogs::QtFilter("Sons|*.wav;*.mp3|Tous les fichiers|*.*"),
              "Sons (*.wav *.mp3);;Tous les fichiers (*.*)");
    EXPECT_EQ(ui::QtDialogs::QtFilter(""), "");
}
