#pragma once
// The silence alarm's fields on a recorder's tab of the setup window.
class QGroupBox;
class QWidget;

namespace ui {

// Threshold (dBFS) and delay (s, 0 = off) of recorder i, bound to
// Setup().TexteSilenceSeuil[i] and Setup().TexteSilenceDelai[i]. The fields
// accept whole numbers in range only and hand them over when left.
QGroupBox* BuildSilenceAlarmBox(int recorder, QWidget* parent);

}  // namespace ui
