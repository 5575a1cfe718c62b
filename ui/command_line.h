#pragma once
// The options that the program answers on its standard output before any
// window or display is needed: "--help" and "--version". Everything else of
// the command line (/Instance=, --test-tone, Qt's own options) goes on to
// the program.
#include <QString>
#include <QStringList>

namespace ui {

QString HelpText();
// Name and version of the program, then the libraries it runs with.
QString VersionText();
// The text to print for these arguments, or empty when the program must run.
QString InformationRequested(const QStringList& arguments);

}  // namespace ui
