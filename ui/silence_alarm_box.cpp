#include "ui/silence_alarm_box.h"

#include "recording/silence_alarm.h"
#include "ui/setup/frm_setup.h"
#include "ui/bindings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>

namespace ui {

namespace {

BoundLineEdit* NumberField(TextCtl& model, int lowest, int highest, const QString& name, QWidget* parent) {
    auto* field = new BoundLineEdit(model, parent, BoundLineEdit::Commit::OnFinish);
    field->setObjectName(name);
    field->setValidator(new QIntValidator(lowest, highest, field));
    field->setMaximumWidth(90);
    return field;
}

QLabel* RightAligned(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

}  // namespace

QGroupBox* BuildSilenceAlarmBox(int recorder, QWidget* parent) {
    FrmSetupControls& c = Setup();
    const size_t r = size_t(recorder);
    auto* box = new QGroupBox("Alarme de silence", parent);
    box->setObjectName(QString("SilenceAlarm%1").arg(recorder));
    auto* g = new QGridLayout(box);
    g->addWidget(RightAligned("Seuil (dBFS)", box), 0, 0);
    g->addWidget(NumberField(c.TexteSilenceSeuil[r], int(kSilenceThresholdLowest), 0,
                             QString("TexteSilenceSeuil%1").arg(recorder), box),
                 0, 1, Qt::AlignLeft);
    g->addWidget(RightAligned("Délai (s)", box), 1, 0);
    g->addWidget(NumberField(c.TexteSilenceDelai[r], 0, kSilenceDelayLongest,
                             QString("TexteSilenceDelai%1").arg(recorder), box),
                 1, 1, Qt::AlignLeft);
    g->addWidget(RightAligned("Notification UDP", box), 2, 0);
    auto* target = new BoundComboBox(c.ComboSilenceUDP[r], box);
    target->setObjectName(QString("ComboSilenceUDP%1").arg(recorder));
    target->setToolTip("00 : aucune ; 01 à 09 : la cible UDP de ce numéro reçoit "
                       "<Do:Alarm><Recorder:n><Silence:On> puis <Silence:Off>");
    g->addWidget(target, 2, 1, Qt::AlignLeft);
    auto* hint = new QLabel("Un incident est noté quand l'entrée reste sous le seuil plus longtemps que le délai, "
                            "et quand le son revient. Délai 0 : alarme désactivée.",
                            box);
    hint->setWordWrap(true);
    g->addWidget(hint, 3, 0, 1, 3);
    g->setColumnStretch(2, 1);
    return box;
}

}  // namespace ui
