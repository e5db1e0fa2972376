#include "platform/audio/WavSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio/FfmpegError.h"

namespace quillet {

namespace {

constexpr int kFormatPcm = 1;
constexpr int kFormatFloat = 3;
constexpr int kFormatExtensible = 0xfffe;
// The rest of the KSDATAFORMAT_SUBTYPE GUIDs after their first two bytes (the format code).
constexpr unsigned char kSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
// Channel counts beyond this are refused, as for every other format.
constexpr int kMaxChannels = 8;
// A header walk over more chunks than this is not a real file.
constexpr int kMaxChunks = 4096;
// What one read from the file holds.
constexpr int64_t kReadBytes = 64 * 1024;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

enum class Sample { U8, S16, S24, S32, F32, F64 };

}  // namespace

struct WavSource::Impl {
    QString path;
    int fd = -1;
    int64_t fileSize = 0;
    int rate = 0;
    int channels = 0;
    int blockAlign = 0;
    Sample sample = Sample::S16;
    int64_t dataStart = 0;
    int64_t length = 0;
    int64_t pos = 0;
    std::vector<unsigned char> bytes;

    ~Impl() {
        if (fd >= 0) ::close(fd);
    }

    [[noreturn]] void Refuse(const QString& why) const {
        throw EngineError(QStringLiteral("open"), path, why);
    }

    bool ReadAt(int64_t at, void* dst, int64_t n) const {
        int64_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd, static_cast<char*>(dst) + done,
                                        static_cast<size_t>(n - done), at + done);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw SystemError(QStringLiteral("read"), path, errno);
            if (got == 0) return false;
            done += got;
        }
        return true;
    }

    // Takes the fmt chunk; false for codings that are not plain samples.
    bool TakeFormat(const unsigned char* f, uint32_t size) {
        int tag = Le16(f);
        channels = Le16(f + 2);
        const uint32_t sampleRate = Le32(f + 4);
        blockAlign = Le16(f + 12);
        int bits = Le16(f + 14);
        int container = (bits + 7) / 8;
        if (tag == kFormatExtensible) {
            if (size < 40 || Le16(f + 16) < 22) return false;
            if (std::memcmp(f + 26, kSubtypeTail, sizeof kSubtypeTail) != 0) return false;
            tag = Le16(f + 24);
            // The container is wBitsPerSample; fewer valid bits sit in its high part with zeros
            // below, so reading the whole container gives the value at full scale.
            if (bits % 8 != 0) return false;
            container = bits / 8;
        }
        if (tag != kFormatPcm && tag != kFormatFloat) return false;
        if (channels < 1) Refuse(QStringLiteral("its header gives no channels"));
        if (channels > kMaxChannels)
            Refuse(QStringLiteral("it has %1 channels, more than the %2 that can be handled")
                       .arg(channels)
                       .arg(kMaxChannels));
        if (sampleRate < 1 || sampleRate > 0x7fffffffu)
            Refuse(QStringLiteral("its header gives a sample rate of %1 Hz").arg(sampleRate));
        rate = static_cast<int>(sampleRate);
        if (tag == kFormatFloat && container == 4) {
            sample = Sample::F32;
        } else if (tag == kFormatFloat && container == 8) {
            sample = Sample::F64;
        } else if (tag == kFormatPcm && container >= 1 && container <= 4) {
            static constexpr Sample kInts[] = {Sample::U8, Sample::S16, Sample::S24, Sample::S32};
            sample = kInts[container - 1];
        } else {
            Refuse(
                QStringLiteral("its samples of %1 bits are not a size that can be read").arg(bits));
        }
        if (blockAlign != channels * container)
            Refuse(QStringLiteral("its header contradicts itself: %1 bytes per sample frame for %2 "
                                  "channel(s) of %3 bits")
                       .arg(blockAlign)
                       .arg(channels)
                       .arg(bits));
        return true;
    }

    // False when this is not a WAVE file of plain samples.
    bool Parse() {
        unsigned char head[12];
        if (!ReadAt(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
            std::memcmp(head + 8, "WAVE", 4) != 0)
            return false;
        bool haveFormat = false;
        int64_t at = 12;
        for (int chunk = 0; chunk < kMaxChunks && at + 8 <= fileSize; ++chunk) {
            unsigned char header[8];
            if (!ReadAt(at, header, 8)) break;
            const uint32_t size = Le32(header + 4);
            const int64_t body = at + 8;
            if (std::memcmp(header, "fmt ", 4) == 0) {
                unsigned char format[40] = {};
                if (size < 16 || !ReadAt(body, format, std::min<int64_t>(size, 40))) return false;
                if (!TakeFormat(format, size)) return false;
                haveFormat = true;
            } else if (std::memcmp(header, "data", 4) == 0) {
                if (!haveFormat) return false;
                dataStart = body;
                // A header that claims more than the file holds (a cut-off file, a size left
                // at its maximum by a writer that never finished) counts what is there.
                const int64_t bytes = std::min<int64_t>(size, fileSize - body);
                length = std::max<int64_t>(bytes, 0) / blockAlign;
                return true;
            }
            at = body + size + (size & 1);
        }
        if (haveFormat) Refuse(QStringLiteral("it holds no audio data"));
        return false;
    }

    void Convert(const unsigned char* in, float* out, int64_t samples) const {
        switch (sample) {
            case Sample::U8:
                for (int64_t i = 0; i < samples; ++i) out[i] = (in[i] - 128) * (1.0f / 128);
                return;
            case Sample::S16:
                for (int64_t i = 0; i < samples; ++i, in += 2)
                    out[i] = static_cast<int16_t>(Le16(in)) * (1.0f / 32768);
                return;
            case Sample::S24:
                for (int64_t i = 0; i < samples; ++i, in += 3) {
                    const int32_t v =
                        static_cast<int32_t>((uint32_t(in[0]) << 8) | (uint32_t(in[1]) << 16) |
                                             (uint32_t(in[2]) << 24)) >>
                        8;
                    out[i] = static_cast<float>(v) * (1.0f / 8388608);
                }
                return;
            case Sample::S32:
                for (int64_t i = 0; i < samples; ++i, in += 4)
                    out[i] =
                        static_cast<float>(static_cast<int32_t>(Le32(in))) * (1.0f / 2147483648.0f);
                return;
            case Sample::F32:
                for (int64_t i = 0; i < samples; ++i, in += 4) {
                    float v;
                    std::memcpy(&v, in, 4);
                    out[i] = std::isfinite(v) ? v : 0.0f;
                }
                return;
            case Sample::F64:
                for (int64_t i = 0; i < samples; ++i, in += 8) {
                    double v;
                    std::memcpy(&v, in, 8);
                    out[i] = std::isfinite(v) ? static_cast<float>(v) : 0.0f;
                }
                return;
        }
    }

    int64_t Read(float* out, int64_t frames) {
        frames = std::clamp<int64_t>(frames, 0, length - pos);
        const int64_t perRead = std::max<int64_t>(kReadBytes / blockAlign, 1);
        for (int64_t done = 0; done < frames;) {
            const int64_t n = std::min(perRead, frames - done);
            bytes.resize(static_cast<size_t>(n * blockAlign));
            if (!ReadAt(dataStart + (pos + done) * blockAlign, bytes.data(), n * blockAlign))
                throw EngineError(
                    QStringLiteral("read"), path,
                    QStringLiteral("the file became shorter while it was being read"));
            Convert(bytes.data(), out + done * channels, n * channels);
            done += n;
        }
        pos += frames;
        return frames;
    }
};

WavSource::WavSource(std::unique_ptr<Impl> d) : d_(std::move(d)) {}

WavSource::~WavSource() = default;

std::unique_ptr<WavSource> WavSource::Open(const QString& path) {
    auto d = std::make_unique<Impl>();
    d->path = path;
    d->fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (d->fd < 0) throw SystemError(QStringLiteral("open"), path, errno);
    struct stat info {};
    if (::fstat(d->fd, &info) != 0) throw SystemError(QStringLiteral("open"), path, errno);
    d->fileSize = info.st_size;
    if (!d->Parse()) return nullptr;
    return std::unique_ptr<WavSource>(new WavSource(std::move(d)));
}

int64_t WavSource::Length() const { return d_->length; }

int WavSource::SampleRate() const { return d_->rate; }

int WavSource::Channels() const { return d_->channels; }

void WavSource::Seek(int64_t frame) { d_->pos = std::clamp<int64_t>(frame, 0, d_->length); }

int64_t WavSource::Read(float* out, int64_t frames) { return d_->Read(out, frames); }

}  // namespace quillet
