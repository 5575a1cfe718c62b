// The planning tab of the setup window, wired to the planning module.
#include "ui/setup/setup_pages.h"

#include "planning/planning.h"
#include "planning/planning_state.h"
#include "ui/setup/frm_setup.h"
#include "ui/setup/planning_editor.h"

void InstallPlanning() {
    SetupHooks& links = SetupLinks();
    links.FillPlanningListView = [] {
        FillPlanningListView();
        InitListViewPosLargeur();
    };
    links.MemoriseModifications = [] { MemoriseModifications(); };
    links.NextTimingAnalysis = [] { NextTimingAnalysis(); };
    PlanningDisplay().ShowNextTiming = [](const QString& text) { Setup().TextProchainTiming.setText(text); };

    static bool wired = false;
    if (wired) return;
    wired = true;
    AddSetupWiring([] {
        FrmSetupControls& c = Setup();
        c.ComboFrequence.onClick = [] { ComboFrequence_Click(); };
        // Every other change of the editor counts as a change of the settings.
        for (ComboCtl* l : {&c.ComboRecorder, &c.ComboAnnee, &c.ComboMois, &c.ComboSemaine, &c.ComboJour,
                            &c.ComboHeure, &c.ComboMinute})
            l->onClick = MarkSettingsModified;
        c.CheckPlanningActif.onClick = MarkSettingsModified;
        for (TextCtl* t : {&c.TextDuree, &c.TexteDossierFichierSon, &c.TexteASC82Plus}) t->onChange = MarkSettingsModified;
        c.CommandDossierFichierSon.setToolTip(QStringLiteral("Fichier à générer..."));
    });
}
