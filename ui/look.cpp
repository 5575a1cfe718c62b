#include "ui/look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QStyleFactory>

namespace ui {

void ApplyStudioLook() {
    if (!qApp) return;
    if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);

    QPalette p;
    p.setColor(QPalette::Window, colors::Window());
    p.setColor(QPalette::WindowText, colors::Text());
    p.setColor(QPalette::Base, QColor(24, 26, 29));
    p.setColor(QPalette::AlternateBase, QColor(38, 41, 46));
    p.setColor(QPalette::ToolTipBase, QColor(250, 250, 220));
    p.setColor(QPalette::ToolTipText, QColor(20, 20, 20));
    p.setColor(QPalette::Text, colors::Text());
    p.setColor(QPalette::Button, colors::Panel());
    p.setColor(QPalette::ButtonText, colors::Text());
    p.setColor(QPalette::BrightText, colors::RecordBright());
    p.setColor(QPalette::Link, colors::Accent());
    p.setColor(QPalette::Highlight, colors::Accent());
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, colors::DimText());
    p.setColor(QPalette::Mid, QColor(60, 64, 70));
    p.setColor(QPalette::Dark, QColor(20, 22, 25));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, QColor(105, 110, 116));
    }
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(32, 34, 38));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(38, 41, 45));
    QApplication::setPalette(p);

    QFont base = QApplication::font();
    if (base.pointSizeF() < 10.5) base.setPointSizeF(10.5);
    QApplication::setFont(base);

    qApp->setStyleSheet(
        "QGroupBox { border: 1px solid #4a5058; border-radius: 6px; margin-top: 0.8em; padding: 10px 6px 4px 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 10px; top: 0px;"
        " padding: 0 4px; color: #9cc7f5; font-weight: bold; }"
        "QTabBar::tab { padding: 6px 14px; }"
        // Check boxes that stay visible on the dark panels.
        "QCheckBox::indicator { width: 13px; height: 13px; border: 1px solid #8a939e; border-radius: 3px;"
        " background: #16181b; }"
        "QCheckBox::indicator:checked { background: #4a90e2; border-color: #9cc7f5; }"
        "QCheckBox::indicator:disabled { border-color: #4a4f56; background: #24272b; }"
        "QCheckBox::indicator:checked:disabled { background: #3a4d63; }"
        "QToolTip { border: 1px solid #888; }");
}

QFont ChronoFont(int pointSize) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setFamilies({"DejaVu Sans Mono", "Noto Sans Mono", f.family()});
    f.setPointSize(pointSize);
    f.setBold(true);
    f.setStyleHint(QFont::Monospace);
    return f;
}

}  // namespace ui
