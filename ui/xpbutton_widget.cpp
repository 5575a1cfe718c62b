#include "ui/xpbutton_widget.h"

#include "ui/bindings.h"
#include "ui/look.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace ui {

namespace {
int ModelButton(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return XPButton::LeftButton;
    case Qt::RightButton: return XPButton::RightButton;
    case Qt::MiddleButton: return XPButton::MiddleButton;
    default: return XPButton::NoButton;
    }
}
}  // namespace

XPButtonWidget::XPButtonWidget(XPButton& model, const QString& defaultCaption, Glyph glyph, QWidget* parent)
    : QWidget(parent), model_(model), defaultCaption_(defaultCaption), glyph_(glyph) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    QPointer<XPButtonWidget> self(this);
    model_.observe([self] {
        if (self) self->refresh();
    });
    refresh();
}

QString XPButtonWidget::caption() const { return model_.caption().isEmpty() ? defaultCaption_ : model_.caption(); }

QSize XPButtonWidget::sizeHint() const {
    const QFontMetrics fm(font());
    const int glyphWidth = glyph_ == Glyph::None ? 0 : fm.height() + 8;
    const int w = fm.horizontalAdvance(caption()) + glyphWidth + 28;
    return QSize(qMax(w, 72), fm.height() + 22);
}

QSize XPButtonWidget::minimumSizeHint() const { return QSize(48, sizeHint().height()); }

void XPButtonWidget::refresh() {
    ApplyControlBase(this, model_);
    updateGeometry();
    update();
}

int XPButtonWidget::VirtualKey(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;  // same codes
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Space: return XPButton::KeySpace;
    case Qt::Key_Left: return XPButton::KeyLeft;
    case Qt::Key_Up: return XPButton::KeyUpArrow;
    case Qt::Key_Right: return XPButton::KeyRight;
    case Qt::Key_Down: return XPButton::KeyDownArrow;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    default: return 0;
    }
}

void XPButtonWidget::moveFocus(XPButton::FocusMove move) {
    if (move == XPButton::FocusNext) focusNextPrevChild(true);
    else if (move == XPButton::FocusPrevious) focusNextPrevChild(false);
}

void XPButtonWidget::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && model_.enabled()) setFocus(Qt::MouseFocusReason);
    model_.mouseDown(ModelButton(e->button()));
    e->accept();
}

void XPButtonWidget::mouseReleaseEvent(QMouseEvent* e) {
    QPointer<XPButtonWidget> self(this);
    const bool over = rect().contains(e->position().toPoint());
    model_.mouseUp(ModelButton(e->button()), over);  // may run the click handler
    if (self) e->accept();
}

void XPButtonWidget::keyPressEvent(QKeyEvent* e) {
    const int vk = VirtualKey(e->key());
    if (vk == 0 && e->text().isEmpty()) {
        QWidget::keyPressEvent(e);
        return;
    }
    QPointer<XPButtonWidget> self(this);
    XPButton::FocusMove move = XPButton::FocusNone;
    if (vk != 0 && !(vk == XPButton::KeySpace && e->isAutoRepeat())) move = model_.keyDown(vk);
    if (!self) return;
    if (!e->text().isEmpty()) model_.keyPress(e->text().at(0).unicode());
    if (!self) return;
    moveFocus(move);
    e->accept();
}

void XPButtonWidget::keyReleaseEvent(QKeyEvent* e) {
    if (e->isAutoRepeat()) {
        e->accept();
        return;
    }
    const int vk = VirtualKey(e->key());
    if (vk == 0) {
        QWidget::keyReleaseEvent(e);
        return;
    }
    QPointer<XPButtonWidget> self(this);
    const XPButton::FocusMove move = model_.keyUp(vk);  // Space up clicks
    if (!self) return;
    moveFocus(move);
    e->accept();
}

void XPButtonWidget::enterEvent(QEnterEvent* e) {
    model_.setHover(true);
    QWidget::enterEvent(e);
}

void XPButtonWidget::leaveEvent(QEvent* e) {
    model_.setHover(false);
    QWidget::leaveEvent(e);
}

void XPButtonWidget::focusInEvent(QFocusEvent* e) {
    update();
    QWidget::focusInEvent(e);
}

void XPButtonWidget::focusOutEvent(QFocusEvent* e) {
    update();
    QWidget::focusOutEvent(e);
}

bool XPButtonWidget::event(QEvent* e) {
    // Arrow keys belong to the button (the model moves the focus itself).
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Space) {
            e->accept();
            return true;
        }
    }
    const bool r = QWidget::event(e);
    if (e->type() == QEvent::ParentChange) refresh();
    return r;
}

void XPButtonWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    const bool enabled = model_.enabled();
    const bool armed = model_.Checked() && lit_ && !lit_();
    const bool checked = model_.Checked() && !armed;
    const bool pressed = model_.pressed();
    const bool hover = model_.hover() && enabled;

    QColor top(70, 76, 84), bottom(48, 52, 58), border(96, 104, 114), text = colors::Text();
    QColor glyphColor = colors::Text();
    if (glyph_ == Glyph::Record) glyphColor = colors::RecordBright();
    if (glyph_ == Glyph::Pause) glyphColor = colors::Pause();
    if (checked) {
        QColor on = glyph_ == Glyph::Pause ? colors::Pause() : (glyph_ == Glyph::Record ? colors::Record() : colors::Accent());
        top = on.lighter(125);
        bottom = on.darker(115);
        border = on.lighter(150);
        text = Qt::white;
        glyphColor = Qt::white;
    }
    if (armed) {
        // Wanted but not writing: the outline only.
        border = glyph_ == Glyph::Record ? colors::Record() : colors::Accent();
    }
    if (hover) {
        top = top.lighter(115);
        bottom = bottom.lighter(115);
    }
    if (pressed) std::swap(top, bottom);
    if (!enabled) {
        top = QColor(46, 49, 54);
        bottom = QColor(40, 43, 47);
        border = QColor(62, 66, 72);
        text = QColor(100, 105, 112);
        glyphColor = text;
    }

    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    QPainterPath path;
    path.addRoundedRect(r, 6, 6);
    p.fillPath(path, g);
    p.setPen(QPen(border, (checked || armed) ? 2.0 : 1.0));
    p.drawPath(path);

    if (hasFocus() && enabled) {
        p.setPen(QPen(colors::Accent().lighter(130), 1.5, Qt::DotLine));
        p.drawRoundedRect(r.adjusted(3, 3, -3, -3), 4, 4);
    }

    const QFontMetrics fm(font());
    const QString cap = caption();
    const qreal g_size = glyph_ == Glyph::None ? 0 : fm.height() * 0.9;
    const qreal spacing = (glyph_ != Glyph::None && !cap.isEmpty()) ? 8 : 0;
    const qreal contentW = g_size + spacing + fm.horizontalAdvance(cap);
    qreal x = r.center().x() - contentW / 2;
    const qreal cy = r.center().y() + (pressed ? 1 : 0);
    if (glyph_ != Glyph::None) {
        const QRectF gr(x, cy - g_size / 2, g_size, g_size);
        p.setPen(Qt::NoPen);
        p.setBrush(glyphColor);
        switch (glyph_) {
        case Glyph::Record: p.drawEllipse(gr); break;
        case Glyph::Pause: {
            const qreal w = gr.width() * 0.34;
            p.drawRect(QRectF(gr.left() + gr.width() * 0.08, gr.top(), w, gr.height()));
            p.drawRect(QRectF(gr.right() - gr.width() * 0.08 - w, gr.top(), w, gr.height()));
            break;
        }
        case Glyph::Stop: p.drawRect(gr.adjusted(1, 1, -1, -1)); break;
        case Glyph::None: break;
        }
        x += g_size + spacing;
    }
    if (!cap.isEmpty()) {
        p.setPen(text);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(x, r.top(), r.right() - x, r.height()).translated(0, pressed ? 1 : 0),
                   Qt::AlignVCenter | Qt::AlignLeft, cap);
    }
}

}  // namespace ui
