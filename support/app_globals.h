#pragma once
// Process-wide values shared by the support library and the windows.
#include <QString>

struct AppGlobals {
    // Program folder of the product family (ends with "/").
    QString ApplicationFolder;
    // True when ApplicationFolder is the fixed default root of the family.
    bool UseDefaultRoot = false;
    // 0 without instance on the command line, else 1..10.
    int InstanceNumber = 0;
    // Caption of the main window (title of message boxes).
    QString MainWindowCaption;
    // "dd/MM/yyyy" and "HH:MM:SS" once the start-up has set them.
    QString DateDisplayFormat = "dd/MM/yyyy";
    QString TimeDisplayFormat = "HH:MM:SS";
    // Executable name without extension, product name.
    QString ExeName = "VM3_Quillon_Recorder";
    QString ProductName = "Quillon Recorder";
};

AppGlobals& App();

// Build date and time of the program: "yyyy.MMdd.hhmm".
QString VersionApplication();
