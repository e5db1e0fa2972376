// How far a cut's decoded audio is off the source's over the chosen stretch, for
// bench/lossless_bench.sh: both as interleaved 32-bit float files.
//   quillet-lossless-offset REFERENCE.f32 TEST.f32 CHANNELS [MAXLAG]
// Prints "lag=<frames> extra=<frames> identical=<yes|no>": the lag at which TEST matches
// REFERENCE best (positive: TEST starts that many frames early, holding audio from before the
// stretch), its length less the reference's, and whether, aligned, every common sample is equal.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<float> Load(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::copy(bytes.begin(), bytes.begin() + static_cast<long>(samples.size() * sizeof(float)),
              reinterpret_cast<char*>(samples.data()));
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: quillet-lossless-offset REFERENCE.f32 TEST.f32 CHANNELS [MAXLAG]\n",
                   stderr);
        return 2;
    }
    const std::vector<float> ref = Load(argv[1]);
    const std::vector<float> test = Load(argv[2]);
    const long ch = std::atol(argv[3]);
    const long maxLag = argc > 4 ? std::atol(argv[4]) : 20000;
    const long refFrames = static_cast<long>(ref.size()) / ch;
    const long testFrames = static_cast<long>(test.size()) / ch;
    // A window from the middle of the reference decides the lag.
    const long window = std::min<long>(8192, refFrames / 4);
    const long from = refFrames / 2 - window / 2;
    long best = 0;
    double bestError = INFINITY;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        if (from + lag < 0 || from + lag + window > testFrames) continue;
        double error = 0;
        for (long f = 0; f < window && error < bestError; ++f)
            for (long c = 0; c < ch; ++c)
                error +=
                    std::fabs(double(ref[(from + f) * ch + c]) - test[(from + lag + f) * ch + c]);
        if (error < bestError) {
            bestError = error;
            best = lag;
        }
    }
    bool identical = true;
    for (long f = std::max(0L, -best); f < refFrames && f + best < testFrames && identical; ++f)
        for (long c = 0; c < ch; ++c)
            if (ref[f * ch + c] != test[(f + best) * ch + c]) identical = false;
    std::printf("lag=%ld extra=%ld identical=%s\n", best, testFrames - refFrames,
                identical ? "yes" : "no");
    return 0;
}
