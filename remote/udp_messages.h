#pragma once
// The interpreter of the UDP command messages ("<Record:Start><Recorder:1>
// <SongId:12345>"...): tag extraction, start, pause and stop of a recorder on
// behalf of a remote system, the serial command of a message, and the podcast
// and conversion notifications after a stop. The transport hands it each
// message of an input line (LabelDataArrivalUDP_Change).
#include "remote/message_text.h"
#include "settings/recorder_config.h"
#include "settings/station_config.h"

#include <QString>
#include <array>

// Longest "<WaitDuration:" honoured, in ms (ten minutes); a longer one is cut
// to it, with a trace.
constexpr qint32 kMaxWaitDurationMs = 600000;
// How long the notifications of a stop wait for the recorder's file to be closed.
constexpr int kFinalisationWaitMs = 10000;

struct UdpCommandState {
    // A message of input line k is being interpreted.
    std::array<bool, kUdpLines> InProcess{};
    // Ids of each recorder's last recording started by a UDP command.
    std::array<QString, kRecorders> PvSSongId;
    std::array<QString, kRecorders> PvSArticleId;
};
UdpCommandState& UdpCommands();
void ResetUdpCommandState();

// The program is closing (quit confirmed, or the unload under way): the
// waits of the remote commands end and no further action is carried out.
bool RemoteClosing();


// The interpreter for input line index (0..8) and one message. A line
// interprets one message at a time: a message that comes while the line is
// busy waits in the line's queue. The message's waits run on the line's own
// timer: the other lines go on meanwhile.
void LabelDataArrivalUDP_Change(int index, const QString& message);
// A message of line k is being interpreted.
bool UdpLineBusy(int k);
// A message that asks for something (a recorder's action, a serial
// command); any other is dropped on arrival.
bool UdpMessageCarriesCommand(const QString& message);

// Test buttons of the setup window: put a fixed message in the inbox of line 0.
// CommandTestUDP(0) "Record", CommandTestUDP(1) "Stop".
void CommandTestUDP_Click(int index);
void Command_Click();   // start of recorder 1 as song 99999999
void Command1_Click();  // its stop

// Installs the UDP remote control: the transport's messages go to this
// interpreter. Called by the program before the setup window loads, and by
// tests.
void InstallUdpRemote();
// Tests: closes every socket, empties the queues, forgets the interpreter's state.
void ResetUdpRemote();
