// Stretches of MP3 and Ogg Vorbis files copied without re-encoding, judged by decoders that are
// not ours: FFmpeg and mpg123 (MP3), FFmpeg and oggdec (Ogg), frames as ffprobe finds them, the
// LAME tag as eyeD3 checks it, the Ogg stream as ogginfo checks it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "platform/audio/AudioError.h"
#include "platform/audio/OggPages.h"
#include "platform/audio/StretchCopy.h"
#include "platform/audio/TAudioFile2.h"
#include "support/CompressedOracles.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::DecodeWithFfmpeg;

struct Range {
    int64_t start;
    int64_t end;
};

// Starts inside the first frame (or packet), ends inside the last, and stretches in between
// drawn with a fixed seed: 22 in all.
std::vector<Range> Ranges(int64_t length, int seed) {
    std::vector<Range> ranges = {{0, length},       {0, length - 700},    {37, length - 11},
                                 {600, length / 2}, {length / 3, length}, {length / 2, length - 3}};
    std::mt19937 random(static_cast<unsigned>(seed));
    std::uniform_int_distribution<int64_t> at(0, length);
    while (ranges.size() < 22) {
        int64_t a = at(random);
        int64_t b = at(random);
        if (a > b) std::swap(a, b);
        if (b - a >= 3000) ranges.push_back({a, b});
    }
    return ranges;
}

template <typename T>
std::vector<T> Slice(const std::vector<T>& all, int64_t from, int64_t to, int channels) {
    if (from < 0 || to * channels > static_cast<int64_t>(all.size())) return {};
    return std::vector<T>(all.begin() + from * channels, all.begin() + to * channels);
}

std::vector<float> ReadWithEngine(const QString& path, int64_t start, int64_t count) {
    TAudioFile2 file;
    file.OpenForRead(path, 0, 1);
    file.SeekPosition(static_cast<int32_t>(start), 3);
    std::vector<float> out;
    while (count > 0) {
        const SampleArray block =
            file.ReadSamples(static_cast<int32_t>(std::min<int64_t>(count, 44100)));
        if (block.Empty()) break;
        out.insert(out.end(), block.Samples(), block.Samples() + block.SampleCount());
        count -= static_cast<int64_t>(block.SampleCount()) / file.Channels();
    }
    return out;
}

int64_t EngineLength(const QString& path) {
    TAudioFile2 file;
    file.OpenForRead(path, 0, 1);
    return file.Length();
}

QByteArray Md5(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5);
}

// The copy of [start, end) of source into target; fails the test when it is refused.
bool Copy(const QString& source, int64_t start, int64_t end, const QString& target,
          QString* refusal = nullptr) {
    StretchCopy copy = CopyStretch(source, CodingOf(source), start, end, target);
    if (refusal) *refusal = copy.refusal;
    if (!copy.refusal.isEmpty()) return false;
    copy.file.Commit();
    return true;
}

struct Mp3Source {
    const char* name;
    int rate;  // of the WAV it is made from
    int channels;
    bool lsf;          // MPEG-2 or 2.5: one granule per frame
    QStringList lame;  // lame's options; empty: ffmpeg's libmp3lame with `ffmpeg`
    QStringList ffmpeg;
};

void PrintTo(const Mp3Source& s, std::ostream* os) { *os << s.name; }

class Mp3Copy : public ::testing::TestWithParam<Mp3Source> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const Mp3Source& s = GetParam();
        const QString wav = dir_.filePath("source.wav");
        test::MakeMusicLikeWav(wav, s.rate * 6, s.rate, s.channels);
        source_ = dir_.filePath("source.mp3");
        if (s.lame.isEmpty())
            test::Ffmpeg(QStringList{"-i", wav} + s.ffmpeg + QStringList{source_});
        else
            test::Lame(wav, source_, s.lame);
    }

    QTemporaryDir dir_;
    QString source_;
};

// Every copied stretch decodes, by FFmpeg, to the source's samples over the same range, bit for
// bit and of exactly its length; so it does by mpg123 for MPEG-1. MPEG-2 frames hold one
// granule: mpg123 then rounds its float synthesis differently by the parity of the frames it
// decoded before (a property of mpg123, seen decoding the source from two points), so there
// only the last bits may differ. The frames from the one holding the start to the one holding
// the end are the source's own bytes, the LAME tag's CRCs are right, and our own engine reads
// the copy back as the same samples.
TEST_P(Mp3Copy, DecodesToTheSourcesSamplesOverTheRangeWithItsOwnFrames) {
    const Mp3Source& s = GetParam();
    const int ch = s.channels;
    const QByteArray before = Md5(source_);
    const std::vector<float> ffmpeg = DecodeWithFfmpeg(source_);
    const std::vector<float> mpg123 = test::DecodeWithMpg123(source_);
    const std::vector<test::ProbedPacket> frames = test::ProbePackets(source_);
    const int64_t length = EngineLength(source_);
    ASSERT_EQ(static_cast<int64_t>(ffmpeg.size()) / ch, length);
    ASSERT_EQ(static_cast<int64_t>(mpg123.size()) / ch, length);
    // Read from the start: the engine's seek is not what is judged here.
    const std::vector<float> engine = ReadWithEngine(source_, 0, length);
    const int64_t spf = s.lsf ? 576 : 1152;
    const int rate = test::ProbeStream(source_, "sample_rate").toInt();
    const int64_t skip = std::llround(test::ProbeStream(source_, "start_time").toDouble() * rate);

    int mpg123Exact = 0;
    int tagChecks = 0;
    const std::vector<Range> ranges = Ranges(length, 7);
    for (size_t i = 0; i < ranges.size(); ++i) {
        const Range r = ranges[i];
        SCOPED_TRACE(testing::Message() << s.name << " [" << r.start << ", " << r.end << ")");
        const QString out = dir_.filePath(QStringLiteral("cut%1.mp3").arg(i));
        QString refusal;
        ASSERT_TRUE(Copy(source_, r.start, r.end, out, &refusal)) << refusal.toStdString();

        const std::vector<float> want = Slice(ffmpeg, r.start, r.end, ch);
        EXPECT_TRUE(DecodeWithFfmpeg(out) == want);
        const std::vector<float> other = test::DecodeWithMpg123(out);
        ASSERT_EQ(static_cast<int64_t>(other.size()) / ch, r.end - r.start);
        const std::vector<float> otherWant = Slice(mpg123, r.start, r.end, ch);
        if (other == otherWant) ++mpg123Exact;
        float worst = 0;
        for (size_t k = 0; k < other.size(); ++k)
            worst = std::max(worst, std::fabs(other[k] - otherWant[k]));
        if (!s.lsf) {
            EXPECT_EQ(worst, 0.0f);
        }
        EXPECT_LT(worst, 2e-7f);  // a float's last bits; a wrong lead-in errs by far more

        // The source's frames [first, last] end the copy, byte for byte, after a lead-in of at
        // most three frames.
        const int64_t first = (r.start + skip) / spf;
        const int64_t last = (r.end + skip - 1) / spf;
        const std::vector<test::ProbedPacket> copied = test::ProbePackets(out);
        const int64_t count = last - first + 1;
        ASSERT_GE(static_cast<int64_t>(copied.size()), count);
        EXPECT_LE(static_cast<int64_t>(copied.size()), count + 3);
        const size_t lead = copied.size() - static_cast<size_t>(count);
        for (int64_t k = 0; k < count; ++k)
            ASSERT_EQ(copied[lead + static_cast<size_t>(k)].bytes,
                      frames[static_cast<size_t>(first + k)].bytes)
                << "frame " << first + k;

        if (i % 4 == 0) {
            ++tagChecks;
            const test::LameTag tag = test::ReadLameTag(out);
            ASSERT_TRUE(tag.found);
            EXPECT_TRUE(tag.tagCrcOk);
            EXPECT_TRUE(tag.musicCrcOk);
            EXPECT_EQ(tag.frames, static_cast<int64_t>(copied.size()));
            EXPECT_EQ(tag.audioFrames, static_cast<int64_t>(copied.size()));
            EXPECT_EQ(tag.bytes, tag.streamBytes);
            EXPECT_EQ(tag.musicLength, tag.streamBytes);
            EXPECT_LE(tag.delay, 4095);
            EXPECT_LE(tag.padding, 4095);
            // The decoders drop delay + 529 samples at the start and padding - 529 at the end.
            EXPECT_EQ(int64_t{tag.delay} + tag.padding + (r.end - r.start),
                      static_cast<int64_t>(copied.size()) * spf);
        }
        EXPECT_EQ(EngineLength(out), r.end - r.start);
        if (i % 3 == 0) {
            EXPECT_TRUE(ReadWithEngine(out, 0, r.end - r.start) ==
                        Slice(engine, r.start, r.end, ch));
        }
    }
    EXPECT_EQ(Md5(source_), before);
    EXPECT_GT(tagChecks, 0);
    std::printf("[ %s ] mpg123 bit-identical in %d of %zu stretches\n", s.name, mpg123Exact,
                ranges.size());
    if (!s.lsf) {
        EXPECT_EQ(mpg123Exact, static_cast<int>(ranges.size()));
    }
}

const Mp3Source kMp3Sources[] = {
    {"CbrFfmpeg", 44100, 2, false, {}, {"-c:a", "libmp3lame", "-b:a", "128k"}},
    {"VbrLame", 44100, 2, false, {"-V", "2"}, {}},
    {"Mpeg2", 22050, 2, true, {"-b", "64"}, {}},
    {"Mono", 44100, 1, false, {"-m", "m", "-b", "96"}, {}},
    {"Mpeg25", 8000, 1, true, {"-b", "16"}, {}},
    {"WithCrc", 44100, 2, false, {"-p", "-b", "160"}, {}},
    {"LowBitrate48k", 48000, 2, false, {"-b", "32", "--resample", "48"}, {}},
    {"WithoutLameTag",
     44100,
     2,
     false,
     {},
     {"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"}},
};

INSTANTIATE_TEST_SUITE_P(Sources, Mp3Copy, ::testing::ValuesIn(kMp3Sources),
                         [](const auto& info) { return std::string(info.param.name); });

struct OggSource {
    const char* name;
    int rate;
    int channels;
    bool oggenc;  // else ffmpeg's libvorbis
    QStringList options;
};

void PrintTo(const OggSource& s, std::ostream* os) { *os << s.name; }

class OggCopy : public ::testing::TestWithParam<OggSource> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const OggSource& s = GetParam();
        const QString wav = dir_.filePath("source.wav");
        test::MakeMusicLikeWav(wav, s.rate * 6, s.rate, s.channels);
        source_ = dir_.filePath("source.ogg");
        if (s.oggenc) {
            const test::ToolResult r = test::RunTool(
                "oggenc", QStringList{"-Q"} + s.options + QStringList{"-o", source_, wav});
            ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        } else {
            test::Ffmpeg(QStringList{"-i", wav, "-c:a", "libvorbis"} + s.options +
                         QStringList{source_});
        }
    }

    QTemporaryDir dir_;
    QString source_;
};

uint32_t SerialOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray head = f.read(27);
    uint32_t serial = 0;
    for (int i = 3; i >= 0; --i) serial = (serial << 8) | static_cast<uint8_t>(head[14 + i]);
    return serial;
}

// Every copied stretch decodes, by oggdec (libvorbisfile, which honours the Vorbis rules for
// trimming both ends), to the source's samples over the same range, bit for bit and of exactly
// its length, and so by our own engine. FFmpeg 5.1 decodes the same samples but does not drop
// the ones the first page's granule marks (it stamps them below zero): its output is the
// source's samples from those leading ones on, bit for bit. ogginfo finds a sound stream, with
// a serial number of its own.
TEST_P(OggCopy, DecodesToTheSourcesSamplesOverTheRange) {
    const OggSource& s = GetParam();
    const int ch = s.channels;
    const QByteArray before = Md5(source_);
    const std::vector<float> ffmpeg = DecodeWithFfmpeg(source_);
    const std::vector<int16_t> oggdec = test::DecodeWithOggdec(source_);
    const int64_t length = EngineLength(source_);
    ASSERT_EQ(static_cast<int64_t>(oggdec.size()) / ch, length);
    const std::vector<float> engine = ReadWithEngine(source_, 0, length);

    int leading = 0;
    const std::vector<Range> ranges = Ranges(length, 11);
    for (size_t i = 0; i < ranges.size(); ++i) {
        const Range r = ranges[i];
        SCOPED_TRACE(testing::Message() << s.name << " [" << r.start << ", " << r.end << ")");
        const QString out = dir_.filePath(QStringLiteral("cut%1.ogg").arg(i));
        QString refusal;
        ASSERT_TRUE(Copy(source_, r.start, r.end, out, &refusal)) << refusal.toStdString();

        EXPECT_TRUE(test::DecodeWithOggdec(out) == Slice(oggdec, r.start, r.end, ch));
        const std::vector<float> byFfmpeg = DecodeWithFfmpeg(out);
        const int64_t lead = static_cast<int64_t>(byFfmpeg.size()) / ch - (r.end - r.start);
        EXPECT_GE(lead, 0);
        EXPECT_LT(lead, 2048);  // within the first copied packet's samples
        if (lead > 0) ++leading;
        EXPECT_TRUE(byFfmpeg == Slice(ffmpeg, r.start - lead, r.end, ch));
        EXPECT_EQ(EngineLength(out), r.end - r.start);
        if (i % 3 == 0) {
            EXPECT_TRUE(ReadWithEngine(out, 0, r.end - r.start) ==
                        Slice(engine, r.start, r.end, ch));
        }
        if (i % 4 == 0) {
            const test::ToolResult info = test::RunTool("ogginfo", {out});
            EXPECT_EQ(info.exitCode, 0);
            EXPECT_FALSE(info.out.contains("WARNING") || info.out.contains("Warning"))
                << info.out.toStdString();
            EXPECT_NE(SerialOf(out), SerialOf(source_));
        }
    }
    EXPECT_GT(leading, 0);  // the start was trimmed by the granule, not cut at a packet
    EXPECT_EQ(Md5(source_), before);
}

const OggSource kOggSources[] = {
    {"FfmpegStereo", 44100, 2, false, {"-b:a", "128k"}},
    {"OggencQuality3", 44100, 2, true, {"-q", "3"}},
    {"Mono22k", 22050, 1, false, {"-q:a", "2"}},
};

INSTANTIATE_TEST_SUITE_P(Sources, OggCopy, ::testing::ValuesIn(kOggSources),
                         [](const auto& info) { return std::string(info.param.name); });

class CopyRefusals : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const char* name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

// What cannot be copied exactly is refused with a reason, the source untouched and nothing left
// beside the target; what is not MP3 or Ogg Vorbis is not taken for it.
TEST_F(CopyRefusals, SayWhyAndLeaveNothingBehind) {
    const QString wav = Path("tone.wav");
    test::MakeMusicLikeWav(wav, 44100 * 3, 44100, 2);
    const QString mp3 = Path("tone.mp3");
    test::Lame(wav, mp3, {"-b", "128"});
    const QString ogg = Path("tone.ogg");
    test::Ffmpeg({"-i", wav, "-c:a", "libvorbis", ogg});
    const QString mp2 = Path("layer2.mp3");
    test::Ffmpeg({"-i", wav, "-c:a", "mp2", "-f", "mp2", mp2});
    const QString text = Path("notes.mp3");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("These are not sounds.\n").repeated(2000));
    }
    EXPECT_EQ(CodingOf(mp3), StreamCoding::Mp3);
    EXPECT_EQ(CodingOf(ogg), StreamCoding::OggVorbis);
    EXPECT_EQ(CodingOf(wav), StreamCoding::Other);
    EXPECT_EQ(CodingOf(text), StreamCoding::Other);
    EXPECT_EQ(CodingOf(Path("missing.mp3")), StreamCoding::Other);

    const QString out = Path("out/cut.mp3");
    QDir().mkpath(Path("out"));
    QString why;
    EXPECT_FALSE(Copy(mp3, 50000, 50300, out, &why));  // inside one frame
    EXPECT_TRUE(why.contains("inside one MP3 frame")) << why.toStdString();
    EXPECT_FALSE(Copy(ogg, 50000, 50010, Path("out/cut.ogg"), &why));
    EXPECT_TRUE(why.contains("inside one Vorbis packet")) << why.toStdString();
    EXPECT_FALSE(Copy(mp2, 1000, 60000, out, &why));
    EXPECT_TRUE(why.contains("Layer II")) << why.toStdString();
    EXPECT_FALSE(Copy(mp3, 1000, 10'000'000, out, &why));
    EXPECT_TRUE(why.contains("outside")) << why.toStdString();
    EXPECT_EQ(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

// Damage inside the stretch is refused (the re-encoding road then reads it as the engine does);
// damage outside it does not matter.
TEST_F(CopyRefusals, DamagedFramesAndPagesInsideTheStretchAreRefused) {
    const QString wav = Path("tone.wav");
    test::MakeMusicLikeWav(wav, 44100 * 4, 44100, 2);
    const QString mp3 = Path("tone.mp3");
    test::Lame(wav, mp3, {"-b", "128"});
    const QString ogg = Path("tone.ogg");
    test::Ffmpeg({"-i", wav, "-c:a", "libvorbis", ogg});
    const std::vector<test::ProbedPacket> frames = test::ProbePackets(mp3);
    ASSERT_GT(frames.size(), 100u);
    const std::vector<float> clean = DecodeWithFfmpeg(mp3);
    {
        // Frame 100 (about 2.6 s in) loses its sync word.
        QFile f(mp3);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(frames[100].pos);
        f.write(QByteArray(4, '\0'));
    }
    QString why;
    EXPECT_FALSE(Copy(mp3, 44100, 44100 * 3, Path("a.mp3"), &why));
    EXPECT_TRUE(why.contains("damaged")) << why.toStdString();
    ASSERT_TRUE(Copy(mp3, 1000, 44100, Path("b.mp3"), &why)) << why.toStdString();
    EXPECT_TRUE(DecodeWithFfmpeg(Path("b.mp3")) == Slice(clean, 1000, 44100, 2));

    QFile f(ogg);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray all = f.readAll();
    const int page = all.indexOf("OggS", all.size() / 2);
    ASSERT_GT(page, 0);
    f.seek(page + 40);
    f.write(QByteArray(8, '\x55'));  // its checksum no longer holds
    f.close();
    EXPECT_FALSE(Copy(ogg, 44100, 44100 * 3, Path("c.ogg"), &why));
    EXPECT_TRUE(why.contains("damaged")) << why.toStdString();
}

// An output that cannot be created is an engine error naming it, as on the re-encoding road.
TEST_F(CopyRefusals, AnOutputFolderWithoutRightsIsAnEngineError) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
    const QString wav = Path("tone.wav");
    test::MakeMusicLikeWav(wav, 44100, 44100, 2);
    const QString mp3 = Path("tone.mp3");
    test::Lame(wav, mp3, {"-b", "128"});
    QDir().mkpath(Path("locked"));
    QFile::setPermissions(Path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_THROW(CopyStretch(mp3, StreamCoding::Mp3, 0, 20000, Path("locked/cut.mp3")), AudioError);
}

// quillet-engine's convert copies with --keep-source-audio, whatever its encoder option says,
// and tells on stderr when it re-encodes instead.
TEST_F(CopyRefusals, TheEngineCommandKeepsTheSourcesAudio) {
    const QString wav = Path("tone.wav");
    test::MakeMusicLikeWav(wav, 44100 * 3, 44100, 2);
    const QString mp3 = Path("tone.mp3");
    test::Lame(wav, mp3, {"-b", "128"});
    const QString engine = test::BinDir() + "/quillet-engine";
    const QStringList mp3At48k{"--mp3", "48000,192,2,5"};
    test::ToolResult r =
        test::RunTool(engine, QStringList{"convert", mp3, "1000", "90000", Path("kept.mp3")} +
                                  mp3At48k + QStringList{"--keep-source-audio"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(test::ProbeStream(Path("kept.mp3"), "sample_rate"), "44100");
    EXPECT_TRUE(DecodeWithFfmpeg(Path("kept.mp3")) == Slice(DecodeWithFfmpeg(mp3), 1000, 90000, 2));

    r = test::RunTool(engine, QStringList{"convert", mp3, "50000", "50300", Path("short.mp3")} +
                                  mp3At48k + QStringList{"--keep-source-audio"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Re-encoding: the stretch starts and ends inside one MP3 frame."))
        << r.err.toStdString();
    EXPECT_EQ(test::ProbeStream(Path("short.mp3"), "sample_rate"), "48000");

    // Without the option, as before: re-encoded by the option given.
    r = test::RunTool(engine,
                      QStringList{"convert", mp3, "1000", "90000", Path("again.mp3")} + mp3At48k);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(test::ProbeStream(Path("again.mp3"), "sample_rate"), "48000");
}

// The page checksum: the catalogue's check value of CRC-32/CKSUM (the same polynomial, start 0,
// the result inverted) for "123456789", and the checksum oggenc wrote into every page of a file.
TEST(OggChecksum, MatchesTheCatalogueAndLibogg) {
    const QByteArray digits("123456789");
    EXPECT_EQ(OggCrc(reinterpret_cast<const uint8_t*>(digits.constData()), 9) ^ 0xffffffffu,
              0x765e7680u);
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), ogg = dir.filePath("a.ogg");
    test::MakeMusicLikeWav(wav, 44100, 44100, 2);
    ASSERT_EQ(test::RunTool("oggenc", {"-Q", "-o", ogg, wav}).exitCode, 0);
    QFile file(ogg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    int pages = 0;
    for (int at = 0; at + 27 <= bytes.size(); ++pages) {
        ASSERT_EQ(bytes.mid(at, 4), "OggS") << at;
        auto* h = reinterpret_cast<uint8_t*>(bytes.data() + at);
        int size = 27 + h[26];
        for (int i = 0; i < h[26]; ++i) size += h[27 + i];
        const uint32_t stored = uint32_t(h[22]) | uint32_t(h[23]) << 8 | uint32_t(h[24]) << 16 |
                                uint32_t(h[25]) << 24;
        std::fill(h + 22, h + 26, 0);
        EXPECT_EQ(OggCrc(h, static_cast<size_t>(size)), stored) << "page at " << at;
        at += size;
    }
    EXPECT_GT(pages, 3);
}

}  // namespace
}  // namespace quillet
