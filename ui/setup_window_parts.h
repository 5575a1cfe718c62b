#pragma once
// Small pieces shared by the files of the setup window.
#include "ui/bindings.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>
#include <QString>
#include <QWidget>

namespace ui::setup_parts {

constexpr int kTraceLinesKept = 2000;
inline const char* const kCommands[3] = {"Enregistrement", "Pause", "Arrêt"};

inline QLabel* Caption(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

inline QLabel* Header(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

inline QWidget* Scrolled(QWidget* page) {
    auto* area = new QScrollArea;
    area->setWidget(page);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

inline BoundLineEdit* ReadOnlyField(TextCtl& model, QWidget* parent) {
    auto* e = new BoundLineEdit(model, parent);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    return e;
}

}  // namespace ui::setup_parts
