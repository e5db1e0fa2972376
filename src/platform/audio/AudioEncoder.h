#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "platform/audio/OutputFormats.h"
#include "platform/audio/OutputSettings.h"
#include "platform/audio/PendingFile.h"

namespace quillet {

// Writes one output file of the given kind. Input arrives as interleaved float frames in the
// format last announced by SetSourceFormat (which may change while the file is open) and is
// converted to the output's rate and channels. Throws AudioError naming the file on failure.
class AudioEncoder {
  public:
    AudioEncoder(const QString& path, OutputKind kind, const OutputSettings& settings);
    ~AudioEncoder();  // abandons an unfinished file without throwing
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    void SetSourceFormat(int sampleRate, int channels);
    void Write(const float* interleaved, int64_t frames);
    // Waits until what was written has been encoded and handed to the file.
    void Flush();
    // Flushes the encoder and writes the trailer; the file is complete and in place afterwards.
    void Finish();
    // Completes the file like Finish but leaves it beside its target, for the caller to put in
    // place (after writing its tags).
    PendingFile FinishPending();

    static bool CheckMp3(int sampleRate, int kbps, int channels);
    static bool CheckOgg(int sampleRate, int channels, int kbps, int maxKbps, int minKbps);

    // What a WMA profile number (1..WmaProfileCount) selects; throws AudioError outside.
    using WmaConfig = quillet::WmaConfig;
    static constexpr int WmaProfileCount = kWmaProfileCount;
    static WmaConfig WmaProfile(int profile);

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace quillet
