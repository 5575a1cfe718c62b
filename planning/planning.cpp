// Installation of the planning module into the setup window.
#include "planning/planning.h"

#include "planning/planning_state.h"

void InstallPlanning() {
    SetupHooks& links = SetupLinks();
    links.FillPlanningListView = [] {
        FillPlanningListView();
        InitListViewPosLargeur();
    };
    links.MemoriseModifications = [] { MemoriseModifications(); };
    links.NextTimingAnalysis = [] { NextTimingAnalysis(); };

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

void ResetPlanningState() {
    Planning() = PlanningRuntime{};
    TimerPlanning().stop();
    TimerPlanning().setInterval(10000);
}
