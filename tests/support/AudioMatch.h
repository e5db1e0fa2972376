#pragma once

// Comparison of decoded audio for the engine's writer tests.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace quillet::test {

// A chirp per channel (different on each, so swapped or mixed channels show), written by ffmpeg
// with exactly `frames` frames and the given output options (codec...).
void MakeChirp(const QString& path, int frames, int rate, int channels,
               const QStringList& outputOptions = {});

// Frames of a decoded file. For Vorbis the stream's duration (its last granule position) is the
// oracle: ffmpeg's decoder trims the final packet wrongly for some lengths, which sox and the
// granule positions disagree with.
int64_t FramesOf(const QString& path, const std::vector<float>& decoded, int channels);

struct Match {
    int lag = 0;               // frames by which `test` lags `reference`
    double correlation = 0.0;  // normalized, at that lag, over the overlap
};

// Best normalized correlation of two interleaved signals with the same channel count, for lags
// within +-maxLag frames.
Match BestMatch(const std::vector<float>& reference, const std::vector<float>& test, int channels,
                int maxLag);

}  // namespace quillet::test
