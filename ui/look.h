#pragma once
// The program's look: a dark studio palette that stays readable from across
// a control room, large elapsed-time digits, the record state in red.
#include <QColor>
#include <QFont>

class QApplication;

namespace ui {

// Fusion style with the dark palette; safe to call more than once.
void ApplyStudioLook();

// Colours shared by the widgets.
namespace colors {
inline QColor Window() { return QColor(34, 37, 41); }
inline QColor Panel() { return QColor(44, 48, 53); }
inline QColor Text() { return QColor(226, 229, 233); }
inline QColor DimText() { return QColor(140, 146, 153); }
inline QColor Accent() { return QColor(74, 144, 226); }
inline QColor Record() { return QColor(220, 38, 38); }
inline QColor RecordBright() { return QColor(255, 72, 66); }
inline QColor Pause() { return QColor(230, 160, 20); }
inline QColor ChronoIdle() { return QColor(236, 236, 236); }
}  // namespace colors

// A colour kept as the Windows RGB() value: red + green * 256 + blue * 65536.
inline QColor FromRgbValue(unsigned value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}
inline unsigned RgbValue(int r, int g, int b) { return unsigned(r) | (unsigned(g) << 8) | (unsigned(b) << 16); }

// The font of the elapsed-time labels.
QFont ChronoFont(int pointSize = 30);

}  // namespace ui
