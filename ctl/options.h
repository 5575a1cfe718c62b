#pragma once
// The command line of quillon-ctl.
#include <QString>
#include <QStringList>

namespace ctl {

enum Exit { kDone = 0, kRefused = 1, kUsage = 2, kNoProgram = 3 };

struct Options {
    QString command;      // status, start, pause, continue, stop, incidents, follow
    int instance = -1;    // -1: instance 0, or the only program running
    QString socket;       // --socket: this path, no search
    bool json = false;
    int recorder = 0;     // start, pause, continue, stop
    QString name, folder;
    qint64 duration = 0;
    int last = 0;         // incidents: 0 = the program's default
    bool levels = false;  // follow
    bool help = false, version = false;
    QString error;        // French usage error, when the line is wrong
};

Options ParseOptions(const QStringList& arguments);  // without the program's name
QString HelpText();

}  // namespace ctl
