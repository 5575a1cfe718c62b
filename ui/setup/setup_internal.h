#pragma once
// Small helpers shared by the setup window's sources.
#include "support/controls.h"

#include <QString>

namespace setup_detail {


// The numeric value of a text as a 16-bit integer; raises "Overflow" (6)
// when it does not fit.
qint16 NumI16(const QString& text);
// Puts a numeric value on a check box: 0 clears, 1 checks, anything else
// raises "Invalid property value" (380) and leaves the box as it was.
void SetCheckValue(CheckBoxCtl& box, double value);
// Selects entry index of a list; an entry the list does not hold raises
// "Invalid property value" (380) and the list keeps its selection.
void SelectEntry(ComboCtl& list, double index);
// The selected entry on two digits; "00" (the blank entry) when nothing is
// selected.
QString Entry2(const ComboCtl& list);
// Shows a text on the start-up message while it is visible and lets the
// pending events run.
void SplashStep(const QString& text);

}  // namespace setup_detail
