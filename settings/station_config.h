#pragma once
// The settings of the station that are not one recorder's: the UDP input
// lines and targets, the serial link, the logging slices of the day.
#include <QString>
#include <array>

constexpr int kUdpLines = 9;    // UDP input lines 0..8
constexpr int kUdpTargets = 9;  // UDP targets 0..8
constexpr int kSliceRows = 24;

struct UdpLineConfig {
    QString Address;  // "IP_n": the address the line listens on
    QString Port;     // "Port_n" as typed
    bool Active = false;
};

struct UdpTargetConfig {
    QString Label, Address, Port, PortB, PortC, PortD, Message;
};

struct SerialConfig {
    bool Active = false;
    // Entries of the setup window's lists: port 1..9 (-1 none), speed,
    // parity, data bits, stop bits.
    int PortEntry = 0;
    std::array<int, 4> Setup{5, 2, 4, 0};
};

struct SliceConfig {
    // "Actif": the day is cut by the table; otherwise every hour.
    bool ByTable = false;
    // Row k ends at the end of hour EndHour[k] ("Tranche_k": its entry).
    std::array<int, kSliceRows> EndEntry{};
    SliceConfig() {
        for (int k = 0; k < kSliceRows; ++k) EndEntry[size_t(k)] = k;
    }
};

struct StationConfig {
    // This computer's address as the setup window shows it (not stored): a
    // line that would listen on every interface listens on it.
    QString HostAddress;
    std::array<UdpLineConfig, kUdpLines> UdpIn;
    // "StartRecord128": a start by UDP records MP3 at 128 kbit/s whatever
    // the recorder's format.
    bool StartRecord128 = false;
    std::array<UdpTargetConfig, kUdpTargets> UdpOut;
    SerialConfig Serial;
    SliceConfig Slices;
};

// The start hour of row k of the slice table: the hour after the end of the
// row before it (row 0 starts at midnight).
int SliceRowStart(const SliceConfig& table, int row);

// The station's settings in force (loaded with the settings file, edited by
// the setup window).
StationConfig& Station();

// The serial lists of the setup window (entries as shown).
QStringList SerialSpeedEntries();
QStringList SerialParityEntries();
QStringList SerialDataBitsEntries();
QStringList SerialStopBitsEntries();
// "9600,N,8,1" from the entries of the configuration.
QString SerialSettingsText(const SerialConfig& serial);
