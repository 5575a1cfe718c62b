#pragma once
// The serial link to the switcher: the port of the setup window (ComControl),
// opened with the settings of the "PortCOM" section, command lines written
// with CR LF, replies and port events traced.
//
// Port n (1..9) is the device "/dev/ttyS" + (n - 1), unless the key
// "Device_" + n of section "PortCOM" gives an absolute device path (for
// example a /dev/serial/by-id/... link of a USB adapter).
#include "settings/station_config.h"

#include <QString>

namespace platform { class CommPort; }

// Closes the port when the application quits. Called at start-up before the
// setup window loads, and by tests.
void InstallSerialLink();

// Writes one command line followed by CR LF to the switcher's port when it is
// open: traces "COM: Data to send: " + line, waits in the event loop (bounded,
// never spinning) until the output has drained, then traces sentTracePrefix + line.
// When the port is not open: traces "Err: COM: Port COM not Open. Data not sended: " + line.
// Returns true when the line was written whole.
bool SendPortCOM(const QString& line, const QString& sentTracePrefix);

// Button "Initialiser": the settings text of the four lists, then InitPortCOM.
void CommandPortCOMInit_Click();
// (Re)opens the port of the station's serial settings with the settings text.
void InitPortCOM(const QString& settings);
// Manual send of a line; "Port COM non ouvert." when the port is closed.
void CommandSend_Click(const QString& text);
// Traces the event being reported by the port.
void ComControl_OnComm();

// "9600,N,8,1": the station's serial settings as text.
QString SerialSettingsText();
// The port number (1..9) of the serial settings.
int SerialPortNumber(const SerialConfig& serial);
// Device of port n: key "Device_" + n of section "PortCOM", else "/dev/ttyS" + (n - 1);
// "" for a number outside 1..9.
QString SerialDevicePath(int port);
// A text of the serial link fit for one trace line: CR, LF, TAB, NUL, ESC
// shown as <CR>, <LF>, <TAB>, <NUL>, <ESC>, other control characters as <0xNN>.
QString SerialPrintable(const QString& text);
// The message of an event code (the codes of the port component).
QString CommEventText(int code);

platform::CommPort& ComControl();
bool SerialPortOpen();

// Tests: closes the port and sets the longest wait for the output to drain
// (default 5000 ms).
void ResetSerialLink();
void SetSerialDrainTimeout(int ms);
