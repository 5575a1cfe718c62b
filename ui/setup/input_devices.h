#pragma once
// What the device and format selection asks of a recorder's capture engine:
// the input lines, their levels and the input formats of a device. The
// engine of recorder i (S().ActiveSoundRecorder1[i]) answers by default;
// tests may put another source in its place.
#include <QString>
#include <functional>

class InputDeviceSource {
public:
    virtual ~InputDeviceSource() = default;
    virtual int InputChannelCount(int device) = 0;
    virtual QString InputChannelName(int device, int line) = 0;
    virtual int InputChannelDefaultGet(int device) = 0;
    // 0 on success, else a negative component error code.
    virtual int SetInputDeviceChannelDefault(int device, int line) = 0;
    // Level 0..100 of a line, -1 when unknown.
    virtual int InputLevelGet(int device, int line) = 0;
    // Negative while the formats are being enumerated, 0 when there is none.
    virtual int InputFormatCount(int device) = 0;
    virtual QString InputFormatText(int device, int k) = 0;
    // The sound server's name of a device ("" unknown), and whether the
    // device is there now.
    virtual QString InputDeviceSystemName(int) { return {}; }
    virtual bool InputDevicePresent(int) { return true; }
};

// The source of recorder i: the override when one is set and returns a
// source, else the recorder's capture engine, else a source without devices
// (no line, no format, every operation answering -49 "not initialized").
InputDeviceSource& InputDevicesOf(int recorder);
// Tests: a function giving the source of a recorder (nullptr = the engine);
// an empty function removes the override.
void SetInputDeviceSourceOverride(std::function<InputDeviceSource*(int recorder)> source);
