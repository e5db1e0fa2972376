#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/Mp3FrameHeader.h"

namespace quillet {

// A Layer III frame taken apart: its header (kind of frame), side information and the main data
// its granules decode, wherever in the bit reservoir it lay. Laid out again, the same granules
// decode from frames of another size and another reservoir: the decoded audio is the same.
struct Mp3FrameDraft {
    Mp3FrameHeader header;
    std::vector<uint8_t> sideInfo;  // header.SideInfoBytes(); main_data_begin is rewritten
    std::vector<uint8_t> data;      // from the first byte of its main data; empty when silent
};

// A frame whose granules decode to silence and take no main data: it carries main data of the
// frames after it (their bit reservoir) and nothing else.
Mp3FrameDraft SilentDraft(const Mp3FrameHeader& like);

struct Mp3Layout {
    std::vector<uint8_t> bytes;  // the frames, one after another
    int frames = 0;
    int bitrateIndex = 0;
};

// Lays drafts out as frames of one bitrate, the lowest at which they fit: the first frame's main
// data starts in its own slot (nothing is taken from before the drafts), each later one's as far
// back as the reservoir lets it, and `reservoir` (what the frame after them takes from before
// itself, at most MaxMainDataBegin bytes) ends the last slot. None when no bitrate gives room.
std::optional<Mp3Layout> LayOutFrames(const std::vector<Mp3FrameDraft>& drafts,
                                      const std::vector<uint8_t>& reservoir);

}  // namespace quillet
