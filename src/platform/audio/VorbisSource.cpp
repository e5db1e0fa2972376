#include "platform/audio/VorbisSource.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio/FfmpegError.h"

namespace quillet {

namespace {

// The end of every link is read at opening: the last page's granule position is only a claim
// (a damaged or hostile file may put hours there), and the length must be what decoding
// delivers. Reading this far before the claimed end covers the last pages of any real file.
constexpr int64_t kTailFrames = 16384;
// Decoded frames asked of libvorbisfile at a time; it hands out at most one packet's worth.
constexpr int kReadFrames = 4096;
// Holes in the data are reported once per damaged stretch; this many in a row end the stream.
constexpr int kMaxHolesInARow = 1000;
// Channel counts beyond this are refused, as for every other format.
constexpr int kMaxChannels = 8;
// A chained file of more links than this is not a real one.
constexpr int kMaxLinks = 65536;

// Vorbis orders its channels its own way; the rest of the engine uses the WAVE order of
// speaker positions, as FFmpeg and oggdec do. out[i] = in[kVorbisToWave[channels - 1][i]].
constexpr int kVorbisToWave[8][8] = {
    {0},
    {0, 1},
    {0, 2, 1},                 // L C R -> L R C
    {0, 1, 2, 3},              // quad is the same
    {0, 2, 1, 3, 4},           // L C R BL BR -> L R C BL BR
    {0, 2, 1, 5, 3, 4},        // L C R BL BR LFE -> L R C LFE BL BR
    {0, 2, 1, 6, 5, 3, 4},     // L C R SL SR BC LFE -> L R C LFE BC SL SR
    {0, 2, 1, 7, 5, 6, 3, 4},  // L C R SL SR BL BR LFE -> L R C LFE BL BR SL SR
};

struct FileSource {
    int fd = -1;
    int64_t pos = 0;
    int64_t size = 0;
};

size_t ReadCallback(void* data, size_t size, size_t count, void* opaque) {
    auto* file = static_cast<FileSource*>(opaque);
    const size_t wanted = size * count;
    if (wanted == 0) return 0;
    size_t done = 0;
    while (done < wanted) {
        const ssize_t n =
            ::pread(file->fd, static_cast<char*>(data) + done, wanted - done, file->pos);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        file->pos += n;
    }
    return done / size;
}

int SeekCallback(void* opaque, ogg_int64_t offset, int whence) {
    auto* file = static_cast<FileSource*>(opaque);
    int64_t to = offset;
    if (whence == SEEK_CUR) to += file->pos;
    if (whence == SEEK_END) to += file->size;
    if (to < 0) return -1;
    file->pos = to;
    return 0;
}

long TellCallback(void* opaque) { return static_cast<long>(static_cast<FileSource*>(opaque)->pos); }

}  // namespace

struct VorbisSource::Impl {
    QString path;
    FileSource file;
    OggVorbis_File vf{};
    bool vfOpen = false;
    int rate = 0;
    int channels = 0;

    // Per link: where its frames start on our timeline and on libvorbisfile's, and how many
    // decoding really delivers.
    std::vector<int64_t> start;
    std::vector<int64_t> vfStart;
    std::vector<int64_t> frames;
    int64_t length = 0;

    int link = 0;        // the link reading stands in
    int64_t inLink = 0;  // frames of it already delivered
    bool ended = false;  // libvorbisfile has nothing more
    bool seekPending = false;

    // Decoded frames not yet delivered, interleaved in WAVE order, of link heldLink.
    std::vector<float> held;
    int64_t heldFrames = 0;
    int64_t heldAt = 0;
    int heldLink = -1;

    ~Impl() {
        if (vfOpen) ov_clear(&vf);
        if (file.fd >= 0) ::close(file.fd);
    }

    [[noreturn]] void Refuse(const QString& why) const {
        throw EngineError(QStringLiteral("open"), path, why);
    }

    // The next packet's frames into held; false when libvorbisfile has no more.
    bool Decode() {
        for (int holes = 0; holes < kMaxHolesInARow; ++holes) {
            float** pcm = nullptr;
            int bitstream = 0;
            const long got = ov_read_float(&vf, &pcm, kReadFrames, &bitstream);
            if (got == OV_HOLE) continue;  // damaged pages were skipped; the stream goes on
            if (got <= 0) return false;
            held.resize(static_cast<size_t>(got) * static_cast<size_t>(channels));
            const int* order = kVorbisToWave[channels - 1];
            for (int c = 0; c < channels; ++c) {
                const float* in = pcm[order[c]];
                float* out = held.data() + c;
                for (long i = 0; i < got; ++i, out += channels)
                    *out = std::isfinite(in[i]) ? in[i] : 0.0f;
            }
            heldFrames = got;
            heldAt = 0;
            heldLink = bitstream;
            return true;
        }
        return false;
    }

    void DropHeld() { heldFrames = heldAt = 0; }

    // Silence may stand in for damaged pages, never for audio that was there when the file
    // was opened and has since been cut away.
    void CheckStillWhole() const {
        struct stat info {};
        if (::fstat(file.fd, &info) == 0 && info.st_size < file.size)
            throw EngineError(QStringLiteral("read"), path,
                              QStringLiteral("the file became shorter while it was being read"));
    }

    // Frames that link delivers, read from `from` (a libvorbisfile position inside it) to its
    // end; -1 when libvorbisfile cannot place a read there.
    int64_t CountFrom(int i, int64_t from) {
        if (ov_pcm_seek(&vf, from) != 0 || ov_pcm_tell(&vf) != from) return -1;
        DropHeld();
        int64_t counted = 0;
        while (Decode() && heldLink == i) counted += heldFrames;
        DropHeld();
        return from - vfStart[static_cast<size_t>(i)] + counted;
    }

    void Measure() {
        const int links = static_cast<int>(ov_streams(&vf));
        if (links < 1 || links > kMaxLinks) Refuse(QStringLiteral("its Ogg streams are damaged"));
        for (int i = 0; i < links; ++i) {
            const vorbis_info* info = ov_info(&vf, i);
            if (!info) Refuse(QStringLiteral("its Ogg streams are damaged"));
            if (i == 0) {
                rate = static_cast<int>(info->rate);
                channels = info->channels;
                continue;
            }
            if (info->rate != rate || info->channels != channels)
                Refuse(QStringLiteral("it is a chain of Ogg Vorbis streams whose format changes "
                                      "part-way (from %1 Hz with %2 channel(s) to %3 Hz with %4 "
                                      "channel(s)), which cannot be read as one")
                           .arg(rate)
                           .arg(channels)
                           .arg(info->rate)
                           .arg(info->channels));
        }
        if (rate <= 0 || channels <= 0) Refuse(QStringLiteral("its audio format is not valid"));
        if (channels > kMaxChannels)
            Refuse(QStringLiteral("it has %1 channels, more than the %2 that can be handled")
                       .arg(channels)
                       .arg(kMaxChannels));
        int64_t vfAt = 0;
        for (int i = 0; i < links; ++i) {
            const int64_t claimed = std::max<int64_t>(ov_pcm_total(&vf, i), 0);
            vfStart.push_back(vfAt);
            start.push_back(length);
            int64_t real = 0;
            if (claimed > 0) {
                real = CountFrom(i, vfAt + std::max<int64_t>(claimed - kTailFrames, 0));
                // The claim lies too far to seek near it: count the whole link.
                if (real < 0) real = CountFrom(i, vfAt);
                real = std::clamp<int64_t>(real, 0, claimed);
            }
            frames.push_back(real);
            length += real;
            vfAt += claimed;
        }
    }

    int LinkOf(int64_t frame) const {
        const auto it = std::upper_bound(start.begin(), start.end(), frame);
        return static_cast<int>(it - start.begin()) - 1;
    }

    // Seeks are carried out by the next read, so that a file damaged since it was opened is
    // reported by the read.
    void SeekTo(int64_t frame) {
        DropHeld();
        ended = false;
        link = std::max(LinkOf(frame), 0);
        inLink = frame - start[static_cast<size_t>(link)];
        seekPending = frame < length;
    }

    void CarryOutSeek() {
        seekPending = false;
        const int64_t frame = Position();
        const int64_t vfPos = vfStart[static_cast<size_t>(link)] + inLink;
        if (ov_pcm_seek(&vf, vfPos) == 0 && ov_pcm_tell(&vf) == vfPos) return;
        // libvorbisfile cannot land there: decode from the start and drop what lies before.
        if (ov_raw_seek(&vf, 0) != 0) {
            ended = true;
            return;
        }
        link = 0;
        inLink = 0;
        for (std::vector<float> skip; Position() < frame;) {
            skip.resize(static_cast<size_t>(std::min<int64_t>(frame - Position(), kReadFrames)) *
                        static_cast<size_t>(channels));
            ReadInto(skip.data(), static_cast<int64_t>(skip.size()) / channels);
        }
    }

    int64_t Position() const { return start[static_cast<size_t>(link)] + inLink; }

    // Moves to the next link once this one has delivered all its frames.
    void NextLinkIfDone() {
        while (link + 1 < static_cast<int>(frames.size()) &&
               inLink >= frames[static_cast<size_t>(link)]) {
            ++link;
            inLink = 0;
        }
    }

    int64_t ReadInto(float* out, int64_t wanted) {
        if (seekPending) CarryOutSeek();
        wanted = std::min(wanted, length - Position());
        int64_t done = 0;
        while (done < wanted) {
            NextLinkIfDone();
            const int64_t leftInLink = frames[static_cast<size_t>(link)] - inLink;
            const int64_t room = std::min(wanted - done, leftInLink);
            if (heldAt < heldFrames && heldLink == link) {
                const int64_t n = std::min(room, heldFrames - heldAt);
                std::memcpy(out + done * channels, held.data() + heldAt * channels,
                            static_cast<size_t>(n * channels) * sizeof(float));
                heldAt += n;
                inLink += n;
                done += n;
                // A link that decodes to more than it measured keeps to its measure.
                if (inLink >= frames[static_cast<size_t>(link)] && heldAt < heldFrames) DropHeld();
                continue;
            }
            if (heldAt < heldFrames && heldLink < link) {
                DropHeld();
                continue;
            }
            if (ended || (heldAt < heldFrames && heldLink > link)) {
                CheckStillWhole();
                // This link ended before its measure (damage): silence keeps the timeline.
                std::fill(out + done * channels, out + (done + room) * channels, 0.0f);
                inLink += room;
                done += room;
                continue;
            }
            if (!Decode()) ended = true;
        }
        return done;
    }
};

VorbisSource::VorbisSource(std::unique_ptr<Impl> d) : d_(std::move(d)) {}

VorbisSource::~VorbisSource() = default;

std::unique_ptr<VorbisSource> VorbisSource::Open(const QString& path) {
    auto d = std::make_unique<Impl>();
    d->path = path;
    d->file.fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (d->file.fd < 0) throw SystemError(QStringLiteral("open"), path, errno);
    struct stat info {};
    if (::fstat(d->file.fd, &info) != 0) throw SystemError(QStringLiteral("open"), path, errno);
    d->file.size = info.st_size;
    char magic[4] = {};
    if (::pread(d->file.fd, magic, 4, 0) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
    const ov_callbacks callbacks{ReadCallback, SeekCallback, nullptr, TellCallback};
    // Cleared in any case: some failures of the open leave allocations behind, and clearing a
    // cleared (zeroed) file is harmless.
    d->vfOpen = true;
    const int ret = ov_open_callbacks(&d->file, &d->vf, nullptr, 0, callbacks);
    if (ret == OV_ENOTVORBIS) return nullptr;
    if (ret < 0) {
        if (ret == OV_EREAD) throw SystemError(QStringLiteral("read"), path, EIO);
        d->Refuse(QStringLiteral("its Ogg Vorbis headers are damaged"));
    }
    d->Measure();
    d->SeekTo(0);
    return std::unique_ptr<VorbisSource>(new VorbisSource(std::move(d)));
}

int64_t VorbisSource::Length() const { return d_->length; }

int VorbisSource::SampleRate() const { return d_->rate; }

int VorbisSource::Channels() const { return d_->channels; }

void VorbisSource::Seek(int64_t frame) { d_->SeekTo(std::clamp<int64_t>(frame, 0, d_->length)); }

int64_t VorbisSource::Read(float* out, int64_t frames) { return d_->ReadInto(out, frames); }

}  // namespace quillet
