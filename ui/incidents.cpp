#include "ui/incidents.h"

#include "core/main_controls.h"
#include "platform/os.h"
#include "support/app_globals.h"
#include "support/dialogs.h"
#include "support/errors.h"
#include "support/tracelog.h"

IncidentsControls& Incidents() {
    static IncidentsControls controls;
    return controls;
}

void WireIncidentControls() {
    S().main.IncidentsTab.setCaption("Incidents");
    S().main.CheckIncidents.setCaption("Incidents");
    S().main.CheckIncidents.onClick = [] { CheckIncidents_Click(0); };
}

void CheckIncidents_Click(int) {
    ErrorTrap trap("Frm_Main:CheckIncidents_Click");
    const bool checked = S().main.CheckIncidents.checked();
    trap(10, [&] { Trace().CheckIncidents = checked; });
    if (checked) {
        trap(20, [&] {
            S().main.IncidentsTab.setVisible(true);
            Incidents().LabelIncidentsCount.setText(QString::number(Trace().ListeIncidents.size()));
        });
        trap(30, [&] {
            if (Incidents().SelectIncidentsTab) Incidents().SelectIncidentsTab(true);
            platform::LetEventsRun();
        });
    } else {
        trap(40, [&] {
            S().main.IncidentsTab.setVisible(false);
            if (Incidents().SelectIncidentsTab) Incidents().SelectIncidentsTab(false);
        });
    }
}

void CommandIncidentsPurge_Click(int) {
    ErrorTrap trap("Frm_Main:CommandIncidentsPurge_Click");
    int answer = MsgNo;
    trap(10, [&] {
        const QString title = S().main.caption.isEmpty() ? App().MainWindowCaption : S().main.caption;
        answer = CurrentDialogs().MessageBox("Voulez-vous purger le liste des incidents ?", title, MsgButtons::YesNo,
                                             MsgIcon::Question, MsgNo);
    });
    if (answer != MsgYes) return;
    trap(20, [&] {
        Trace().ListeIncidents.clear();
        Incidents().LabelIncidentsCount.setText("0");
        S().main.CheckIncidents.setChecked(false);  // hides the tab
        Trace().CheckIncidents = false;
    });
    trap(30, [&] {
        if (Trace().OnChanged) Trace().OnChanged();
    });
}

void IncidentsChanged() {
    ErrorTrap trap("Frm_Main:IncidentsChanged");
    trap(10, [&] {
        if (Trace().CheckIncidents && !S().main.CheckIncidents.checked()) S().main.CheckIncidents.setChecked(true);
    });
    trap(20, [&] {
        if (S().main.IncidentsTab.visible())
            Incidents().LabelIncidentsCount.setText(QString::number(Trace().ListeIncidents.size()));
    });
}
