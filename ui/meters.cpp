#include "ui/meters.h"

#include <QPainter>
#include <algorithm>
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

PeakMeterWidget::PeakMeterWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PeakMeterWidget::setActive(bool on) {
    if (on == active_) return;
    active_ = on;
    update();
}

void PeakMeterWidget::feed(const QVector<float>& peaks, double dt) {
    const QVector<double> level = ballistics_.levelDb(), peak = ballistics_.peakDb();
    ballistics_.update(peaks, dt);
    // Repainted only when what it shows moved by a pixel.
    const double pixelDb = -MeterBallistics::kFloorDb / std::max(1, width());
    bool moved = level.size() != ballistics_.levelDb().size();
    for (int c = 0; !moved && c < level.size(); ++c)
        moved = std::abs(level[c] - ballistics_.levelDb()[c]) >= pixelDb || std::abs(peak[c] - ballistics_.peakDb()[c]) >= pixelDb;
    if (moved && active_) update();
}

void PeakMeterWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colors_.background);
    const int n = active_ ? ballistics_.channels() : 0;
    const QRect area = rect().adjusted(3, 3, -3, -3);
    const int topZone = int(area.width() * MeterBallistics::Position(-6.0));
    // Scale marks.
    p.setPen(Blend(colors_.top, colors_.background, 70));
    for (double db : {-48.0, -36.0, -24.0, -18.0, -12.0, -6.0, -3.0}) {
        const int x = area.left() + int(area.width() * MeterBallistics::Position(db));
        p.drawLine(x, area.top(), x, area.bottom());
    }
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
