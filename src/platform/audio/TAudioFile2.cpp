#include "platform/audio/TAudioFile2.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <vector>

#include "platform/audio/AudioDecoder.h"
#include "platform/audio/AudioEncoder.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/OutputFormats.h"
#include "platform/audio/OutputSettings.h"

namespace quillet {

namespace {

constexpr int64_t kMaxPositions = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxArraySamples = int64_t(1) << 20;

OutputKind KindOf(const QString& path) {
    if (const OutputFormatInfo* format = OutputFormatOfPath(path)) return format->kind;
    throw EngineError(QStringLiteral("create"), path,
                      QStringLiteral("the extension does not name an output format (%1)")
                          .arg(OutputExtensionsText()));
}

[[noreturn]] void NotOpen(const char* what) {
    throw AudioError(QStringLiteral("No audio file is open for %1.").arg(QLatin1String(what)));
}

}  // namespace

TAudioFile2::TAudioFile2() : output_(std::make_unique<OutputSettings>()) {}

TAudioFile2::~TAudioFile2() = default;

void TAudioFile2::SetOptionFlag(bool) {}

void TAudioFile2::OpenForRead(const QString& path, int, int) {
    Close();
    auto reader = std::make_unique<AudioDecoder>(path);
    if (reader->Length() > kMaxPositions)
        throw AudioError(QStringLiteral("\"%1\" is too long: %2 sample frames, at most %3 can be "
                                        "handled.")
                             .arg(path)
                             .arg(reader->Length())
                             .arg(kMaxPositions));
    reader_ = std::move(reader);
}

int32_t TAudioFile2::Length() const {
    if (!reader_) NotOpen("reading");
    return static_cast<int32_t>(reader_->Length());
}

int32_t TAudioFile2::DurationMs() const {
    if (!reader_) NotOpen("reading");
    return static_cast<int32_t>(std::min(reader_->DurationMs(), kMaxPositions));
}

int32_t TAudioFile2::SampleRate() const {
    if (!reader_) NotOpen("reading");
    return reader_->SampleRate();
}

int32_t TAudioFile2::Channels() const {
    if (!reader_) NotOpen("reading");
    return reader_->Channels();
}

int32_t TAudioFile2::BytesPerPosition() const {
    if (!reader_) NotOpen("reading");
    return reader_->Channels() * static_cast<int32_t>(sizeof(float));
}

int32_t TAudioFile2::SeekPosition(int32_t position, int) {
    if (!reader_) NotOpen("reading");
    reader_->Seek(position);
    return position;
}

SampleArray TAudioFile2::ReadSamples(int32_t count) {
    if (!reader_) NotOpen("reading");
    if (count <= 0) return SampleArray();
    // One array holds at most this many samples (4 MB), whatever the caller asks: a block of
    // rate x channels positions of an 8-channel 768 kHz file would otherwise take 196 MB.
    const int64_t channels = reader_->Channels();
    const int64_t positions =
        std::min<int64_t>(count, std::max<int64_t>(kMaxArraySamples / channels, 1));
    std::vector<float> samples;
    samples.reserve(static_cast<size_t>(positions * channels));
    reader_->Read(samples, positions);
    return SampleArray(std::move(samples));
}

void TAudioFile2::CreateForWrite(const QString& path, int) {
    Close();
    writer_ = std::make_unique<AudioEncoder>(path, KindOf(path), *output_);
}

void TAudioFile2::SetSourceFormat(int32_t sampleRate, int32_t channels) {
    if (!writer_) NotOpen("writing");
    writer_->SetSourceFormat(sampleRate, channels);
    writeChannels_ = channels;
}

void TAudioFile2::WriteSamples(const SampleArray& samples) {
    if (!writer_) NotOpen("writing");
    if (writeChannels_ <= 0)
        throw AudioError(QStringLiteral("No source format was given before writing samples."));
    const size_t bytesPerPosition = static_cast<size_t>(writeChannels_) * sizeof(float);
    const int64_t positions = static_cast<int64_t>(samples.ByteCount() / bytesPerPosition);
    if (positions == 0) return;
    // The writer reads the array's own float storage.
    writer_->Write(samples.Samples(), positions);
}

void TAudioFile2::FlushWrites() {
    if (!writer_) NotOpen("writing");
    writer_->Flush();
}

void TAudioFile2::SetWavFormat(int sampleRate, int channels, int bitsPerSample) {
    output_->wav = WavFormat{sampleRate, channels, bitsPerSample};
}

void TAudioFile2::SetWmaProfile(int profile) {
    AudioEncoder::WmaProfile(profile);  // refuses a number outside the list
    output_->wmaProfile = profile;
}

bool TAudioFile2::CheckMp3Format(int sampleRate, int kbps, int channels) const {
    return AudioEncoder::CheckMp3(sampleRate, kbps, channels);
}

void TAudioFile2::SetMp3Encoder(const TAudioFile2LameEnc& encoder) { output_->mp3 = encoder.Get(); }

bool TAudioFile2::CheckOggFormat(int sampleRate, int channels, int kbps, int maxKbps,
                                 int minKbps) const {
    return AudioEncoder::CheckOgg(sampleRate, channels, kbps, maxKbps, minKbps);
}

void TAudioFile2::SetOggFormat(int sampleRate, int channels, int kbps, int maxKbps, int minKbps,
                               int16_t quality) {
    output_->ogg = OggFormat{sampleRate, channels, kbps, maxKbps, minKbps, quality};
}

bool TAudioFile2::IsOpen() const { return reader_ || writer_; }

void TAudioFile2::Close() {
    reader_.reset();
    writeChannels_ = 0;
    // Taken out first: even when finishing fails, the object is closed afterwards.
    std::unique_ptr<AudioEncoder> writer = std::move(writer_);
    if (writer) writer->Finish();
}

PendingFile TAudioFile2::ClosePending() {
    reader_.reset();
    writeChannels_ = 0;
    std::unique_ptr<AudioEncoder> writer = std::move(writer_);
    if (!writer) return PendingFile();
    return writer->FinishPending();
}

}  // namespace quillet
