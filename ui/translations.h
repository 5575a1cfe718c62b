#pragma once
// The interface is French: Qt's own texts (file choosers, standard buttons,
// context menus of the text fields) come from Qt's French translations.
namespace ui {

// Loads Qt's French translations into the application; false when they are
// not installed (the program then runs with Qt's English texts).
bool InstallFrenchTranslations();

}  // namespace ui
