#include "ui/meters.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <iterator>
#include <cmath>

namespace ui {

namespace {
// An opaque colour: `alpha`/255 of `over` on `under` (opaque painting stays
// on the event-loop thread; translucent strokes go to Qt's thread pool).
QColor Blend(const QColor& over, const QColor& under, int alpha) {
    auto mix = [alpha](int a, int b) { return (a * alpha + b * (255 - alpha)) / 255; };
    return QColor(mix(over.red(), under.red()), mix(over.green(), under.green()), mix(over.blue(), under.blue()));
}
}  // namespace

double MeterBallistics::ToDb(double linear) {
    if (!(linear > 1e-6)) return kFloorDb;
    return std::max(kFloorDb, 20.0 * std::log10(linear));
}

double MeterBallistics::Position(double db) {
    return std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0);
}

void MeterBallistics::update(const QVector<float>& peaks, double dt) {
    if (dt < 0) dt = 0;
    const int n = int(peaks.size());
    if (n != level_.size()) {
        level_.fill(kFloorDb, n);
        peak_.fill(kFloorDb, n);
        hold_.fill(0.0, n);
    }
    for (int c = 0; c < n; ++c) {
        if (peaks[c] >= kClipLinear) clipped_ = true;
        const double in = ToDb(peaks[c]);
        level_[c] = std::max(in, level_[c] - kFallDbPerSecond * dt);
        if (in >= peak_[c]) {
            peak_[c] = in;
            hold_[c] = kHoldSeconds;
        } else if (hold_[c] > 0) {
            hold_[c] -= dt;
        } else {
            peak_[c] = std::max(level_[c], peak_[c] - kPeakFallDbPerSecond * dt);
        }
    }
}

// ---- peak meter ----

namespace {
// Marks of the scale, in dBFS; the numbers are drawn where they fit.
constexpr double kScaleMarks[] = {-60.0, -48.0, -36.0, -24.0, -18.0, -12.0, -6.0, -3.0, 0.0};
constexpr double kScaleNumbers[] = {-60.0, -48.0, -36.0, -24.0, -12.0, -6.0, -3.0, 0.0};
constexpr int kClipSignWidth = 34;
constexpr int kClipSignGap = 4;
}  // namespace

PeakMeterWidget::PeakMeterWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    QFont f = font();
    f.setPointSizeF(std::max(6.5, f.pointSizeF() - 2));
    setFont(f);
    setToolTip(QStringLiteral("Niveau d'entrée en dBFS (crête maintenue 2 s). "
                              "SAT : saturation, reste allumé jusqu'à un clic"));
}

int PeakMeterWidget::scaleHeight() const { return fontMetrics().height() + 1; }

QSize PeakMeterWidget::sizeHint() const { return QSize(260, 26 + scaleHeight()); }
QSize PeakMeterWidget::minimumSizeHint() const { return QSize(140, 16 + scaleHeight()); }

QRect PeakMeterWidget::clipSignRect() const {
    const int h = height() - scaleHeight() - 3;
    return QRect(width() - kClipSignWidth - 2, 3, kClipSignWidth, std::max(8, h - 3));
}

QRect PeakMeterWidget::barsRect() const {
    const QRect sign = clipSignRect();
    return QRect(QPoint(3, 3), QPoint(sign.left() - kClipSignGap - 1, sign.bottom()));
}

QVector<QPair<int, QString>> PeakMeterWidget::scaleLabels() const {
    QVector<QPair<int, QString>> out;
    const QRect bars = barsRect();
    const QFontMetrics fm = fontMetrics();
    int lastRight = -1000;
    // From the top of the scale down: the numbers near 0 dB matter most.
    for (int k = int(std::size(kScaleNumbers)) - 1; k >= 0; --k) {
        const double db = kScaleNumbers[k];
        const int x = bars.left() + int(bars.width() * MeterBallistics::Position(db));
        const QString text = QString::number(int(db));
        const int w = fm.horizontalAdvance(text);
        int left = x - w / 2;
        left = std::clamp(left, bars.left(), bars.right() - w + 1);
        if (lastRight > -1000 && left + w + 3 > lastRight) continue;
        out.prepend({left, text});
        lastRight = left;
    }
    return out;
}

void PeakMeterWidget::setActive(bool on) {
    if (on == active_) return;
    active_ = on;
    update();
}

void PeakMeterWidget::clearClip() {
    if (!ballistics_.clipped()) return;
    ballistics_.clearClip();
    update();
}

void PeakMeterWidget::feed(const QVector<float>& peaks, double dt) {
    const QVector<double> level = ballistics_.levelDb(), peak = ballistics_.peakDb();
    const bool clipped = ballistics_.clipped();
    ballistics_.update(peaks, dt);
    // Repainted only when what it shows moved by a pixel.
    const double pixelDb = -MeterBallistics::kFloorDb / std::max(1, barsRect().width());
    bool moved = level.size() != ballistics_.levelDb().size() || clipped != ballistics_.clipped();
    for (int c = 0; !moved && c < level.size(); ++c)
        moved = std::abs(level[c] - ballistics_.levelDb()[c]) >= pixelDb || std::abs(peak[c] - ballistics_.peakDb()[c]) >= pixelDb;
    if (moved && active_) update();
}

void PeakMeterWidget::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && clipSignRect().contains(e->position().toPoint())) {
        clearClip();
        e->accept();
        return;
    }
    QWidget::mousePressEvent(e);
}

void PeakMeterWidget::mouseMoveEvent(QMouseEvent* e) {
    const bool overSign = clipSignRect().contains(e->position().toPoint());
    if (overSign && ballistics_.clipped()) setCursor(Qt::PointingHandCursor);
    else unsetCursor();
    QWidget::mouseMoveEvent(e);
}

void PeakMeterWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colors_.background);
    const int n = active_ ? ballistics_.channels() : 0;
    const QRect area = barsRect();
    const int topZone = int(area.width() * MeterBallistics::Position(-6.0));
    // Scale: marks across the bars, numbers underneath.
    const QColor markColour = Blend(colors_.top, colors_.background, 70);
    const QColor numberColour = Blend(QColor(235, 235, 235), colors_.background, 150);
    const int scaleTop = area.bottom() + 2;
    for (double db : kScaleMarks) {
        const int x = area.left() + int(area.width() * MeterBallistics::Position(db));
        const int xx = std::min(x, area.right());
        p.setPen(markColour);
        p.drawLine(xx, area.top(), xx, area.bottom());
        p.setPen(numberColour);
        p.drawLine(xx, scaleTop, xx, scaleTop + 2);
    }
    p.setPen(numberColour);
    const int textTop = scaleTop + 1;
    for (const auto& [x, text] : scaleLabels())
        p.drawText(QRect(x, textTop, fontMetrics().horizontalAdvance(text) + 1, height() - textTop), Qt::AlignLeft | Qt::AlignTop, text);
    const QString unit = QStringLiteral("dBFS");
    const QRect sign = clipSignRect();
    p.drawText(QRect(sign.left(), textTop, sign.width(), height() - textTop), Qt::AlignHCenter | Qt::AlignTop, unit);

    // The clip sign: dark until a clipped sample lights it.
    const bool lit = ballistics_.clipped();
    p.fillRect(sign, lit ? QColor(230, 30, 30) : Blend(QColor(120, 20, 20), colors_.background, 110));
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(lit ? QColor(255, 255, 255) : Blend(QColor(200, 120, 120), colors_.background, 120));
    p.drawText(sign, Qt::AlignCenter, QStringLiteral("SAT"));
    p.setFont(font());

    if (n == 0) return;
    const int gap = 2;
    const int h = std::max(2, (area.height() - gap * (n - 1)) / n);
    for (int c = 0; c < n; ++c) {
        const QRect bar(area.left(), area.top() + c * (h + gap), area.width(), h);
        const int w = int(bar.width() * MeterBallistics::Position(ballistics_.levelDb()[c]));
        p.fillRect(QRect(bar.left(), bar.top(), std::min(w, topZone), bar.height()), colors_.level);
        if (w > topZone) p.fillRect(QRect(bar.left() + topZone, bar.top(), w - topZone, bar.height()), colors_.top);
        const double pk = ballistics_.peakDb()[c];
        if (pk > MeterBallistics::kFloorDb) {
            const int x = bar.left() + int(bar.width() * MeterBallistics::Position(pk));
            p.fillRect(QRect(std::min(x, bar.right() - 2), bar.top(), 3, bar.height()),
                       pk > -6.0 ? colors_.top.lighter(130) : colors_.level.lighter(115));
        }
    }
}

// ---- level history ----

LevelHistoryWidget::LevelHistoryWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    columns_.fill(float(MeterBallistics::kFloorDb), 600);
}

void LevelHistoryWidget::setActive(bool on) {
    if (on == active_) return;
    active_ = on;
    update();
}

void LevelHistoryWidget::feed(const QVector<float>& peaks) {
    float loudest = 0;
    for (float v : peaks) loudest = std::max(loudest, v);
    const float db = float(MeterBallistics::ToDb(loudest));
    // Silence on a silent history draws nothing new.
    const bool silent = db <= float(MeterBallistics::kFloorDb) && (filled_ == 0 || columns_[(head_ + int(columns_.size()) - 1) % int(columns_.size())] <= float(MeterBallistics::kFloorDb));
    columns_[head_] = db;
    head_ = (head_ + 1) % int(columns_.size());
    filled_ = std::min(filled_ + 1, int(columns_.size()));
    if (active_ && !silent) update();
}

void LevelHistoryWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colors_.background);
    const QRect area = rect().adjusted(2, 2, -2, -2);
    const int mid = area.center().y();
    p.setPen(Blend(colors_.level, colors_.background, 40));
    p.drawLine(area.left(), mid, area.right(), mid);
    if (!active_) return;
    const int size = int(columns_.size());
    const int shown = std::min({filled_, area.width(), size});
    // Newest column at the right edge, older ones scrolling to the left.
    for (int k = 0; k < shown; ++k) {
        const int idx = ((head_ - 1 - k) % size + size) % size;
        const double db = columns_[idx];
        const int half = int((area.height() / 2.0) * MeterBallistics::Position(db));
        if (half <= 0) continue;
        const int x = area.right() - k;
        p.setPen(db > -6.0 ? colors_.top : colors_.level);
        p.drawLine(x, mid - half, x, mid + half);
    }
}

}  // namespace ui
