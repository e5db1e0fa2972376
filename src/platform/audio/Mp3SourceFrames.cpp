#include "platform/audio/Mp3SourceFrames.h"

#include <algorithm>
#include <cstring>

#include "common/FileNames.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/Mp3InfoFrame.h"

namespace quillet {

namespace {

// No MPEG audio frame is longer (Layer III at 320 kbit/s and 32 kHz, with padding).
constexpr int64_t kLongestFrame = 1441;

}  // namespace

Mp3SourceFrames::Mp3SourceFrames(const QString& path)
    : path_(path), index_(Mp3FrameScanner::Scan(path)) {
    if (const int error = OpenForReading(file_, path))
        throw SystemError(QStringLiteral("open"), path, error);
    if (index_.FrameCount() == 0) return;
    uint8_t header[4];
    Read(index_.offsets.front(), 4, header);
    first_ = Mp3FrameHeader::Parse(header);
}

void Mp3SourceFrames::Read(int64_t offset, int64_t size, uint8_t* out) {
    if (!file_.seek(offset) || file_.read(reinterpret_cast<char*>(out), size) != size)
        throw EngineError(QStringLiteral("read"), path_,
                          file_.error() == QFileDevice::NoError
                              ? QStringLiteral("the file became shorter while it was being read")
                              : file_.errorString());
}

std::optional<Mp3SourceFrames::Frame> Mp3SourceFrames::At(int64_t i) {
    if (i < 0 || i >= Count() || !first_) return std::nullopt;
    const int64_t offset = index_.offsets[static_cast<size_t>(i)];
    const int64_t next =
        i + 1 < Count() ? index_.offsets[static_cast<size_t>(i + 1)] : index_.dataEnd;
    if (next - offset < 4 || next - offset > kLongestFrame) return std::nullopt;
    Frame f;
    f.bytes.resize(static_cast<size_t>(next - offset));
    Read(offset, next - offset, f.bytes.data());
    const std::optional<Mp3FrameHeader> h = Mp3FrameHeader::Parse(f.bytes.data());
    if (!h || !h->SameStream(*first_) || h->bytes != next - offset) return std::nullopt;
    f.header = *h;
    return f;
}

std::optional<std::vector<uint8_t>> Mp3SourceFrames::Reservoir(int64_t i) {
    const std::optional<Frame> frame = At(i);
    if (!frame || frame->header.layer != 3) return std::nullopt;
    const auto wanted = static_cast<size_t>(MainDataBegin(frame->bytes.data(), frame->header));
    std::vector<uint8_t> back;
    for (int64_t j = i - 1; back.size() < wanted; --j) {
        const std::optional<Frame> before = At(j);
        if (!before) return std::nullopt;
        const uint8_t* slot = before->bytes.data() + before->header.MainDataOffset();
        back.insert(back.begin(), slot, slot + before->header.MainDataBytes());
    }
    back.erase(back.begin(), back.end() - static_cast<int64_t>(wanted));
    return back;
}

std::optional<Mp3FrameDraft> Mp3SourceFrames::Draft(int64_t i) {
    const std::optional<Frame> frame = At(i);
    std::optional<std::vector<uint8_t>> data = Reservoir(i);
    if (!frame || !data) return std::nullopt;
    const Mp3FrameHeader& h = frame->header;
    const uint8_t* own = frame->bytes.data() + h.MainDataOffset();
    data->insert(data->end(), own, own + h.MainDataBytes());
    const auto bytes = static_cast<size_t>((MainDataBits(frame->bytes.data(), h) + 7) / 8);
    // Granules that claim more data than the frame can reach are damage.
    if (bytes > data->size()) return std::nullopt;
    data->resize(bytes);
    Mp3FrameDraft d;
    d.header = h;
    const uint8_t* side = frame->bytes.data() + 4 + (h.crc ? 2 : 0);
    d.sideInfo.assign(side, side + h.SideInfoBytes());
    d.data = std::move(*data);
    return d;
}

std::optional<std::vector<uint8_t>> Mp3SourceFrames::InfoFrame() {
    if (Count() == 0) return std::nullopt;
    const int64_t end = index_.offsets.front();
    const int64_t from = std::max<int64_t>(0, end - kLongestFrame);
    std::vector<uint8_t> before(static_cast<size_t>(end - from));
    Read(from, end - from, before.data());
    for (int64_t at = 0; at + 4 <= static_cast<int64_t>(before.size()); ++at) {
        const std::optional<Mp3FrameHeader> h = Mp3FrameHeader::Parse(before.data() + at);
        if (!h || from + at + h->bytes != end) continue;
        if (XingTagOffset(before.data() + at, *h) >= 0)
            return std::vector<uint8_t>(before.begin() + at, before.end());
    }
    return std::nullopt;
}

}  // namespace quillet
