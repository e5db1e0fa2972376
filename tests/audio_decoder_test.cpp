#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>

#include "platform/audio/AudioDecoder.h"
#include "platform/audio/AudioError.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::DecodeWithFfmpeg;
using test::MakeTone;

struct Variant {
    const char* name;
    const char* extension;
    int rate;
    int channels;
    QStringList options;
    bool lengthIsSource;  // the file records its delay and padding, so Length is the source's
    float tolerance;      // against ffmpeg's decode, and of a seek against a continuous read
};

constexpr int kFrames = 100000;  // a length no codec frame size divides

// Noise, not a tone: a periodic signal would hide a read that is off by whole periods.
const Variant kVariants[] = {
    {"WavS16Stereo44100", "wav", 44100, 2, {"-c:a", "pcm_s16le"}, true, 0},
    {"WavU8Mono8000", "wav", 8000, 1, {"-c:a", "pcm_u8"}, true, 0},
    {"WavS24Stereo48000", "wav", 48000, 2, {"-c:a", "pcm_s24le"}, true, 0},
    {"WavFloatMono22050", "wav", 22050, 1, {"-c:a", "pcm_f32le"}, true, 0},
    {"Mp3CbrLameStereo44100", "mp3", 44100, 2, {"-c:a", "libmp3lame", "-b:a", "128k"}, true, 1e-4f},
    {"Mp3VbrLameMono22050", "mp3", 22050, 1, {"-c:a", "libmp3lame", "-q:a", "4"}, true, 1e-4f},
    {"Mp3CbrLameMono8000", "mp3", 8000, 1, {"-c:a", "libmp3lame", "-b:a", "16k"}, true, 1e-4f},
    {"Mp3CbrNoXingStereo11025",
     "mp3",
     11025,
     2,
     {"-c:a", "libmp3lame", "-b:a", "32k", "-write_xing", "0"},
     false,
     1e-4f},
    {"Mp3VbrNoXingStereo48000",
     "mp3",
     48000,
     2,
     {"-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"},
     false,
     1e-4f},
    {"Mp3CbrNoXingMono32000",
     "mp3",
     32000,
     1,
     {"-c:a", "libmp3lame", "-b:a", "32k", "-write_xing", "0"},
     false,
     1e-4f},
    {"Mp3TaggedStereo44100",
     "mp3",
     44100,
     2,
     {"-c:a", "libmp3lame", "-b:a", "128k", "-metadata", "title=Quillet", "-write_id3v1", "1"},
     true,
     1e-4f},
    {"Mp3VbrNoXingMono24000",
     "mp3",
     24000,
     1,
     {"-c:a", "libmp3lame", "-q:a", "6", "-write_xing", "0", "-write_id3v1", "1"},
     false,
     1e-4f},
    {"OggStereo44100", "ogg", 44100, 2, {"-c:a", "libvorbis", "-q:a", "4"}, true, 1e-4f},
    {"OggMono16000", "ogg", 16000, 1, {"-c:a", "libvorbis", "-q:a", "2"}, true, 1e-4f},
    {"Wmav2Stereo44100", "wma", 44100, 2, {"-c:a", "wmav2", "-b:a", "128k"}, false, 1e-4f},
    {"Wmav1Mono22050", "wma", 22050, 1, {"-c:a", "wmav1", "-b:a", "48k"}, false, 1e-4f},
    {"Wmav2Stereo32000", "wma", 32000, 2, {"-c:a", "wmav2", "-b:a", "64k"}, false, 1e-4f},
};

// Files are made once for the whole run and decoded once by ffmpeg.
struct Fixture {
    QString path;
    std::vector<float> reference;
};

QTemporaryDir& FixtureDir() {
    static QTemporaryDir dir;
    return dir;
}

const Fixture& FixtureFor(const Variant& v) {
    static std::map<std::string, std::unique_ptr<Fixture>> made;
    auto& slot = made[v.name];
    if (!slot) {
        slot = std::make_unique<Fixture>();
        slot->path = FixtureDir().filePath(QStringLiteral("%1.%2").arg(v.name, v.extension));
        MakeTone(slot->path, kFrames, v.rate, v.channels, v.options, "anoisesrc");
        slot->reference = DecodeWithFfmpeg(slot->path);
    }
    return *slot;
}

// Largest difference between got and the reference frames starting at frame `at`.
float MaxDiff(const std::vector<float>& got, const std::vector<float>& reference, int64_t at,
              int channels) {
    float worst = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const size_t j = static_cast<size_t>(at * channels) + i;
        if (j >= reference.size()) return INFINITY;
        worst = std::max(worst, std::abs(got[i] - reference[j]));
    }
    return worst;
}

std::vector<float> ReadFrames(AudioDecoder& decoder, int64_t frames) {
    std::vector<float> out;
    while (frames > 0) {
        const int64_t got = decoder.Read(out, std::min<int64_t>(frames, 4410));
        if (got == 0) break;
        frames -= got;
    }
    return out;
}

class DecoderFormats : public ::testing::TestWithParam<Variant> {};

TEST_P(DecoderFormats, LengthAndFormatMatchFfmpeg) {
    const Variant& v = GetParam();
    const Fixture& f = FixtureFor(v);
    AudioDecoder decoder(f.path);
    EXPECT_EQ(decoder.SampleRate(), v.rate);
    EXPECT_EQ(decoder.Channels(), v.channels);
    EXPECT_EQ(decoder.Length(), static_cast<int64_t>(f.reference.size()) / v.channels);
    if (v.lengthIsSource) {
        EXPECT_EQ(decoder.Length(), kFrames);
        // 100000 frames in whole milliseconds, truncated.
        const std::map<int, int64_t> ms{
            {8000, 12500}, {16000, 6250}, {22050, 4535}, {44100, 2267}, {48000, 2083}};
        EXPECT_EQ(decoder.DurationMs(), ms.at(v.rate));
    }
    // Milliseconds truncated: never more than the frames make, less by under one.
    EXPECT_LE(decoder.DurationMs() * v.rate, decoder.Length() * 1000);
    EXPECT_GT((decoder.DurationMs() + 1) * v.rate, decoder.Length() * 1000);
}

TEST_P(DecoderFormats, ReadingFromStartGivesFfmpegsDecodeAndThenNothing) {
    const Variant& v = GetParam();
    const Fixture& f = FixtureFor(v);
    AudioDecoder decoder(f.path);
    std::vector<float> all;
    int64_t frames = 0;
    // Odd block sizes cross codec frame boundaries everywhere.
    for (int64_t got = 1; got > 0;) {
        got = decoder.Read(all, 1000 + frames % 777);
        frames += got;
    }
    EXPECT_EQ(frames, decoder.Length());
    ASSERT_EQ(all.size(), f.reference.size());
    EXPECT_LE(MaxDiff(all, f.reference, 0, v.channels), v.tolerance);
    EXPECT_EQ(decoder.Read(all, 100), 0);
}

TEST_P(DecoderFormats, SeekThenReadEqualsContinuousRead) {
    const Variant& v = GetParam();
    const Fixture& f = FixtureFor(v);
    AudioDecoder decoder(f.path);
    const int64_t length = decoder.Length();
    ASSERT_GT(length, 5000);
    // Near the start (inside an MP3 pre-roll and the encoder delay), across frame boundaries,
    // the middle, backwards, and the very end.
    const int64_t positions[] = {0,          1,          575,        576,        1152,
                                 1700,       5000,       length / 2, length / 3, length - 4000,
                                 length - 1, length / 2, 3,          length - 1, 0};
    for (const int64_t p : positions) {
        SCOPED_TRACE(p);
        decoder.Seek(p);
        const std::vector<float> got = ReadFrames(decoder, 3000);
        EXPECT_EQ(static_cast<int64_t>(got.size()),
                  std::min<int64_t>(3000, length - p) * v.channels);
        EXPECT_LE(MaxDiff(got, f.reference, p, v.channels), v.tolerance);
    }
    decoder.Seek(length);
    std::vector<float> rest;
    EXPECT_EQ(decoder.Read(rest, 10), 0);
    decoder.Seek(length + 100);  // clamped to the end
    EXPECT_EQ(decoder.Read(rest, 10), 0);
}

TEST_P(DecoderFormats, RandomSeeksAndReadsFollowTheContinuousDecode) {
    const Variant& v = GetParam();
    const Fixture& f = FixtureFor(v);
    AudioDecoder decoder(f.path);
    const int64_t length = decoder.Length();
    std::mt19937 random(12345);
    int64_t pos = 0;
    for (int step = 0; step < 40; ++step) {
        if (random() % 3 != 0) {
            pos = static_cast<int64_t>(random() % static_cast<uint32_t>(length + 1));
            decoder.Seek(pos);
        }
        const int64_t want = 1 + random() % 5000;
        const std::vector<float> got = ReadFrames(decoder, want);
        const int64_t frames = static_cast<int64_t>(got.size()) / v.channels;
        ASSERT_EQ(frames, std::min(want, length - pos)) << "step " << step << " at " << pos;
        ASSERT_LE(MaxDiff(got, f.reference, pos, v.channels), v.tolerance)
            << "step " << step << " at " << pos;
        pos += frames;
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DecoderFormats, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = FixtureDir().filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void ExpectOpenFailsNaming(const QString& path) {
    try {
        AudioDecoder decoder(path);
        ADD_FAILURE() << "opened " << path.toStdString();
    } catch (const AudioError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(path)) << e.what();
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith("Unable to")) << e.what();
    }
}

TEST(DecoderBadInput, UnreadableFilesThrowNamingTheFile) {
    ExpectOpenFailsNaming(FixtureDir().filePath("missing.mp3"));
    ExpectOpenFailsNaming(FixtureDir().path());
    ExpectOpenFailsNaming(WriteFile("empty.mp3", {}));
    ExpectOpenFailsNaming(WriteFile("empty.wav", {}));
    ExpectOpenFailsNaming(WriteFile(
        "text.mp3", QByteArray("This is a plain text file, not audio at all.\n").repeated(50)));
    ExpectOpenFailsNaming(WriteFile("text.ogg", QByteArray("OggS but then nothing of a page")));
}

TEST(DecoderBadInput, FileWithoutAudioStreamThrows) {
    const QString path = FixtureDir().filePath("video.ogg");
    test::Ffmpeg(
        {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=5:duration=1", "-c:v", "libtheora", path});
    ExpectOpenFailsNaming(path);
}

// Whatever a damaged file holds, reading it never passes Length and never stops short of it,
// and the file is left as it was.
void ExpectConsistentOrRefused(const QString& path) {
    const QByteArray before = ReadAll(path);
    try {
        AudioDecoder decoder(path);
        std::vector<float> samples;
        int64_t frames = 0;
        for (int64_t got = 1; got > 0;) {
            got = decoder.Read(samples, 4096);
            frames += got;
            samples.clear();
        }
        EXPECT_EQ(frames, decoder.Length());
        decoder.Seek(decoder.Length() / 2);
        EXPECT_EQ(
            ReadFrames(decoder, decoder.Length()).size(),
            static_cast<size_t>((decoder.Length() - decoder.Length() / 2) * decoder.Channels()));
    } catch (const AudioError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(path)) << e.what();
    }
    EXPECT_EQ(ReadAll(path), before);
}

class DecoderTruncated : public ::testing::TestWithParam<Variant> {};

// A file cut off halfway still holds its first half: where ffmpeg decodes it, it opens and its
// Length is what ffmpeg decodes, give or take the frame or page the cut went through. (FFmpeg's
// Ogg demuxer refuses a file whose last page is cut; then so do we, naming the file.)
TEST_P(DecoderTruncated, HalfAFileReadsConsistently) {
    const Variant& v = GetParam();
    const QByteArray whole = ReadAll(FixtureFor(v).path);
    const QString path = WriteFile(QStringLiteral("half-%1.%2").arg(v.name, v.extension),
                                   whole.left(whole.size() / 2));
    ExpectConsistentOrRefused(path);
    // Ogg Vorbis is judged by libvorbisfile (oggdec), which reads a cut-off stream up to its
    // last whole page where ffmpeg gives up.
    const bool ogg = QString(v.extension) == "ogg";
    const test::ToolResult ffmpeg =
        ogg ? test::RunTool("oggdec", {"-Q", "-R", "-b", "16", "-o", "-", path})
            : test::RunTool("ffmpeg", {"-v", "error", "-i", path, "-f", "f32le", "-"});
    if (ffmpeg.exitCode != 0) {
        ExpectOpenFailsNaming(path);
        return;
    }
    AudioDecoder decoder(path);
    const int64_t sampleBytes = ogg ? 2 : static_cast<int64_t>(sizeof(float));
    const int64_t ffmpegFrames = ffmpeg.out.size() / sampleBytes / v.channels;
    if (ogg && ffmpegFrames == 0) {
        // The cut went through the first audio page: nothing of it can be decoded.
        EXPECT_EQ(decoder.Length(), 0);
        return;
    }
    EXPECT_GT(decoder.Length(), kFrames / 5);
    EXPECT_LT(decoder.Length(), kFrames * 4 / 5);
    EXPECT_NEAR(decoder.Length(), ffmpegFrames, 4608);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DecoderTruncated, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecoderBadInput, GarbageAfterAValidHeaderIsRefusedOrReadConsistently) {
    std::mt19937 random(99);
    QByteArray noise(20000, 0);
    for (char& c : noise) c = static_cast<char>(random());
    const Variant& wav = kVariants[0];
    const QByteArray header = ReadAll(FixtureFor(wav).path).left(44);
    ExpectConsistentOrRefused(WriteFile("noise.wav", header + noise));
    for (const Variant& v : kVariants) {
        // The first bytes of a real file (its headers), then noise.
        const QByteArray start = ReadAll(FixtureFor(v).path).left(600);
        ExpectConsistentOrRefused(
            WriteFile(QStringLiteral("noise-%1.%2").arg(v.name, v.extension), start + noise));
        // Noise overwriting the middle of a real file.
        QByteArray damaged = ReadAll(FixtureFor(v).path);
        damaged.replace(damaged.size() / 3, 3000, noise.left(3000));
        ExpectConsistentOrRefused(
            WriteFile(QStringLiteral("damaged-%1.%2").arg(v.name, v.extension), damaged));
    }
}

// Where the first MPEG audio frame starts: after an ID3v2 tag if there is one.
int64_t FirstMpegFrame(const QByteArray& b) {
    if (!b.startsWith("ID3")) return 0;
    return 10 + ((int64_t(b[6]) & 0x7f) << 21 | (int64_t(b[7]) & 0x7f) << 14 |
                 (int64_t(b[8]) & 0x7f) << 7 | (int64_t(b[9]) & 0x7f));
}

// Byte offsets of the frames of an MPEG-1 layer III file, from their headers.
std::vector<int64_t> Mp3FrameOffsets(const QByteArray& b) {
    static const int kKbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                  112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRates[4] = {44100, 48000, 32000, 0};
    std::vector<int64_t> offsets;
    for (int64_t at = FirstMpegFrame(b); at + 4 <= b.size();) {
        const auto byte = [&](int64_t i) { return static_cast<uint8_t>(b[int(at + i)]); };
        if (byte(0) != 0xff || (byte(1) & 0xfe) != 0xfa) break;
        const int kbps = kKbps[byte(2) >> 4];
        const int rate = kRates[(byte(2) >> 2) & 3];
        if (kbps == 0 || rate == 0) break;
        offsets.push_back(at);
        at += 144 * kbps * 1000 / rate + ((byte(2) >> 1) & 1);
    }
    return offsets;
}

// Frames whose side information is damaged are refused by FFmpeg's decoder when they are sent
// ("Invalid data found"). They are dropped and their time stays silent; the frames after them
// still decode, each in its place, to the end.
TEST(DecoderDamagedFrames, DecodingGoesOnAfterFramesTheDecoderRefuses) {
    const Variant& v = kVariants[4];
    ASSERT_STREQ(v.name, "Mp3CbrLameStereo44100");
    const Fixture& f = FixtureFor(v);
    QByteArray bytes = ReadAll(f.path);
    const std::vector<int64_t> frames = Mp3FrameOffsets(bytes);
    ASSERT_GT(frames.size(), 80u);
    // Five frames in the second quarter: the bytes after the header (the side information).
    for (size_t i = frames.size() / 4; i < frames.size() / 2 && i < frames.size() / 4 + 40; i += 8)
        for (int k = 4; k < 20; ++k) bytes[int(frames[i] + k)] ^= char(0xff);
    const QString path = WriteFile("side-info-damaged.mp3", bytes);
    const test::ToolResult ffmpeg =
        test::RunTool("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
    EXPECT_GE(ffmpeg.err.count("Invalid data found"), 3) << ffmpeg.err.toStdString();

    AudioDecoder decoder(path);
    EXPECT_EQ(decoder.Length(), kFrames);
    const std::vector<float> all = ReadFrames(decoder, kFrames + 10);
    ASSERT_EQ(all.size(), size_t{kFrames} * 2);
    // The last quarter, far from the damage, is what ffmpeg decodes of the undamaged file.
    const int64_t tail = kFrames * 3 / 4;
    const std::vector<float> end(all.begin() + tail * 2, all.end());
    EXPECT_LE(MaxDiff(end, f.reference, tail, 2), v.tolerance);
    // The dropped frames are silent: at least one frame's worth of zeros in the second quarter.
    int64_t silent = 0;
    for (int64_t i = kFrames / 4; i < kFrames / 2; ++i)
        if (all[size_t(i * 2)] == 0.0f && all[size_t(i * 2 + 1)] == 0.0f) ++silent;
    EXPECT_GE(silent, 1152);
}

// A file cut short while it is read: the audio its Length promised is no longer there, which
// is an error naming the file, not silence.
class DecoderShrinking : public ::testing::TestWithParam<Variant> {};

TEST_P(DecoderShrinking, AFileCutShortWhileReadingIsAnError) {
    const Variant& v = GetParam();
    const QString path =
        FixtureDir().filePath(QStringLiteral("shrinking-%1.%2").arg(v.name, v.extension));
    // Long enough that what FFmpeg buffers ahead is a small part of it.
    MakeTone(path, v.rate * 30, v.rate, v.channels, v.options, "anoisesrc");
    const qint64 size = QFileInfo(path).size();
    AudioDecoder decoder(path);
    ASSERT_EQ(ReadFrames(decoder, v.rate).size(), size_t(v.rate) * v.channels);
    ASSERT_TRUE(QFile::resize(path, size / 2));
    try {
        ReadFrames(decoder, decoder.Length());
        ADD_FAILURE() << "read to the end of a file cut to half its size";
    } catch (const AudioError& e) {
        const QString message = QString::fromUtf8(e.what());
        EXPECT_TRUE(message.contains(path)) << e.what();
        EXPECT_TRUE(message.contains("shorter")) << e.what();
    }
    // A seek back decodes from a file that is still shorter than it was: the same.
    decoder.Seek(decoder.Length() * 3 / 4);
    EXPECT_THROW(ReadFrames(decoder, 1000), AudioError);
}

INSTANTIATE_TEST_SUITE_P(OnePerFormat, DecoderShrinking,
                         ::testing::Values(kVariants[0], kVariants[4], kVariants[12],
                                           kVariants[14]),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet
