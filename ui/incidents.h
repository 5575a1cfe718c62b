#pragma once
// The main window's incident list: the "Incidents" tab, its check box and the
// purge button. The list itself is the trace log's (Trace().ListeIncidents);
// the tab is S().main.IncidentsTab and the check box S().main.CheckIncidents.
#include "support/controls.h"

#include <functional>

struct IncidentsControls {
    // Number of entries, shown in red on the tab's label while it is visible.
    LabelCtl LabelIncidentsCount;
    // The window makes the tab the current tab (true) or goes back to the tab
    // that was current before (false).
    std::function<void(bool current)> SelectIncidentsTab;
};
IncidentsControls& Incidents();

// Wires the check box's click to CheckIncidents_Click (done by the window).
void WireIncidentControls();
// Applies the check box's state to the tab.
void CheckIncidents_Click(int index = 0);
// Empties the list after the operator's confirmation.
void CommandIncidentsPurge_Click(int index = 0);
// After the trace log changed: the incident indicator of the trace log checks
// the box (which shows the tab), and the count follows the list.
void IncidentsChanged();
