// The engine on files as people have them: chained and offset Ogg, multichannel and lying WAV,
// headers that claim more than the file holds. Judged by decoders that are not FFmpeg: oggdec
// (libvorbisfile) and sox.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio/AudioDecoder.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioInformation2.h"
#include "support/AudioMatch.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::RunTool;

void PutLe(QByteArray& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A distinct, deterministic 16-bit signal for each channel: channel c is a sine of its own
// frequency at its own level, so a swapped, silent or mixed channel shows.
int16_t ChannelSample(int channel, int64_t frame, int rate) {
    const double freq = 220.0 * (channel + 1) + 17.0 * channel;
    const double level = 0.9 - 0.1 * channel;
    return static_cast<int16_t>(std::lrint(
        32767.0 * level * std::sin(2 * M_PI * freq * static_cast<double>(frame) / rate)));
}

struct WavSpec {
    int rate = 44100;
    int channels = 2;
    int bits = 16;       // container bits
    int validBits = 16;  // written into an extensible header only
    int64_t frames = 44100;
    uint32_t mask = 0;           // non-zero: WAVE_FORMAT_EXTENSIBLE with this channel mask
    int blockAlign = 0;          // 0: channels x bytes
    uint32_t dataSizeClaim = 0;  // 0: the true size
};

// Writes a WAV of ChannelSample values (scaled into the container) and returns the samples as
// integers of the container's width.
std::vector<int32_t> WriteWav(const QString& path, const WavSpec& s) {
    const int bytes = s.bits / 8;
    QByteArray fmt;
    const bool extensible = s.mask != 0;
    PutLe(fmt, extensible ? 0xfffe : 1, 2);
    PutLe(fmt, s.channels, 2);
    PutLe(fmt, s.rate, 4);
    PutLe(fmt, uint64_t(s.rate) * s.channels * bytes, 4);
    PutLe(fmt, s.blockAlign ? s.blockAlign : s.channels * bytes, 2);
    PutLe(fmt, s.bits, 2);
    if (extensible) {
        PutLe(fmt, 22, 2);
        PutLe(fmt, s.validBits, 2);
        PutLe(fmt, s.mask, 4);
        fmt.append(QByteArray::fromHex("0100000000001000800000aa00389b71"));
    }
    QByteArray data;
    std::vector<int32_t> samples;
    for (int64_t f = 0; f < s.frames; ++f) {
        for (int c = 0; c < s.channels; ++c) {
            int64_t v = ChannelSample(c, f, s.rate);
            if (bytes == 1) v = (v >> 8) + 128;
            if (bytes == 3) v *= 256;
            if (bytes == 4) v *= 65536;  // 16 valid bits at the top of the container
            samples.push_back(static_cast<int32_t>(v));
            PutLe(data, static_cast<uint64_t>(v), bytes);
        }
    }
    QByteArray file("RIFF");
    PutLe(file, 4 + 8 + fmt.size() + 8 + data.size(), 4);
    file.append("WAVEfmt ");
    PutLe(file, fmt.size(), 4);
    file.append(fmt);
    file.append("data");
    PutLe(file, s.dataSizeClaim ? s.dataSizeClaim : data.size(), 4);
    file.append(data);
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    return samples;
}

std::vector<float> ReadAll(AudioDecoder& decoder) {
    std::vector<float> out;
    while (decoder.Read(out, 10000) > 0) {
    }
    return out;
}

// 16-bit samples of a WAV that an oracle wrote (the data chunk of a RIFF file).
std::vector<int16_t> WavSamples16(const QByteArray& file) {
    std::vector<int16_t> out;
    int64_t at = 12;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        uint32_t size = 0;
        std::memcpy(&size, file.constData() + at + 4, 4);
        if (id == "data") {
            const int64_t n = std::min<int64_t>(size, file.size() - at - 8) / 2;
            out.resize(static_cast<size_t>(n));
            std::memcpy(out.data(), file.constData() + at + 8, static_cast<size_t>(n) * 2);
            return out;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

// What libvorbisfile delivers, through oggdec, in the WAVE channel order.
std::vector<int16_t> Oggdec(const QString& path) {
    const QString wav = path + ".oggdec.wav";
    const auto r = RunTool("oggdec", {"-Q", "-o", wav, path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile file(wav);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return WavSamples16(file.readAll());
}

// Our float samples as oggdec quantises the same decoder's floats (vorbis_ftoi, then clipping).
std::vector<int16_t> As16(const std::vector<float>& in) {
    std::vector<int16_t> out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp<long>(std::lrint(in[i] * 32768.f), -32768, 32767));
    return out;
}

void MakeWavTone(const QString& path, int rate, int channels, double seconds, int seed) {
    QStringList args{
        "-n", "-r",    QString::number(rate),   "-c", QString::number(channels), "-b", "16",
        path, "synth", QString::number(seconds)};
    // Channel 3 is the LFE of 5.1, which Vorbis encoders low-pass: it gets a low tone.
    for (int c = 0; c < channels; ++c)
        args << "sine" << QString::number((c == 3 ? 60 : 200 + 150 * c) + 37 * seed);
    args << "vol"
         << "0.7";
    const auto r = RunTool("sox", args);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
}

void Oggenc(const QString& wav, const QString& ogg, int serial, const char* quality = "2") {
    const auto r = RunTool(
        "oggenc", {"-Q", "-q", quality, "--serial", QString::number(serial), "-o", ogg, wav});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

uint32_t OggCrc(const QByteArray& page) {
    static uint32_t table[256];
    static bool made = false;
    if (!made) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int j = 0; j < 8; ++j) r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
            table[i] = r;
        }
        made = true;
    }
    uint32_t crc = 0;
    for (char ch : page) crc = (crc << 8) ^ table[((crc >> 24) ^ static_cast<uint8_t>(ch)) & 0xff];
    return crc;
}

// Rewrites the granule position of every audio page (granule > 0) with change(old, isLast),
// fixing the checksums.
template <typename Change>
QByteArray RewriteGranules(QByteArray file, Change change) {
    std::vector<int64_t> pages;
    for (int64_t at = 0; at + 27 <= file.size();) {
        if (file.mid(at, 4) != "OggS") break;
        const int segments = static_cast<uint8_t>(file[at + 26]);
        int64_t body = 0;
        for (int i = 0; i < segments; ++i) body += static_cast<uint8_t>(file[at + 27 + i]);
        pages.push_back(at);
        at += 27 + segments + body;
    }
    for (size_t p = 0; p < pages.size(); ++p) {
        const int64_t at = pages[p];
        int64_t granule = 0;
        std::memcpy(&granule, file.constData() + at + 6, 8);
        if (granule <= 0) continue;
        granule = change(granule, p + 1 == pages.size());
        std::memcpy(file.data() + at + 6, &granule, 8);
        const int segments = static_cast<uint8_t>(file[at + 26]);
        int64_t body = 0;
        for (int i = 0; i < segments; ++i) body += static_cast<uint8_t>(file[at + 27 + i]);
        QByteArray page = file.mid(at, 27 + segments + body);
        std::memset(page.data() + 22, 0, 4);
        const uint32_t crc = OggCrc(page);
        std::memcpy(file.data() + at + 22, &crc, 4);
    }
    return file;
}

// oggdec's channel of the same samples for each of ours: it permutes 5 and 6 channels its own
// way, so the order is judged against the source instead (VorbisLayoutsComeThrough...).
std::vector<int> MatchChannels(const std::vector<int16_t>& ours, const std::vector<int16_t>& theirs,
                               int ch) {
    std::vector<int> map(static_cast<size_t>(ch), -1);
    for (int c = 0; c < ch; ++c) {
        for (int k = 0; k < ch && map[static_cast<size_t>(c)] < 0; ++k) {
            bool same = true;
            for (size_t i = 0; same && i + static_cast<size_t>(ch) <= ours.size();
                 i += static_cast<size_t>(ch))
                same = ours[i + static_cast<size_t>(c)] == theirs[i + static_cast<size_t>(k)];
            if (same) map[static_cast<size_t>(c)] = k;
        }
    }
    return map;
}

// Length, a whole read and reads after seeks (forwards, backwards, across link boundaries)
// against oggdec's decode of the same file, to the bit at 16 bits.
void ExpectLikeOggdec(const QString& path, const std::vector<int64_t>& seeks) {
    const std::vector<int16_t> expected = Oggdec(path);
    AudioDecoder decoder(path);
    const int ch = decoder.Channels();
    ASSERT_GT(expected.size(), 0u);
    ASSERT_EQ(decoder.Length() * ch, static_cast<int64_t>(expected.size()));
    const std::vector<int16_t> whole = As16(ReadAll(decoder));
    ASSERT_EQ(whole.size(), expected.size());
    const std::vector<int> map = MatchChannels(whole, expected, ch);
    for (int c = 0; c < ch; ++c)
        ASSERT_GE(map[static_cast<size_t>(c)], 0) << "channel " << c << " differs from oggdec";
    if (ch <= 4) {
        EXPECT_TRUE(whole == expected) << "channel order differs from oggdec";
    }
    for (const int64_t at : seeks) {
        decoder.Seek(at);
        std::vector<float> got;
        const int64_t n = decoder.Read(got, 5000);
        ASSERT_EQ(n, std::min<int64_t>(5000, decoder.Length() - at)) << "at " << at;
        const std::vector<int16_t> part = As16(got);
        bool same = true;
        const auto width = static_cast<size_t>(ch);
        for (size_t i = 0; same && i < part.size(); ++i)
            same = part[i] == expected[static_cast<size_t>(at) * width + i - i % width +
                                       static_cast<size_t>(map[i % width])];
        EXPECT_TRUE(same) << "read after a seek to " << at << " differs from oggdec";
    }
}

class RealWorld : public ::testing::Test {
  protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(RealWorld, ChainedOggCoversEveryLink) {
    // Three links of different lengths and serials, as streamed radio writes them.
    QByteArray chain;
    const double seconds[] = {1.3, 0.7, 2.1};
    for (int i = 0; i < 3; ++i) {
        const QString wav = Path(QString("link%1.wav").arg(i));
        const QString ogg = Path(QString("link%1.ogg").arg(i));
        MakeWavTone(wav, 44100, 2, seconds[i], i);
        Oggenc(wav, ogg, 1000 + i);
        chain += ReadFile(ogg);
    }
    const QString path = Path("chain.ogg");
    WriteFile(path, chain);
    // 1.3 s + 0.7 s + 2.1 s, each link exactly as long as its source.
    AudioDecoder decoder(path);
    EXPECT_EQ(decoder.Length(), 57330 + 30870 + 92610);
    ExpectLikeOggdec(path, {0, 57330 - 100, 57330, 57330 + 30870 - 2500, 150000, 3, 120000});
}

TEST_F(RealWorld, ChainedOggWhoseFormatChangesIsRefusedInWords) {
    MakeWavTone(Path("a.wav"), 44100, 2, 0.5, 0);
    MakeWavTone(Path("b.wav"), 22050, 1, 0.5, 1);
    Oggenc(Path("a.wav"), Path("a.ogg"), 1);
    Oggenc(Path("b.wav"), Path("b.ogg"), 2);
    const QString path = Path("mixed.ogg");
    WriteFile(path, ReadFile(Path("a.ogg")) + ReadFile(Path("b.ogg")));
    try {
        AudioDecoder decoder(path);
        FAIL() << "opened with " << decoder.SampleRate() << " Hz";
    } catch (const AudioError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("chain of Ogg Vorbis streams"), std::string::npos) << text;
        EXPECT_NE(text.find("22050 Hz"), std::string::npos) << text;
    }
}

TEST_F(RealWorld, VorbisLayoutsComeThroughChannelForChannel) {
    for (const int channels : {1, 2, 3, 4, 5, 6}) {
        SCOPED_TRACE(channels);
        const QString wav = Path(QString("v%1.wav").arg(channels));
        const QString ogg = Path(QString("v%1.ogg").arg(channels));
        MakeWavTone(wav, 44100, channels, 0.8, 0);
        Oggenc(wav, ogg, 7, "6");
        ExpectLikeOggdec(ogg, {0, 20000, 1000});
        // Each channel keeps its own tone: the one of its source channel dominates.
        AudioDecoder decoder(ogg);
        const std::vector<float> all = ReadAll(decoder);
        const std::vector<int16_t> source = WavSamples16(ReadFile(wav));
        for (int c = 0; c < channels; ++c) {
            double cross = 0, energy = 0, sourceEnergy = 0;
            for (size_t i = static_cast<size_t>(c); i < all.size() && i < source.size();
                 i += static_cast<size_t>(channels)) {
                cross += all[i] * source[i] / 32768.0;
                energy += all[i] * all[i];
                sourceEnergy += (source[i] / 32768.0) * (source[i] / 32768.0);
            }
            EXPECT_GT(cross / std::sqrt(energy * sourceEnergy), 0.99) << "channel " << c;
            EXPECT_NEAR(std::sqrt(energy / sourceEnergy), 1.0, 0.25) << "channel " << c;
        }
    }
}

TEST_F(RealWorld, OggWithAStartOffsetFollowsTheGranuleRule) {
    MakeWavTone(Path("src.wav"), 44100, 2, 1.5, 3);
    Oggenc(Path("src.wav"), Path("src.ogg"), 11);
    const QByteArray original = ReadFile(Path("src.ogg"));
    // A stream cut out of a longer one: its first granule lies far past zero.
    WriteFile(Path("late.ogg"),
              RewriteGranules(original, [](int64_t g, bool) { return g + 441000; }));
    // Samples before time zero: the first page's granule is smaller than what it decodes to.
    WriteFile(Path("early.ogg"),
              RewriteGranules(original, [](int64_t g, bool) { return g - 700; }));
    for (const char* name : {"late.ogg", "early.ogg"}) {
        SCOPED_TRACE(name);
        ExpectLikeOggdec(Path(name), {0, 1, 30000, 65000, 500});
    }
    EXPECT_EQ(AudioDecoder(Path("late.ogg")).Length(), 66150);
    EXPECT_EQ(AudioDecoder(Path("early.ogg")).Length(), 66150 - 700);
}

TEST_F(RealWorld, OggEndsWithItsLastSamplesNotSilence) {
    // Lengths whose last packet ends short of a whole block; FFmpeg-made files as our own writer
    // makes them, and oggenc's.
    for (const int frames : {44100, 44101, 45000, 12345}) {
        SCOPED_TRACE(frames);
        const QString path = Path(QString("end%1.ogg").arg(frames));
        test::MakeTone(path, frames, 44100, 2, {"-c:a", "libvorbis", "-q:a", "3"}, "anoisesrc");
        ExpectLikeOggdec(path, {frames - 128, frames - 4000});
        AudioDecoder decoder(path);
        decoder.Seek(decoder.Length() - 128);
        std::vector<float> tail;
        ASSERT_EQ(decoder.Read(tail, 128), 128);
        EXPECT_GT(*std::max_element(tail.begin(), tail.end()), 0.01f);
    }
}

TEST_F(RealWorld, OggWhoseLastGranuleLiesHasTheLengthItDelivers) {
    MakeWavTone(Path("src.wav"), 44100, 1, 2.0, 4);
    Oggenc(Path("src.wav"), Path("src.ogg"), 5);
    // The last page claims 2 h 34 min.
    WriteFile(Path("liar.ogg"),
              RewriteGranules(ReadFile(Path("src.ogg")),
                              [](int64_t g, bool last) { return last ? int64_t(407484000) : g; }));
    const std::vector<int16_t> expected = Oggdec(Path("liar.ogg"));
    AudioDecoder decoder(Path("liar.ogg"));
    EXPECT_EQ(decoder.Length(), static_cast<int64_t>(expected.size()));
    EXPECT_LE(decoder.Length(), 88200 + 4096);
    EXPECT_GE(decoder.Length(), 88200 - 4096);
    EXPECT_TRUE(As16(ReadAll(decoder)) == expected);
}

std::vector<int32_t> SoxSamples(const QString& path, int bits) {
    const auto r =
        RunTool("sox", {path, "-t", "raw", "-e", "signed", "-b", QString::number(bits), "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<int32_t> out;
    const int bytes = bits / 8;
    for (int64_t i = 0; i + bytes <= r.out.size(); i += bytes) {
        int32_t v = 0;
        std::memcpy(&v, r.out.constData() + i, static_cast<size_t>(bytes));
        if (bytes == 2) v = static_cast<int16_t>(v);
        out.push_back(v);
    }
    return out;
}

TEST_F(RealWorld, WavLayoutsComeThroughChannelForChannel) {
    struct Case {
        const char* name;
        int channels;
        uint32_t mask;
        int bits;
    };
    const Case cases[] = {
        {"3.0", 3, 0x7, 16},         {"quad", 4, 0x33, 16}, {"stereo-back", 2, 0x30, 16},
        {"quad-side", 4, 0x603, 24}, {"5.1", 6, 0x3f, 16},  {"3.0-plain", 3, 0, 16},
        {"mono-24", 1, 0x4, 24},     {"7.1", 8, 0x63f, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavSpec spec;
        spec.channels = c.channels;
        spec.mask = c.mask;
        spec.bits = spec.validBits = c.bits;
        spec.frames = 30011;
        const QString path = Path(QString("%1.wav").arg(c.name));
        const std::vector<int32_t> written = WriteWav(path, spec);
        // sox reads the same numbers back.
        EXPECT_TRUE(SoxSamples(path, c.bits == 24 ? 32 : c.bits) ==
                    (c.bits == 24 ? [&] {
                        std::vector<int32_t> v(written);
                        for (auto& x : v) x *= 256;
                        return v;
                    }()
                                  : written));
        AudioDecoder decoder(path);
        ASSERT_EQ(decoder.Channels(), c.channels);
        ASSERT_EQ(decoder.Length(), spec.frames);
        const double scale = c.bits == 16 ? 32768.0 : c.bits == 24 ? 8388608.0 : 2147483648.0;
        std::vector<float> all = ReadAll(decoder);
        ASSERT_EQ(all.size(), written.size());
        for (size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(all[i], static_cast<float>(written[i] / scale)) << "sample " << i;
        decoder.Seek(12345);
        std::vector<float> part;
        ASSERT_EQ(decoder.Read(part, 1000), 1000);
        EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + 12345 * c.channels));
    }
}

TEST_F(RealWorld, ExtensibleWavWith24ValidBitsIn32IsReadAsIntegers) {
    WavSpec spec;
    spec.bits = 32;
    spec.validBits = 24;
    spec.mask = 0x3;
    spec.frames = 20000;
    const std::vector<int32_t> written = WriteWav(Path("24in32.wav"), spec);
    // sox refuses such files ("padded samples"); the numbers written are the judge.
    AudioDecoder decoder(Path("24in32.wav"));
    const std::vector<float> all = ReadAll(decoder);
    ASSERT_EQ(all.size(), written.size());
    float peak = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(all[i], static_cast<float>(written[i] / 2147483648.0)) << i;
        peak = std::max(peak, std::fabs(all[i]));
    }
    EXPECT_NEAR(peak, 0.9f, 0.01f);  // channel 0's level, not full-scale noise
}

TEST_F(RealWorld, WavWhoseBlockSizeContradictsItsFormatIsRefusedInWords) {
    WavSpec spec;
    spec.blockAlign = 8;  // stereo 16-bit is 4 bytes a frame
    WriteWav(Path("lying.wav"), spec);
    try {
        AudioDecoder decoder(Path("lying.wav"));
        FAIL() << "opened with Length " << decoder.Length();
    } catch (const AudioError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("contradicts itself: 8 bytes per sample frame for 2 channel(s) of "
                            "16 bits"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("patches welcome"), std::string::npos) << text;
    }
}

TEST_F(RealWorld, WavClaimingMoreThanItHoldsHasTheLengthItDelivers) {
    WavSpec spec;
    spec.frames = 250000;
    spec.dataSizeClaim = 0xfffffff0u;  // about 12 days of 44.1 kHz stereo
    WriteWav(Path("claims.wav"), spec);
    AudioDecoder decoder(Path("claims.wav"));
    EXPECT_EQ(decoder.Length(), 250000);
    EXPECT_EQ(static_cast<int64_t>(ReadAll(decoder).size()), 250000 * 2);
}

// What mpg123, an MP3 decoder that is not FFmpeg's, makes of a file: interleaved float, with its
// gapless trimming (the LAME tag's delay and padding).
std::vector<float> Mpg123(const QString& path) {
    const auto r = RunTool("mpg123", {"-q", "-e", "f32", "-s", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<float> out(static_cast<size_t>(r.out.size()) / sizeof(float));
    std::memcpy(out.data(), r.out.constData(), out.size() * sizeof(float));
    return out;
}

// FFmpeg's and mpg123's float decoders differ by rounding only (a few 1e-6 at most).
constexpr float kMp3Rounding = 2e-5f;

float MaxDiffAt(const std::vector<float>& ours, size_t oursFrom, const std::vector<float>& theirs,
                size_t theirsFrom, size_t count) {
    float worst = 0;
    for (size_t i = 0; i < count; ++i)
        worst = std::max(worst, std::fabs(ours[oursFrom + i] - theirs[theirsFrom + i]));
    return worst;
}

void MakeMp3(const QString& path, int rate, double seconds, const QString& source) {
    test::Ffmpeg({"-f", "lavfi", "-i", QString("%1=r=%2:d=%3").arg(source).arg(rate).arg(seconds),
                  "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k", path});
}

TEST_F(RealWorld, Mp3FramesAfterTheTaggedLengthAreKept) {
    MakeMp3(Path("full.mp3"), 44100, 1.0, "anoisesrc");
    // The Info frame counts five frames fewer than there are.
    QByteArray bytes = ReadFile(Path("full.mp3"));
    int at = bytes.indexOf("Info");
    if (at < 0) at = bytes.indexOf("Xing");
    ASSERT_GT(at, 0);
    ASSERT_TRUE(static_cast<uint8_t>(bytes[at + 7]) & 1);
    uint32_t frames = 0;
    for (int i = 0; i < 4; ++i) frames = (frames << 8) | static_cast<uint8_t>(bytes[at + 8 + i]);
    frames -= 5;
    for (int i = 0; i < 4; ++i) bytes[at + 8 + i] = static_cast<char>(frames >> (24 - 8 * i));
    WriteFile(Path("under.mp3"), bytes);
    const std::vector<float> expected = Mpg123(Path("under.mp3"));
    AudioDecoder decoder(Path("under.mp3"));
    ASSERT_EQ(decoder.Length() * 2, static_cast<int64_t>(expected.size()));
    EXPECT_GT(decoder.Length(), 44100 - 5 * 1152 + 1000);  // the five frames are there
    const std::vector<float> all = ReadAll(decoder);
    EXPECT_LE(MaxDiffAt(all, 0, expected, 0, all.size()), kMp3Rounding);
    for (const int64_t seek : {int64_t{30000}, decoder.Length() - 3000}) {
        decoder.Seek(seek);
        std::vector<float> part;
        ASSERT_EQ(decoder.Read(part, 2000), 2000);
        EXPECT_LE(MaxDiffAt(part, 0, expected, static_cast<size_t>(seek) * 2, part.size()),
                  kMp3Rounding)
            << seek;
    }
}

TEST_F(RealWorld, Mp3FilesJoinedByConcatenationKeepBothWithoutTheSecondInfoFrame) {
    MakeMp3(Path("a.mp3"), 44100, 1.0, "anoisesrc");
    MakeMp3(Path("b.mp3"), 44100, 0.5, "sine");
    WriteFile(Path("ab.mp3"), ReadFile(Path("a.mp3")) + ReadFile(Path("b.mp3")));
    // mpg123 trims the first file as its tag says and decodes the rest as it stands, the second
    // Info frame included (1152 frames that carry no audio); we leave that frame out.
    const std::vector<float> expected = Mpg123(Path("ab.mp3"));
    AudioDecoder decoder(Path("ab.mp3"));
    ASSERT_EQ(decoder.Length() * 2 + 1152 * 2, static_cast<int64_t>(expected.size()));
    const std::vector<float> all = ReadAll(decoder);
    EXPECT_LE(MaxDiffAt(all, 0, expected, 0, 44100 * 2), kMp3Rounding);
    // Past the joint (where the frame left out still overlaps) the second file is the same.
    const size_t after = (44100 + 2 * 1152) * 2;
    EXPECT_LE(MaxDiffAt(all, after, expected, after + 1152 * 2, all.size() - after), kMp3Rounding);
    // At the joint only the second file's own encoder delay is quiet (576 + 529 frames); the
    // Info frame would add 1152 more.
    int64_t run = 0, longest = 0;
    for (size_t f = 43000; f < 44100 + 4000; ++f) {
        run = std::fabs(all[f * 2]) < 1e-3f && std::fabs(all[f * 2 + 1]) < 1e-3f ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LT(longest, 1152 + 200);
}

TEST_F(RealWorld, Mp3WhoseRateChangesPartWayIsRefusedInWords) {
    MakeMp3(Path("a.mp3"), 44100, 0.5, "anoisesrc");
    MakeMp3(Path("b.mp3"), 32000, 0.5, "anoisesrc");
    WriteFile(Path("ab.mp3"), ReadFile(Path("a.mp3")) + ReadFile(Path("b.mp3")));
    try {
        AudioDecoder decoder(Path("ab.mp3"));
        FAIL() << "opened with Length " << decoder.Length();
    } catch (const AudioError& e) {
        EXPECT_NE(std::string(e.what()).find("sample rate changes part-way, from 44100 Hz to "
                                             "32000 Hz"),
                  std::string::npos)
            << e.what();
    }
}

TEST_F(RealWorld, Mp3WithACutOffLastFrameKeepsIt) {
    MakeMp3(Path("full.mp3"), 44100, 1.0, "anoisesrc");
    const QByteArray bytes = ReadFile(Path("full.mp3"));
    WriteFile(Path("cut.mp3"), bytes.left(bytes.size() - 100));
    const std::vector<float> expected = Mpg123(Path("full.mp3"));
    ASSERT_EQ(expected.size(), 44100u * 2);
    AudioDecoder decoder(Path("cut.mp3"));
    EXPECT_EQ(decoder.Length(), 44100);
    const std::vector<float> all = ReadAll(decoder);
    ASSERT_EQ(all.size(), expected.size());
    // Up to the last frame exactly; the last one from what is left of it (its bit reservoir and
    // first bytes), not silence.
    EXPECT_LE(MaxDiffAt(all, 0, expected, 0, (44100 - 1152) * 2), kMp3Rounding);
    float peak = 0;
    for (size_t i = (44100 - 200) * 2; i < all.size(); ++i)
        peak = std::max(peak, std::fabs(all[i]));
    EXPECT_GT(peak, 0.05f);
}

// A Cut as the program makes it: the stretch [from, to) of source into output, then the
// source's information into the output.
void Cut(const QString& source, const QString& output, int32_t from, int32_t to,
         TAudioFile2& writer) {
    TAudioFile2 reader;
    reader.OpenForRead(source);
    reader.SeekPosition(from);
    writer.CreateForWrite(output);
    writer.SetSourceFormat(reader.SampleRate(), reader.Channels());
    for (int32_t done = from; done < to;) {
        SampleArray block = reader.ReadSamples(std::min(reader.SampleRate(), to - done));
        const int32_t got = static_cast<int32_t>(block.ByteCount() / reader.BytesPerPosition());
        if (got == 0) break;
        writer.WriteSamples(block);
        done += got;
    }
    reader.Close();
    PendingFile pending = writer.ClosePending();
    TAudioInformation2 information;
    information.LoadInformation(source);
    information.SaveInformation(pending);
}

// The descriptive fields of a file as mutagen reads them, by our key names, one "KEY=value" a
// line in key order.
QString MutagenFields(const QString& path) {
    static const char* const kScript = R"(
import sys, mutagen
names = {
    'TITLE': ['TIT2', 'title', 'Title'], 'ARTIST': ['TPE1', 'artist', 'Author'],
    'ALBUM': ['TALB', 'album', 'WM/AlbumTitle'], 'DATE': ['TDRC', 'date', 'WM/Year'],
    'TRACKNUMBER': ['TRCK', 'tracknumber', 'WM/TrackNumber'], 'GENRE': ['TCON', 'genre', 'WM/Genre'],
    'COMMENT': ['COMM::XXX', 'comment', 'Description'],
}
f = mutagen.File(sys.argv[1])
tags = f.tags if f is not None and f.tags is not None else {}
for key in sorted(names):
    for name in names[key]:
        if name in tags:
            v = tags[name]
            v = '|'.join(str(x) for x in (v.text if hasattr(v, 'text') else v))
            # FFmpeg's ASF writer leaves empty author and description fields of its own.
            if v:
                print('%s=%s' % (key, v))
            break
)";
    const auto r = RunTool("/usr/bin/python3", {"-c", kScript, path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QString::fromUtf8(r.out);
}

TEST_F(RealWorld, EveryTextFieldCrossesEveryFormatAsText) {
    const QStringList kinds{"mp3", "wav", "wma", "ogg"};
    const QString expected =
        "ALBUM=Album \u00e9t\u00e9\nARTIST=Artist\nCOMMENT=A comment\nDATE=2003-05-17\n"
        "GENRE=Rock\nTITLE=Title\nTRACKNUMBER=05/12\n";
    TAudioFile2 writer;
    for (const QString& in : kinds) {
        const QString source = Path("source." + in);
        test::Ffmpeg({"-f", "lavfi", "-i", "sine=d=1", "-metadata", "title=Title", "-metadata",
                      "artist=Artist", "-metadata", QString::fromUtf8("album=Album \u00e9t\u00e9"),
                      "-metadata", "date=2003-05-17", "-metadata", "track=05/12", "-metadata",
                      "genre=Rock", "-metadata", "comment=A comment", source});
        // A source without a date or track number gives none to its outputs.
        const QString bare = Path("bare." + in);
        test::Ffmpeg({"-f", "lavfi", "-i", "sine=d=1", "-metadata", "title=Bare", bare});
        for (const QString& out : kinds) {
            SCOPED_TRACE((in + " -> " + out).toStdString());
            const QString output = Path("from-" + in + "." + out);
            Cut(source, output, 1000, 20000, writer);
            EXPECT_EQ(MutagenFields(output).toStdString(),
                      QString::fromUtf8(expected.toUtf8()).toStdString());
            const QString bareOutput = Path("bare-from-" + in + "." + out);
            Cut(bare, bareOutput, 0, 20000, writer);
            EXPECT_EQ(MutagenFields(bareOutput).toStdString(), "TITLE=Bare\n");
        }
    }
}

TEST_F(RealWorld, EachMp3VbrQualityMakesItsOwnFile) {
    test::MakeTone(Path("noise.wav"), 88200, 44100, 2, {"-c:a", "pcm_s16le"}, "anoisesrc");
    for (const int vbrKbps : {128, 32, 320}) {
        std::vector<QByteArray> files;
        for (int quality = 0; quality <= 9; ++quality) {
            TAudioFile2LameEnc encoder;
            encoder.SetConstantBitrate(false);
            encoder.SetVbrBitrate(vbrKbps);
            encoder.SetVbrQuality(quality);
            TAudioFile2 writer;
            writer.SetMp3Encoder(encoder);
            const QString out = Path(QString("v%1-%2.mp3").arg(quality).arg(vbrKbps));
            Cut(Path("noise.wav"), out, 0, 88200, writer);
            files.push_back(ReadFile(out));
        }
        for (size_t a = 0; a < files.size(); ++a)
            for (size_t b = a + 1; b < files.size(); ++b)
                EXPECT_NE(files[a], files[b]) << "-V" << a << " and -V" << b << " at " << vbrKbps;
        // Lower levels spend fewer bits.
        EXPECT_GT(files.front().size(), files.back().size() * 2);
    }
}

double ChannelRms(const std::vector<int32_t>& samples, int channels, int c) {
    double sum = 0;
    int64_t n = 0;
    for (size_t i = static_cast<size_t>(c); i < samples.size(); i += static_cast<size_t>(channels))
        sum += double(samples[i]) * samples[i], ++n;
    return n ? std::sqrt(sum / n) / 32768.0 : 0;
}

TEST_F(RealWorld, MonoJoinedIntoFivePointOneGoesToTheCentre) {
    MakeWavTone(Path("mono.wav"), 44100, 1, 1.0, 0);
    TAudioFile2 writer;
    writer.SetWavFormat(44100, 6, 16);
    Cut(Path("mono.wav"), Path("six.wav"), 0, 44100, writer);
    const std::vector<int32_t> six = SoxSamples(Path("six.wav"), 16);
    const double source = ChannelRms(SoxSamples(Path("mono.wav"), 16), 1, 0);
    ASSERT_GT(source, 0.4);
    // FFmpeg's standard matrix: mono is the front centre (channel 3 of 5.1), the rest silent.
    for (int c = 0; c < 6; ++c)
        EXPECT_NEAR(ChannelRms(six, 6, c), c == 2 ? source : 0.0, 1e-3) << "channel " << c;
    // Mono into stereo: both sides at full level.
    writer.SetWavFormat(44100, 2, 16);
    Cut(Path("mono.wav"), Path("two.wav"), 0, 44100, writer);
    const std::vector<int32_t> two = SoxSamples(Path("two.wav"), 16);
    for (int c = 0; c < 2; ++c) EXPECT_NEAR(ChannelRms(two, 2, c), source, 1e-3);
}

// Peak resident memory of quillet-engine with these arguments, from /usr/bin/time -v, in MB.
double PeakMegabytes(const QStringList& args) {
    const auto r =
        RunTool("/usr/bin/time", QStringList{"-v", test::BinDir() + "/quillet-engine"} + args);
    const QString err = QString::fromUtf8(r.err);
    const int at = err.indexOf("Maximum resident set size (kbytes):");
    EXPECT_GE(at, 0) << r.err.toStdString();
    return err.mid(at).section(':', 1, 1).section('\n', 0, 0).trimmed().toDouble() / 1024.0;
}

TEST_F(RealWorld, MemoryStaysBoundedWhateverTheHeadersClaim) {
    // 8 channels at 768 kHz: one block of rate x channels positions would be 196 MB of floats.
    WavSpec wide;
    wide.rate = 768000;
    wide.channels = 8;
    wide.frames = 768000;
    WriteWav(Path("wide.wav"), wide);
    EXPECT_LT(PeakMegabytes({"convert", Path("wide.wav"), "0", "768000", Path("wide-out.wav")}),
              200);
    // A WAV and an Ogg whose headers claim days and hours.
    WavSpec claims;
    claims.frames = 250000;
    claims.dataSizeClaim = 0xfffffff0u;
    WriteWav(Path("claims.wav"), claims);
    EXPECT_LT(PeakMegabytes({"convert", Path("claims.wav"), "0", "250000", Path("c.mp3")}), 200);
    MakeWavTone(Path("src.wav"), 44100, 1, 2.0, 4);
    Oggenc(Path("src.wav"), Path("src.ogg"), 5);
    WriteFile(Path("liar.ogg"),
              RewriteGranules(ReadFile(Path("src.ogg")),
                              [](int64_t g, bool last) { return last ? int64_t(407484000) : g; }));
    const auto info = RunTool(test::BinDir() + "/quillet-engine", {"info", Path("liar.ogg")});
    EXPECT_TRUE(info.out.contains("duration_ms=2")) << info.out.toStdString();
    EXPECT_LT(PeakMegabytes({"convert", Path("liar.ogg"), "0", "88200", Path("l.mp3")}), 200);
    // A 40-byte WAV whose chunk sizes are all lies.
    QByteArray tiny = QByteArray::fromHex("52494646ffffffff57415645666d7420ffffff7f");
    tiny += QByteArray::fromHex("0100020044ac000010b10200040010006461746130");
    WriteFile(Path("tiny.wav"), tiny.left(40));
    EXPECT_LT(PeakMegabytes({"info", Path("tiny.wav")}), 200);
}

TEST_F(RealWorld, WmaCutsHaveTheirExactLengthAndShortOnesOpen) {
    test::MakeChirp(Path("chirp.wav"), 200000, 44100, 2, {"-c:a", "pcm_s16le"});
    AudioDecoder source(Path("chirp.wav"));
    const std::vector<float> reference = ReadAll(source);
    TAudioFile2 writer;
    writer.SetWmaProfile(10);  // 44.1 kHz stereo
    for (const int32_t frames : {132318, 2048, 1000, 5000, 2049, 20000}) {
        SCOPED_TRACE(frames);
        const QString out = Path(QString("cut%1.wma").arg(frames));
        Cut(Path("chirp.wav"), out, 1000, 1000 + frames, writer);
        AudioDecoder decoder(out);
        EXPECT_EQ(decoder.Length(), frames);
        // ffprobe reads the recorded length too, to the millisecond.
        EXPECT_NEAR(test::ProbeStream(out, "duration").toDouble() * 1000, frames * 1000.0 / 44100,
                    1.0);
        const std::vector<float> got = ReadAll(decoder);
        ASSERT_EQ(got.size(), size_t(frames) * 2);
        // The last coded frame has no next one to complete its overlap, so the last half frame
        // decodes attenuated (as FFmpeg's own decoder reads it); the content is judged before.
        if (frames <= 4096) continue;
        const int64_t judged = frames - 1024;
        const std::vector<float> part(reference.begin() + 2000,
                                      reference.begin() + 2000 + judged * 2);
        const std::vector<float> head(got.begin(), got.begin() + judged * 2);
        const test::Match match = test::BestMatch(part, head, 2, 64);
        EXPECT_EQ(match.lag, 0);
        EXPECT_GT(match.correlation, 0.9);
    }
}

TEST_F(RealWorld, EmptyCutsToMp3AndOggAreFilesEveryReaderOpens) {
    test::MakeChirp(Path("chirp.wav"), 20000, 44100, 2, {"-c:a", "pcm_s16le"});
    TAudioFile2 writer;
    for (const char* extension : {"mp3", "ogg"}) {
        SCOPED_TRACE(extension);
        const QString out = Path(QString("empty.%1").arg(extension));
        Cut(Path("chirp.wav"), out, 5000, 5000, writer);
        const auto probe = RunTool("ffprobe", {"-v", "error", out});
        EXPECT_EQ(probe.exitCode, 0) << probe.err.toStdString();
        AudioDecoder decoder(out);
        // The shortest file each encoder makes: silence of a sample (Vorbis) or of the 47
        // frames LAME cannot record away; mpg123 and oggdec count the same.
        const bool mp3 = QString(extension) == "mp3";
        const int64_t judged = mp3 ? static_cast<int64_t>(Mpg123(out).size()) / 2
                                   : static_cast<int64_t>(Oggdec(out).size()) / 2;
        EXPECT_EQ(decoder.Length(), judged);
        EXPECT_LE(decoder.Length(), mp3 ? 47 : 1);
        for (const float sample : ReadAll(decoder)) EXPECT_EQ(sample, 0.0f);
    }
}

}  // namespace
}  // namespace quillet
