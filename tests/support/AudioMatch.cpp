#include "support/AudioMatch.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

#include "support/Oracle.h"

namespace quillet::test {

void MakeChirp(const QString& path, int frames, int rate, int channels,
               const QStringList& outputOptions) {
    const QStringList sweeps{"0.5*sin(2*PI*(200+900*t)*t)", "0.4*sin(2*PI*(350+500*t)*t+1)",
                             "0.3*sin(2*PI*(120+1500*t)*t+2)"};
    QStringList exprs;
    for (int c = 0; c < channels; ++c) exprs << sweeps[c % sweeps.size()];
    const QString src = QStringLiteral("aevalsrc=%1:s=%2").arg(exprs.join('|')).arg(rate);
    Ffmpeg(QStringList{"-f", "lavfi", "-i", src, "-af",
                       QStringLiteral("atrim=end_sample=%1").arg(frames)} +
           outputOptions + QStringList{path});
}

int64_t FramesOf(const QString& path, const std::vector<float>& decoded, int channels) {
    if (ProbeStream(path, "codec_name") == "vorbis")
        return ProbeStream(path, "duration_ts").toLongLong();
    return static_cast<int64_t>(decoded.size()) / channels;
}

namespace {

double Correlation(const std::vector<float>& a, const std::vector<float>& b, int channels,
                   int64_t lag, int64_t from, int64_t count) {
    double ab = 0, aa = 0, bb = 0;
    const int64_t framesA = static_cast<int64_t>(a.size()) / channels;
    const int64_t framesB = static_cast<int64_t>(b.size()) / channels;
    for (int64_t f = from; f < from + count; ++f) {
        const int64_t g = f + lag;
        if (f < 0 || f >= framesA || g < 0 || g >= framesB) continue;
        for (int c = 0; c < channels; ++c) {
            const double x = a[static_cast<size_t>(f * channels + c)];
            const double y = b[static_cast<size_t>(g * channels + c)];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

}  // namespace

Match BestMatch(const std::vector<float>& reference, const std::vector<float>& test, int channels,
                int maxLag) {
    const int64_t frames = static_cast<int64_t>(reference.size()) / channels;
    // The lag is found on a window from the middle, then judged over the whole overlap.
    const int64_t window = std::min<int64_t>(frames / 2, 8192);
    const int64_t from = (frames - window) / 2;
    Match best;
    best.correlation = -2;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        const double c = Correlation(reference, test, channels, lag, from, window);
        if (c > best.correlation) best = Match{lag, c};
    }
    best.correlation = Correlation(reference, test, channels, best.lag, 0, frames);
    return best;
}

}  // namespace quillet::test
