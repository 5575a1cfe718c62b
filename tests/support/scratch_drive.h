#pragma once
// A fresh drive root for one test: $VELMORA_DRIVE points at a new temporary
// folder, the program-wide state that depends on it (application globals,
// settings paths cache, trace holders) starts over, and everything is put
// back afterwards.
#include "support/app_globals.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QByteArray>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ScratchDrive {
public:
    ScratchDrive() : savedDrive_(qgetenv("VELMORA_DRIVE")), hadDrive_(qEnvironmentVariableIsSet("VELMORA_DRIVE")) {
        root_ = dir_.path() + QLatin1Char('/');
        qputenv("VELMORA_DRIVE", root_.toLocal8Bit());
        savedApp_ = App();
        App().ApplicationFolder.clear();
        App().UseDefaultRoot = false;
        App().InstanceNumber = 0;
        ResetIniCache();
        ResetTraceState();
    }
    ~ScratchDrive() {
        if (hadDrive_) qputenv("VELMORA_DRIVE", savedDrive_);
        else qunsetenv("VELMORA_DRIVE");
        App() = savedApp_;
        ResetIniCache();
        ResetTraceState();
    }
    ScratchDrive(const ScratchDrive&) = delete;
    ScratchDrive& operator=(const ScratchDrive&) = delete;

    // The drive root, ending with "/".
    const QString& root() const { return root_; }
    QString path(const QString& relative) const { return root_ + relative; }
    QString makeFolder(const QString& relative) const {
        QDir().mkpath(root_ + relative);
        return root_ + relative;
    }

    // Every trace line so far (start-up buffer and pending lines).
    static QStringList traceLines() { return Trace().ListeLogTemp + Trace().ListeLog; }
    // Trace lines whose text contains the given text.
    static QStringList traceLinesWith(const QString& text) { return traceLines().filter(text); }

private:
    QTemporaryDir dir_;
    QString root_;
    QByteArray savedDrive_;
    bool hadDrive_;
    AppGlobals savedApp_;
};
