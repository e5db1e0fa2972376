// libFuzzer target: any bytes, opened as an audio file, read from the start and after seeks.
//
// Input layout: the file's bytes, then a trailer of 9 bytes: four 16-bit little-endian seek
// positions (fractions of Length) and one byte whose low two bits choose the file's extension
// (mp3, wav, wma, ogg). Inputs shorter than the trailer are all file, named .mp3.
// A broken contract (a length out of range, a read delivering more or fewer frames than it must,
// a NaN or infinity) traps, so libFuzzer records it like a crash.
#include <unistd.h>

#include <QDir>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/audio/AudioDecoder.h"
#include "platform/audio/AudioError.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

#define FUZZ_CHECK(cond)                                          \
    do {                                                          \
        if (!(cond)) {                                            \
            std::fprintf(stderr, "contract broken: %s\n", #cond); \
            __builtin_trap();                                     \
        }                                                         \
    } while (0)

constexpr size_t kTrailer = 9;
// Reading everything of a file that claims millions of frames of silence tells nothing new.
constexpr int64_t kMaxFramesReadFromStart = 1 << 21;

std::string& Directory() {
    static std::string dir;
    return dir;
}

int64_t ReadChecked(quillet::AudioDecoder& decoder, int64_t count, std::vector<float>& out) {
    out.clear();
    const int64_t got = decoder.Read(out, count);
    FUZZ_CHECK(got >= 0 && got <= count);
    FUZZ_CHECK(out.size() == static_cast<size_t>(got * decoder.Channels()));
    for (const float sample : out) FUZZ_CHECK(std::isfinite(sample));
    return got;
}

void Exercise(const QString& path, const uint8_t* trailer) {
    quillet::AudioDecoder decoder(path);
    const int64_t length = decoder.Length();
    FUZZ_CHECK(length >= 0 && length <= INT32_MAX);
    FUZZ_CHECK(decoder.SampleRate() > 0 && decoder.Channels() > 0);
    std::vector<float> out;

    const int64_t fromStart = std::min(length, kMaxFramesReadFromStart);
    int64_t total = 0;
    for (int64_t reads = 0; total < fromStart; ++reads) {
        FUZZ_CHECK(reads <= fromStart / 4096 + 1);
        const int64_t got = ReadChecked(decoder, std::min<int64_t>(4096, fromStart - total), out);
        FUZZ_CHECK(got > 0);
        total += got;
    }
    if (fromStart == length) FUZZ_CHECK(ReadChecked(decoder, 4096, out) == 0);

    for (int i = 0; i < 4; ++i) {
        const uint32_t fraction = trailer[2 * i] | (trailer[2 * i + 1] << 8);
        // 0 and 0xffff reach the very start and the very end.
        const int64_t target = fraction == 0xffff ? length : length * fraction / 0xffff;
        const int64_t count = 1 + (fraction & 0x1fff);
        decoder.Seek(target);
        FUZZ_CHECK(ReadChecked(decoder, count, out) == std::min(count, length - target));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    const char* base = QDir("/dev/shm").exists() ? "/dev/shm" : "/tmp";
    Directory() = std::string(base) + "/quillet-fuzz-" + std::to_string(getpid());
    QDir().mkpath(QString::fromStdString(Directory()));
    std::atexit([] { QDir().rmdir(QString::fromStdString(Directory())); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const uint8_t kNoTrailer[kTrailer] = {0, 0, 0, 0x80, 0xff, 0xff, 0x34, 0x12, 0};
    const bool hasTrailer = size >= kTrailer;
    const uint8_t* trailer = hasTrailer ? data + size - kTrailer : kNoTrailer;
    const size_t fileSize = hasTrailer ? size - kTrailer : size;
    static const char* const kExtensions[] = {"mp3", "wav", "wma", "ogg"};
    const std::string path = Directory() + "/input." + kExtensions[trailer[8] & 3];

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (fileSize > 0 && std::fwrite(data, 1, fileSize, file) != fileSize) std::abort();
    std::fclose(file);

    try {
        Exercise(QString::fromStdString(path), trailer);
    } catch (const quillet::AudioError& e) {
        FUZZ_CHECK(std::string(e.what()).find(path) != std::string::npos);
    }
    std::remove(path.c_str());
    return 0;
}
