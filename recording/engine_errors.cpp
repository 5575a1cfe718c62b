// The capture engine's error codes in words.
#include "recording/recording.h"

#include "support/errors.h"
#include "support/tracelog.h"

#include <QHash>

namespace {

const QHash<int, QString>& MessageTable() {
    static const QHash<int, QString> table = {
        {-1, "The call was made to an invalid player (probably the InitSoundSystem method was not called)"},
        {-2, "Not enough memory"},
        {-3, "The value of one of the parameters passed to the method was out of the available range of values"},
        {-4, "Not used by this control"},
        {-5, "The sound card chosen as the output device is not a compatible sound card"},
        {-6, "Invalid sound file"},
        {-7, "Invalid playlist file"},
        {-8, "A file creation failed"},
        {-9, "The source position of a playlist item is invalid (out of range)"},
        {-10, "The destination position of a playlist item is invalid (out of range)"},
        {-11, "The selected mixer index is out of range"},
        {-12, "The selected special effect is not available (probably the passed value was out of range)"},
        {-13, "Error during Internet stream buffering"},
        {-14, "The control has already been initialized"},
        {-15, "No Internet connection cannot be established"},
        {-16, "Connection timeout"},
        {-17, "The EAX effects are not available on the current sound card"},
        {-18, "DirectX effects not available"},
        {-19, "The DirectX version is older than version 8"},
        {-20, "The last operation failed because no sound was loaded"},
        {-21, "The last operation failed because not available for the loaded file format"},
        {-22, "The sound card chosen as the output device doesn't have a valid driver"},
        {-23, "The given song cannot be used for mixing purposes"},
        {-24, "Unsupported"},
        {-25, "The Tempo change failed"},
        {-26, "The Playback rate change failed"},
        {-27, "The Pitch change failed"},
        {-28, "The given equalizer band is not available"},
        {-29, "The visual feedback you are trying to create already exists"},
        {-30, "You are trying to use a visual feedback that still doesn't exists"},
        {-31, "It's not possible to perform a fade-in/fade-out using a single player"},
        {-32, "The fader is not ready: check the Fader.Init method for details"},
        {-33, "A trigger with the given identification number already exists"},
        {-34, "The selected trigger doesn't exist"},
        {-35, "The specified CD drive is invalid"},
        {-36, "The specified CD drive is not ready"},
        {-37, "The specified CD audio track is invalid"},
        {-38, "The requested CD action is invalid"},
        {-39, "The requested CD identification code is invalid"},
        {-40, "The requested CD identification is not available"},
        {-41, "The specified CD track is not an audio track"},
        {-42, "The specified CD drive is busy loading another audio track"},
        {-43, "Cannot fade on player A (probably because no playlist has been loaded)"},
        {-44, "Cannot fade on player B (probably because no playlist has been loaded)"},
        {-45, "Cannot use the given playlist for fading because all of the contained songs duration is shorter "
              "than the overall fading time"},
        {-46, "Cannot fade two players that are already playing: at least one of them must be paused or stopped."},
        {-47, "Cannot fade songs whose duration is shorter than the overall fading time"},
        {-48, "The requested information is currently unavailable"},
        {-49, "The component is still not initialized"},
        {-50, "The input device is not valid"},
        {-51, "The input channel is not valid"},
        {-52, "Invalid recorder"},
        {-53, "The input format is not valid"},
        {-54, "Error opening Sound Activation System silence log file"},
        {-55, "URL for CD cover picture not available"},
        {-56, "CD cover picture file not available"},
        {-57, "Query to CDDB server failed"},
        {-58, "Information about CD not available on the CDDB server"},
        {-59, "Information about CD not available locally"},
        {-60, "CDDB server not available"},
        {-61, "Connection to CDDB server failed"},
        {-62, "MCI error accessing CD drive"},
        {-63, "Internet connection not available"},
        {-64, "The recorder is busy"},
        {-65, "Sound waveform still not analyzed"},
        {-66, "Speakers assignment disabled"},
        {-67, "The current output device doesn't support Rear speakers"},
        {-68, "The current output device doesn't support Center speakers"},
        {-69, "The current output device doesn't support Rear Center speakers"},
        {-70, "Cannot assign a stereo sound to a mono speaker"},
        {-71, "The provided speakers configuration is invalid"},
        {-72, "The sound exported in memory in Wav format is not available"},
        {-73, "The recorder didn't performed any previous recording session in memory"},
        {-74, "Reversed sound not available"},
        {-75, "Invalid equalizer file"},
        {-76, "Equalizer band not available"},
        {-77, "Unsupported ACM codec format"},
        {-78, "The Cancel button was pressed after a selection of an ACM codec"},
        {-79, "Not enough room for containing wav data"},
        {-80, "Invalid position"},
        {-81, "No selection available"},
        {-82, "Invalid export settings"},
        {-83, "Encoder application not available inside the system or, in alternative, parameters passed to the "
              "encoder were invalid."},
        {-84, "Encoder failed to start"},
        {-85, "Cannot mix sound coming from remote URL"},
        {-86, "FTP connection failed"},
        {-87, "FTP remote directory not found"},
        {-88, "FTP upload failure"},
        {-89, "FTP upload cancelled by the user"},
        {-98, "The current product edition doesn't support this feature: check the Introduction section for a "
              "comparison chart of the features available inside each product edition"},
        {-100, "An unknown error occurred"},
    };
    return table;
}

}  // namespace

QString ComponentErrorText(int code) {
    const auto& table = MessageTable();
    auto it = table.find(code);
    return it != table.end() ? it.value() : QString::number(code);
}

void AfficherErreurARS(int code, int recorder, int stream, const QString& operation, const QString& caller) {
    Q_UNUSED(stream);
    ErrorTrap trap("Frm_Main:AfficherErreurARS");
    if (code >= 0) return;
    QString text;
    trap(10, [&] { text = "Err: " + ComponentErrorText(code) + " (" + operation + ")(" + caller + ")"; });
    trap(20, [&] { TraceLogEncadre(-1, recorder, -1, text, "="); });
}
