#pragma once
// The program's own button: draws an XPButton model (normal, hover, pressed,
// checked, disabled, focus) and hands the mouse and the keyboard to it. The
// model decides what a click does.
#include "support/xpbutton.h"

#include <QString>
#include <QWidget>
#include <functional>

namespace ui {

class XPButtonWidget : public QWidget {
    Q_OBJECT
public:
    enum class Glyph { None, Record, Pause, Stop };

    explicit XPButtonWidget(XPButton& model, const QString& defaultCaption = {}, Glyph glyph = Glyph::None,
                            QWidget* parent = nullptr);
    XPButton& model() const { return model_; }
    QString caption() const;
    // A checked button is drawn lit only while this says so (the record
    // button: only while a file is being written); otherwise it is drawn
    // armed, outlined.
    void setLitWhen(std::function<bool()> lit) { lit_ = std::move(lit); update(); }
    // Drawn lit now: checked, and (for the record button) a file is written.
    bool lit() const { return model_.Checked() && (!lit_ || lit_()); }
    Glyph glyph() const { return glyph_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The key codes the model expects (Windows virtual-key codes) for a Qt key;
    // 0 when the key has none.
    static int VirtualKey(int qtKey);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool event(QEvent* e) override;

private:
    void refresh();
    void moveFocus(XPButton::FocusMove move);
    XPButton& model_;
    QString defaultCaption_;
    Glyph glyph_;
    std::function<bool()> lit_;
};

}  // namespace ui
