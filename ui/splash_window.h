#pragma once
// The small start-up message window: the program's name and the step of the
// start-up that is running (MainState().SplashText).
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace ui {

class SplashWindow : public QWidget {
public:
    explicit SplashWindow(QWidget* parent = nullptr);
    void refresh();
    QString shownText() const { return step_->text(); }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    QLabel* step_;
    QTimer poll_;
};

}  // namespace ui
