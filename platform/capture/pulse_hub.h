#pragma once
// The process's one connection to the PulseAudio server (or PipeWire's
// PulseAudio server): a threaded main loop and one context shared by every
// engine. It keeps a copy of the sources (monitors of sinks included) in the
// server's order, follows arrivals, removals and changes, reconnects when the
// server comes back, and opens capture streams.
#include "platform/capture/capture_source.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

namespace platform::capture {

struct SourcePortInfo {
    QString name;
    QString description;
};

struct SourceInfo {
    quint32 index = 0;
    QString name;         // server name, e.g. "alsa_input.pci-0000_00_1b.0.analog-stereo"
    QString description;  // what people see
    bool monitor = false;
    int rate = 0;
    int channels = 0;
    int bits = 16;
    QVector<SourcePortInfo> ports;
    int activePort = -1;
    int volumeChannels = 0;
    int level = 0;  // source volume 0..100 (average of the channels, 100 = normal)
};

enum class HubEvent { DeviceChange, FormatsAvailable };

class PulseHub {
public:
    static PulseHub& Instance();

    // Starts the connection once; waits at most waitMs for the server's first
    // answer (its source list, or a failure).
    void Start(int waitMs);
    // True once the server answered at least once (listing done, or no server).
    bool Answered() const;
    // True while connected and listed.
    bool Connected() const;
    QVector<SourceInfo> Sources() const;
    QString ServerText() const;

    // Source volume 0..100 of every channel; line switch. 0, -50 (no such
    // source, or no server), -51 (no such port), -100 (refused or no answer
    // within waitMs). The local copy follows at once on success.
    int SetVolume(const QString& sourceName, int level, int waitMs, QString* errorText);
    int SetPort(const QString& sourceName, int port, int waitMs, QString* errorText);

    // Hub events are delivered as queued calls on `context`'s thread.
    int AddListener(QObject* context, std::function<void(HubEvent)> callback);
    void RemoveListener(int id);

    std::unique_ptr<CaptureSource> CreateCapture(const QString& sourceName, const CaptureFormat& format,
                                                 const QString& streamName);

    struct Impl;

private:
    PulseHub();
    Impl* d;
};

}  // namespace platform::capture
