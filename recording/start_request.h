#pragma once
// What a command asks of a recorder, and who asks. Every command source
// (the buttons, the keyboard, the contacts and the I/O card, the UDP
// messages, the planning, the logging slices, the control socket, the
// recovery of a lost recording) fills one and hands it to its recorder.
#include <QString>
#include <QtGlobal>

enum class CommandOrigin {
    Button,      // the main window's buttons
    Key,         // a keyboard shortcut
    Contact,     // a contact (digital input) of the I/O card
    Udp,         // a UDP message
    Planning,    // a line of the planning table
    SliceTimer,  // the logging recorder's change of slice
    Control,     // the local control socket (quillon-ctl, the web console)
    Recovery,    // the program itself, for a recording lost on a failure
};

// "button", "key", "contact", "udp", "planning", "slice", "control", "recovery".
QString OriginName(CommandOrigin origin);

struct StartRequest {
    CommandOrigin Origin = CommandOrigin::Button;
    // Who asks, for the trace ("uid 1000 web:alice"); "" for the local sources.
    QString Who;
    // An identifier or file name for the recording ("" the recorder's own
    // naming): the remote identifiers, the control socket's name.
    QString Name;
    // A folder for this recording ("" the recorder's own; a relative one
    // stays inside the recorder's folder).
    QString Folder;
    // The extension, when the caller imposes one ("" the format's).
    QString Extension;
    // A planned file: folder, name and extension as the planning line gives
    // them ("" the recorder's own naming).
    QString Path;
    // Planned duration in ms (0 none): the recording stops by itself after it.
    qint32 DurationMs = 0;
    // Record MP3 at 128 kbit/s whatever the recorder's format (UDP option).
    bool Force128k = false;
    // The podcast the planning line names (traced, kept with the recording).
    QString Podcast;

    // The recorder may ask the operator for a file name (save dialog) only
    // when the operator pressed its button.
    bool MayAsk() const { return Origin == CommandOrigin::Button; }
    // Starts by a remote party take the recorder's name for remote starts
    // ("FichierSpecifique") when they give none.
    bool Remote() const { return Origin == CommandOrigin::Contact || Origin == CommandOrigin::Udp; }
};

// Why a recording is stopped.
enum class StopReason {
    Operator,     // a button, a key
    Remote,       // a contact, a UDP message, the control socket
    Planning,     // a planned start stops what the recorder records first
    SliceEnd,     // the logging recorder's slice ends and no gapless change is possible
    Duration,     // the planned duration is over
    Shutdown,     // the program ends
};

struct StartResult {
    bool Accepted = false;  // the recorder records, or will as soon as its device is back
    QString Refusal;        // why not ("" accepted)
};
