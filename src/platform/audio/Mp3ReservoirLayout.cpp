#include "platform/audio/Mp3ReservoirLayout.h"

#include <algorithm>
#include <cstring>

namespace quillet {

namespace {

struct Placement {
    std::vector<Mp3FrameHeader> headers;
    std::vector<int64_t> dataAt;  // in the main data stream of the frames
    int64_t streamBytes = 0;
};

std::optional<Placement> Place(const std::vector<Mp3FrameDraft>& drafts, size_t reservoirBytes,
                               int index) {
    Placement p;
    int64_t slotStart = 0;
    int64_t dataEnd = 0;
    for (const Mp3FrameDraft& d : drafts) {
        const std::optional<Mp3FrameHeader> h = d.header.WithBitrate(index);
        if (!h) return std::nullopt;
        const int64_t at = std::max(dataEnd, slotStart - h->MaxMainDataBegin());
        const int64_t slotEnd = slotStart + h->MainDataBytes();
        // A frame's data must be in the decoder's hands once the frame itself is read.
        if (at + static_cast<int64_t>(d.data.size()) > slotEnd) return std::nullopt;
        p.headers.push_back(*h);
        p.dataAt.push_back(at);
        dataEnd = at + static_cast<int64_t>(d.data.size());
        slotStart = slotEnd;
    }
    if (dataEnd + static_cast<int64_t>(reservoirBytes) > slotStart) return std::nullopt;
    p.streamBytes = slotStart;
    return p;
}

}  // namespace

Mp3FrameDraft SilentDraft(const Mp3FrameHeader& like) {
    Mp3FrameDraft d;
    d.header = like;
    // Zero side information: main_data_begin 0, and granules of no data, which decode to silence.
    d.sideInfo.assign(static_cast<size_t>(like.SideInfoBytes()), 0);
    return d;
}

std::optional<Mp3Layout> LayOutFrames(const std::vector<Mp3FrameDraft>& drafts,
                                      const std::vector<uint8_t>& reservoir) {
    if (drafts.empty()) return std::nullopt;
    for (int index = 1; index <= 14; ++index) {
        const std::optional<Placement> p = Place(drafts, reservoir.size(), index);
        if (!p) continue;
        std::vector<uint8_t> stream(static_cast<size_t>(p->streamBytes), 0);
        for (size_t i = 0; i < drafts.size(); ++i)
            std::copy(drafts[i].data.begin(), drafts[i].data.end(), stream.begin() + p->dataAt[i]);
        std::copy(reservoir.begin(), reservoir.end(),
                  stream.end() - static_cast<int64_t>(reservoir.size()));

        Mp3Layout layout;
        layout.frames = static_cast<int>(drafts.size());
        layout.bitrateIndex = index;
        int64_t slotStart = 0;
        for (size_t i = 0; i < drafts.size(); ++i) {
            const Mp3FrameHeader& h = p->headers[i];
            const size_t at = layout.bytes.size();
            layout.bytes.resize(at + static_cast<size_t>(h.bytes));
            uint8_t* frame = layout.bytes.data() + at;
            WriteBigEndian32(frame, h.raw);
            std::memcpy(frame + 4, drafts[i].sideInfo.data(), drafts[i].sideInfo.size());
            SetMainDataBegin(frame + 4, h, static_cast<int>(slotStart - p->dataAt[i]));
            std::memcpy(frame + h.MainDataOffset(), stream.data() + slotStart,
                        static_cast<size_t>(h.MainDataBytes()));
            slotStart += h.MainDataBytes();
        }
        return layout;
    }
    return std::nullopt;
}

}  // namespace quillet
