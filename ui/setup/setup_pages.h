#pragma once
// The pages of the setup window that drive the program's modules: the UDP
// lines and targets, the serial link, the digital I/O card, the planning.
// Each Install function hooks its module into the window (the window's load
// opens the companion sockets, the card, the port; the controls edit the
// station's settings) and may be called again (tests).
void InstallUdpPage();
void InstallSerialPage();
void InstallIoCardPage();
void InstallPlanning();
// Every page, and the setup window's part of the main window's start-up and
// shutdown (its load, its unload, the formats shown).
void InstallSetupController();
