#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "platform/audio/PendingFile.h"
#include "platform/audio/SampleArray.h"
#include "platform/audio/TAudioFile2LameEnc.h"

namespace quillet {

class AudioDecoder;
class AudioEncoder;
struct OutputSettings;

// One audio file, opened either for reading (decoding) or for writing (encoding).
// Position = one sample frame. Sample arrays are interleaved 32-bit float at the file's own
// rate and channel count. Every failure throws AudioError.
class TAudioFile2 {
  public:
    TAudioFile2();
    ~TAudioFile2();
    TAudioFile2(const TAudioFile2&) = delete;
    TAudioFile2& operator=(const TAudioFile2&) = delete;

    void SetOptionFlag(bool on);

    // Reading
    void OpenForRead(const QString& path, int mode = 0, int flags = 1);
    int32_t Length() const;
    int32_t DurationMs() const;
    int32_t SampleRate() const;
    int32_t Channels() const;
    int32_t BytesPerPosition() const;
    int32_t SeekPosition(int32_t position, int mode = 3);
    SampleArray ReadSamples(int32_t count);

    // Writing
    void CreateForWrite(const QString& path, int mode = 0);
    void SetSourceFormat(int32_t sampleRate, int32_t channels);
    void WriteSamples(const SampleArray& samples);
    // Waits until everything written is encoded and in the file; raises what failed there.
    void FlushWrites();

    // Output parameters, kept per kind for every later CreateForWrite.
    void SetWavFormat(int sampleRate, int channels, int bitsPerSample);
    void SetWmaProfile(int profile);
    bool CheckMp3Format(int sampleRate, int kbps, int channels) const;
    void SetMp3Encoder(const TAudioFile2LameEnc& encoder);
    bool CheckOggFormat(int sampleRate, int channels, int kbps, int maxKbps, int minKbps) const;
    void SetOggFormat(int sampleRate, int channels, int kbps, int maxKbps, int minKbps,
                      int16_t quality);

    bool IsOpen() const;
    // Closes the file; an output file is complete and in its place afterwards.
    void Close();
    // Closes like Close, but an output file is completed beside its target and handed over, not
    // yet in place: TAudioInformation2 writes its tags and then puts it there. Without an output
    // open the result is empty.
    PendingFile ClosePending();

  private:
    std::unique_ptr<AudioDecoder> reader_;
    std::unique_ptr<AudioEncoder> writer_;
    std::unique_ptr<OutputSettings> output_;
    int writeChannels_ = 0;  // channels of the arrays WriteSamples receives
};

}  // namespace quillet
