#pragma once
// The settings of the program as values, and their settings file: the load
// reads every key with its default, the save writes every key back in the
// order the file has always had (peers and older versions read it).
#include "settings/recorder_config.h"
#include "settings/station_config.h"

#include <QString>
#include <array>
#include <functional>

struct SettingsModel {
    std::array<RecorderConfig, kRecorders> Recorders;
    StationConfig Station;
    // Recorders in service: the last one in service + 1 (at least 1).
    int RecorderCount = 1;
    // What the file said, as written, where the value could not be used as it
    // is (the loader's caller tells the operator).
    std::array<QString, kRecorders> StoredFormat;
    std::array<qint16, kRecorders> StoredCharacteristic{};
};

// The settings file of this run (".Ini" of the instance).
QString SettingsFilePath();

// Reads the settings file. `base` gives what the file does not hold (the
// recorders' folders from the family configuration, used as defaults). A
// missing file, or one with no recorder in service, gets recorder 1 put in
// service (written to the file). Values that do not convert are reported as
// run-time errors of "FrmSetup:InitSettings" and keep their defaults.
SettingsModel LoadSettingsModel(const std::array<RecorderConfig, kRecorders>& base);
// The "Recorder_NN" values of one recorder read again (device, line,
// quality), as the start-up does for each recorder it initialises.
void ReloadDeviceChoice(RecorderConfig& config);

// The serial link's keys ("PortCOM"), read before the rest at start-up.
SerialConfig LoadSerialConfig();

// Writes every setting; returns the number of keys that could not be written.
// `midway` runs between the UDP keys and the serial ones (the save lets
// events run there).
int SaveSettingsModel(const std::array<RecorderConfig, kRecorders>& recorders, const StationConfig& station,
                      const std::function<void()>& midway = {});

// Section names: "Recorder_00", "Keyboard_03"...
QString RecorderSection(const QString& prefix, int index);

// The folder a recorder records into, from the folder as typed ("" none;
// a shared folder of this computer becomes its local path). Ends with "/".
void ApplyFolderText(RecorderConfig& config, const QString& text);

// The free space of a folder in the words of the setup window: occupied,
// total and available ("12 Go", "Disponible: 3 Go") and the gauge (0..100).
struct FreeSpaceTexts {
    bool ok = false;
    QString Occupied, Total, Available;
    int Gauge = 0;
};
FreeSpaceTexts FreeSpaceOf(const QString& folder);
