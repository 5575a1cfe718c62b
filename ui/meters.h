#pragma once
// The two live displays of a recorder: a peak meter per channel (Picture1),
// in dBFS on a drawn scale from -60 to 0 with its numbers, a peak marker held
// two seconds and a clip sign ("SAT") that stays lit until it is clicked; and
// a scrolling level history (Picture4). Both are fed at most 25 times a
// second with the input's peak levels and drawn with the display's three
// colours (background, level, top of the scale).
#include <QColor>
#include <QElapsedTimer>
#include <QPair>
#include <QVector>
#include <QWidget>

namespace ui {

// Meter ballistics in dB: the bar rises at once and falls smoothly; the peak
// marker holds for a moment before it falls. GUI-free.
class MeterBallistics {
public:
    static constexpr double kFloorDb = -60.0;
    static constexpr double kFallDbPerSecond = 20.0;
    static constexpr double kHoldSeconds = 2.0;
    static constexpr double kPeakFallDbPerSecond = 12.0;
    // A sample at or above -0.1 dBFS counts as clipped.
    static constexpr double kClipLinear = 0.98855309;  // 10^(-0.1/20)

    // Feeds the latest peaks (0..1 per channel) after dtSeconds.
    void update(const QVector<float>& peaks, double dtSeconds);
    const QVector<double>& levelDb() const { return level_; }
    const QVector<double>& peakDb() const { return peak_; }
    int channels() const { return int(level_.size()); }
    // A channel reached the top of the scale since the sign was last cleared.
    bool clipped() const { return clipped_; }
    void clearClip() { clipped_ = false; }

    static double ToDb(double linear);
    // 0..1 position of a level on the scale.
    static double Position(double db);

private:
    QVector<double> level_, peak_, hold_;
    bool clipped_ = false;
};

struct MeterColors {
    QColor background{28, 0, 0};
    QColor level{245, 213, 0};
    QColor top{205, 92, 92};
    bool operator==(const MeterColors& o) const { return background == o.background && level == o.level && top == o.top; }
};

class PeakMeterWidget : public QWidget {
public:
    explicit PeakMeterWidget(QWidget* parent = nullptr);
    void setColors(const MeterColors& c) {
        if (c == colors_) return;
        colors_ = c;
        update();
    }
    void setActive(bool on);
    bool active() const { return active_; }
    // Latest peaks; dtSeconds since the previous feed.
    void feed(const QVector<float>& peaks, double dtSeconds);
    const MeterBallistics& ballistics() const { return ballistics_; }
    // The clip sign: lit from the first clipped sample until it is clicked.
    bool clipLit() const { return ballistics_.clipped(); }
    void clearClip();
    QRect clipSignRect() const;
    QRect barsRect() const;
    // The numbers under the scale, with their place (x, in pixels).
    QVector<QPair<int, QString>> scaleLabels() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    int scaleHeight() const;
    MeterBallistics ballistics_;
    MeterColors colors_;
    bool active_ = false;
};

class LevelHistoryWidget : public QWidget {
public:
    explicit LevelHistoryWidget(QWidget* parent = nullptr);
    void setColors(const MeterColors& c) {
        if (c == colors_) return;
        colors_ = c;
        update();
    }
    void setActive(bool on);
    // One column per feed: the loudest channel, in dB.
    void feed(const QVector<float>& peaks);
    QSize sizeHint() const override { return QSize(260, 44); }
    QSize minimumSizeHint() const override { return QSize(120, 28); }
    int columns() const { return int(columns_.size()); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QVector<float> columns_;  // ring of dB values, oldest first
    int head_ = 0;
    int filled_ = 0;
    MeterColors colors_;
    bool active_ = false;
};

}  // namespace ui
