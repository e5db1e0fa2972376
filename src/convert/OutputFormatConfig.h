#pragma once

#include <QString>
#include <optional>

#include "platform/audio/StretchCopy.h"

namespace quillet {

class SettingsFile;
class TAudioFile2;
class TAudioFile2LameEnc;

// Output formats by the index of cb_format (Cut) or the save dialog's file type - 1 (Join).
enum OutputFormat : int { OutputMp3 = 0, OutputWav = 1, OutputWma = 2, OutputOgg = 3 };

// The command that configures; it only chooses the wording of the OGG refusals.
enum class ConvertCommand { Cut, Join };

struct OutputFormatResult {
    bool ok = false;
    QString extension;  // ".mp3", ".wav", ".wma" or ".ogg" when ok
    QString message;    // what to show the user when refused
    // With "keep source audio" on: the audio an input must hold to be copied, not re-encoded.
    std::optional<StreamCoding> keeps;
};

// ".mp3", ".wav", ".wma", ".ogg" for 0..3; empty otherwise.
QString OutputExtension(int formatIndex);

// Configures the writer (and the MP3 encoder object) for the format from the settings, read
// anew on every call. A refusal returns ok = false with the message; the caller shows it and
// clears IsConverting. Engine failures throw AudioError.
OutputFormatResult ConfigureOutputFormat(int formatIndex, ConvertCommand command,
                                         const SettingsFile& settings, TAudioFile2& writer,
                                         TAudioFile2LameEnc& encoder);

}  // namespace quillet
