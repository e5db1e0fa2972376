// The writer on its own: float frames in (decoded from ffmpeg-made sources by ffmpeg), files
// out, judged by ffprobe and by ffmpeg's decode of what we wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "platform/audio/AudioEncoder.h"
#include "platform/audio/AudioError.h"
#include "support/AudioMatch.h"
#include "support/Oracle.h"
#include "support/TmpfsMount.h"

namespace quillet {
namespace {

using test::BestMatch;
using test::DecodeWithFfmpeg;
using test::MakeChirp;
using test::ProbeStream;

OutputSettings Mp3Cbr(int rate, int kbps, int channels) {
    OutputSettings s;
    s.mp3.sampleRate = rate;
    s.mp3.bitrate = kbps;
    s.mp3.channels = channels;
    s.mp3.quality = 5;
    return s;
}

OutputSettings Wav(int rate, int channels, int bits) {
    OutputSettings s;
    s.wav = WavFormat{rate, channels, bits};
    return s;
}

OutputSettings Wma(int profile) {
    OutputSettings s;
    s.wmaProfile = profile;
    return s;
}

OutputSettings Ogg(int rate, int channels, int kbps, int16_t quality = -1) {
    OutputSettings s;
    s.ogg = OggFormat{rate, channels, kbps, kbps, kbps, quality};
    return s;
}

struct Segment {
    int rate;
    int channels;
    std::vector<float> samples;
    int64_t Frames() const { return static_cast<int64_t>(samples.size()) / channels; }
};

// Feeds the segments in arrays of `block` frames, as Cut and Join do.
void Encode(const QString& path, OutputKind kind, const OutputSettings& settings,
            const std::vector<Segment>& segments, int64_t block = 4410) {
    AudioEncoder encoder(path, kind, settings);
    for (const Segment& s : segments) {
        encoder.SetSourceFormat(s.rate, s.channels);
        for (int64_t f = 0; f < s.Frames(); f += block)
            encoder.Write(s.samples.data() + f * s.channels, std::min(block, s.Frames() - f));
    }
    encoder.Finish();
}

class EncoderTest : public ::testing::Test {
  protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // A chirp made by ffmpeg, as ffmpeg decodes it.
    Segment Source(int rate, int channels, int frames) {
        const QString path =
            Path(QStringLiteral("src_%1_%2_%3.wav").arg(rate).arg(channels).arg(frames));
        if (!QFile::exists(path)) MakeChirp(path, frames, rate, channels);
        return Segment{rate, channels, DecodeWithFfmpeg(path)};
    }

    QTemporaryDir dir_;
};

struct KindCase {
    const char* name;
    OutputKind kind;
    OutputSettings settings;
    int sourceRate, sourceChannels;
    const char* codec;
    int rate, channels;
    int frameTolerance;  // 0: exact
    double minCorrelation;
    bool alignedExactly;  // the decoded output starts with the first written frame
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class EveryKind : public EncoderTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(EveryKind, WritesWhatFfmpegReadsBack) {
    const KindCase& c = GetParam();
    const int frames = c.sourceRate * 3 / 2;
    const Segment source = Source(c.sourceRate, c.sourceChannels, frames);
    ASSERT_EQ(source.Frames(), frames);
    const QString out = Path(QStringLiteral("out_%1").arg(c.name));
    Encode(out, c.kind, c.settings, {source});

    EXPECT_EQ(ProbeStream(out, "codec_name"), c.codec);
    EXPECT_EQ(ProbeStream(out, "sample_rate").toInt(), c.rate);
    EXPECT_EQ(ProbeStream(out, "channels").toInt(), c.channels);

    const std::vector<float> decoded = DecodeWithFfmpeg(out);
    const int64_t got = test::FramesOf(out, decoded, c.channels);
    const int64_t expected = int64_t{c.rate} * 3 / 2;  // 1.5 s at the output's rate
    // ASF cannot record the padding of the last frame: WMA may only be longer, by less than one.
    const int64_t shortest = c.kind == OutputKind::Wma ? expected : expected - c.frameTolerance;
    EXPECT_GE(got, shortest) << "frames " << got;
    EXPECT_LE(got, expected + c.frameTolerance) << "frames " << got;

    // The oracle: ffmpeg's own conversion of the source to the output's rate and channels.
    const QString sourcePath = Path(
        QStringLiteral("src_%1_%2_%3.wav").arg(c.sourceRate).arg(c.sourceChannels).arg(frames));
    const std::vector<float> reference = DecodeWithFfmpeg(sourcePath, c.rate, c.channels);
    const test::Match m = BestMatch(reference, decoded, c.channels, 2500);
    EXPECT_GE(m.correlation, c.minCorrelation) << "lag " << m.lag;
    if (c.alignedExactly) {
        EXPECT_EQ(m.lag, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writer, EveryKind,
    ::testing::Values(KindCase{"mp3_cbr.mp3", OutputKind::Mp3, Mp3Cbr(44100, 128, 2), 44100, 2,
                               "mp3", 44100, 2, 0, 0.99, true},
                      KindCase{"mp3_from_mono_22k.mp3", OutputKind::Mp3, Mp3Cbr(48000, 192, 2),
                               22050, 1, "mp3", 48000, 2, 2, 0.99, true},
                      KindCase{"mp3_mono_16k.mp3", OutputKind::Mp3, Mp3Cbr(16000, 64, 1), 44100, 2,
                               "mp3", 16000, 1, 2, 0.97, true},
                      KindCase{"wav16.wav", OutputKind::Wav, Wav(44100, 2, 16), 44100, 2,
                               "pcm_s16le", 44100, 2, 0, 0.9999, true},
                      KindCase{"wav8_mono.wav", OutputKind::Wav, Wav(22050, 1, 8), 44100, 2,
                               "pcm_u8", 22050, 1, 1, 0.995, true},
                      KindCase{"wav24.wav", OutputKind::Wav, Wav(48000, 2, 24), 32000, 2,
                               "pcm_s24le", 48000, 2, 1, 0.9999, true},
                      KindCase{"wav_own_choice.wav", OutputKind::Wav, OutputSettings{}, 22050, 1,
                               "pcm_s16le", 22050, 1, 0, 0.9999, true},
                      KindCase{"wma_profile10.wma", OutputKind::Wma, Wma(10), 44100, 2, "wmav2",
                               44100, 2, 2048, 0.98, true},
                      KindCase{"wma_profile16_mono.wma", OutputKind::Wma, Wma(16), 48000, 2,
                               "wmav2", 44100, 1, 2048, 0.97, true},
                      KindCase{"ogg_bitrate.ogg", OutputKind::Ogg, Ogg(44100, 2, 128), 44100, 2,
                               "vorbis", 44100, 2, 0, 0.99, true},
                      KindCase{"ogg_quality.ogg", OutputKind::Ogg, Ogg(48000, 1, 128, 300), 44100,
                               2, "vorbis", 48000, 1, 2, 0.99, true}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST_F(EncoderTest, Wav16FromWav16IsBitExact) {
    const Segment source = Source(44100, 2, 30000);
    const QString out = Path("exact.wav");
    Encode(out, OutputKind::Wav, Wav(44100, 2, 16), {source}, 1000);
    const std::vector<float> back = DecodeWithFfmpeg(out);
    ASSERT_EQ(back.size(), source.samples.size());
    EXPECT_TRUE(back == source.samples);
}

// Join of rows with different formats into one file: the lengths add up.
TEST_F(EncoderTest, SourceFormatMayChangeWhileTheFileIsOpen) {
    const Segment mono = Source(22050, 1, 22050);
    const Segment stereo = Source(44100, 2, 44100);
    struct {
        const char* name;
        OutputKind kind;
        OutputSettings settings;
        int tolerance;
    } cases[] = {{"join.ogg", OutputKind::Ogg, Ogg(48000, 2, 128), 2},
                 {"join.mp3", OutputKind::Mp3, Mp3Cbr(48000, 128, 2), 2},
                 {"join.wav", OutputKind::Wav, Wav(48000, 2, 16), 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = Path(c.name);
        Encode(out, c.kind, c.settings, {mono, stereo, mono});
        const int64_t got = test::FramesOf(out, DecodeWithFfmpeg(out), 2);
        EXPECT_LE(std::llabs(got - 3 * 48000), c.tolerance) << got;
    }
}

TEST_F(EncoderTest, AFileWithoutSamplesIsStillComplete) {
    const QString mp3 = Path("empty.mp3");
    {
        AudioEncoder e(mp3, OutputKind::Mp3, Mp3Cbr(44100, 128, 2));
        e.SetSourceFormat(44100, 2);
        e.Finish();
    }
    EXPECT_TRUE(QFile::exists(mp3));
    const QString wav = Path("never_announced.wav");
    {
        AudioEncoder e(wav, OutputKind::Wav, OutputSettings{});
        e.Finish();
    }
    EXPECT_EQ(ProbeStream(wav, "codec_name"), "pcm_s16le");
    EXPECT_TRUE(DecodeWithFfmpeg(wav).empty());
}

TEST(Mp3Check, FollowsTheMpegTables) {
    struct {
        int rate, kbps, channels;
        bool ok;
    } cases[] = {
        {44100, 128, 2, true},  {48000, 320, 1, true},  {32000, 32, 2, true},
        {44100, 8, 2, false},   {48000, 8, 2, false},   {44100, 144, 2, false},
        {22050, 320, 2, false}, {22050, 160, 2, true},  {24000, 144, 1, true},
        {16000, 8, 1, true},    {16000, 192, 2, false}, {11025, 64, 2, true},
        {8000, 80, 1, false},   {12000, 8, 1, true},    {44100, 128, 3, false},
        {44100, 128, 0, false}, {96000, 128, 2, false}, {44100, 130, 2, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AudioEncoder::CheckMp3(c.rate, c.kbps, c.channels), c.ok)
            << c.rate << " Hz " << c.kbps << " kbit/s " << c.channels << " ch";
}

TEST(OggCheck, AsksLibvorbis) {
    EXPECT_TRUE(AudioEncoder::CheckOgg(44100, 2, 128, 128, 128));
    EXPECT_TRUE(AudioEncoder::CheckOgg(48000, 2, 192, 256, 128));
    EXPECT_TRUE(AudioEncoder::CheckOgg(22050, 1, 48, 64, 32));
    EXPECT_FALSE(AudioEncoder::CheckOgg(48000, 2, 8, 8, 8));
    EXPECT_FALSE(AudioEncoder::CheckOgg(8000, 2, 320, 320, 320));
    EXPECT_FALSE(AudioEncoder::CheckOgg(44100, 0, 128, 128, 128));
    EXPECT_FALSE(AudioEncoder::CheckOgg(0, 2, 128, 128, 128));
}

// Rate, channels and bit rate as each profile's name in the settings dialog states them; wmav2
// makes no less than 24 kbit/s, so lower rates come out at 24. The VBR and lossless profiles
// (39..47) state no bit rate.
struct WmaExpected {
    int rate, channels, kbps;
};
const WmaExpected kWmaNamed[47] = {
    {48000, 2, 192}, {48000, 2, 160}, {48000, 2, 128}, {48000, 2, 96},  {48000, 2, 64},
    {44100, 2, 320}, {44100, 2, 256}, {44100, 2, 192}, {44100, 2, 160}, {44100, 2, 128},
    {44100, 2, 96},  {44100, 2, 80},  {44100, 2, 64},  {44100, 2, 48},  {44100, 2, 32},
    {44100, 1, 48},  {44100, 1, 32},  {44100, 1, 24},  {32000, 2, 48},  {32000, 2, 40},
    {32000, 2, 32},  {32000, 1, 24},  {32000, 2, 32},  {32000, 2, 24},  {22050, 2, 24},
    {22050, 1, 24},  {22050, 1, 24},  {16000, 2, 24},  {16000, 2, 24},  {16000, 1, 24},
    {16000, 1, 24},  {16000, 1, 24},  {11025, 1, 24},  {11025, 1, 24},  {8000, 2, 24},
    {8000, 1, 24},   {8000, 1, 24},   {8000, 1, 24},   {48000, 2, 0},   {48000, 2, 0},
    {44100, 2, 0},   {44100, 2, 0},   {44100, 2, 0},   {44100, 2, 0},   {44100, 2, 0},
    {44100, 2, 0},   {44100, 2, 0},
};

TEST_F(EncoderTest, EveryWmaProfileMakesAReadableFile) {
    const Segment source = Source(44100, 2, 8820);  // 0.2 s
    for (int p = 1; p <= 47; ++p) {
        SCOPED_TRACE(p);
        const WmaExpected& named = kWmaNamed[p - 1];
        const QString out = Path(QStringLiteral("profile%1.wma").arg(p));
        Encode(out, OutputKind::Wma, Wma(p), {source});
        const test::ToolResult probe = test::RunTool(
            "ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                        "stream=codec_name,sample_rate,channels", "-of", "csv=p=0", out});
        EXPECT_EQ(QString::fromUtf8(probe.out).trimmed(),
                  QStringLiteral("wmav2,%1,%2").arg(named.rate).arg(named.channels));
        if (named.kbps > 0) {
            EXPECT_EQ(ProbeStream(out, "bit_rate").toInt(), named.kbps * 1000);
        }
        // Nothing lost at either end: at least 0.2 s comes back.
        const int64_t decoded = static_cast<int64_t>(DecodeWithFfmpeg(out).size()) / named.channels;
        EXPECT_GE(decoded, named.rate / 5);
    }
    EXPECT_THROW(AudioEncoder::WmaProfile(0), AudioError);
    EXPECT_THROW(AudioEncoder::WmaProfile(48), AudioError);
}

// --- failures: a clear error naming the file, nothing half-written left behind -------------

void ExpectErrorNaming(const std::function<void()>& step, const QString& path) {
    try {
        step();
        ADD_FAILURE() << "no error for " << path.toStdString();
    } catch (const AudioError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(path), -1) << e.what();
    }
}

TEST_F(EncoderTest, MissingOrUnwritableFolderIsRefused) {
    const QString missing = Path("no/such/folder/out.wav");
    ExpectErrorNaming([&] { AudioEncoder(missing, OutputKind::Wav, OutputSettings{}); }, missing);

    // Nobody, root included, writes into /proc.
    const QString proc = "/proc/quillet-out.ogg";
    ExpectErrorNaming([&] { AudioEncoder(proc, OutputKind::Ogg, Ogg(44100, 2, 128)); }, proc);
    EXPECT_FALSE(QFile::exists(proc));

    // A folder without write rights: root writes anywhere, so a child that has given up root
    // tries it.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("locked"));
    const QString locked = Path("locked/out.ogg");
    ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(Path("locked")).constData(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        try {
            AudioEncoder e(locked, OutputKind::Ogg, Ogg(44100, 2, 128));
            ::_exit(11);
        } catch (const AudioError& e) {
            ::_exit(QString::fromUtf8(e.what()).contains(locked) ? 0 : 12);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not give up root, 11: no error, 12: the "
                                         "error does not name the file";
    EXPECT_TRUE(QDir(Path("locked")).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(EncoderTest, IllegalConfigurationsAreRefusedBeforeAFileExists) {
    const QString out = Path("bad.mp3");
    ExpectErrorNaming([&] { AudioEncoder(out, OutputKind::Mp3, Mp3Cbr(22050, 320, 2)); }, out);
    ExpectErrorNaming([&] { AudioEncoder(out, OutputKind::Wav, Wav(44100, 2, 12)); }, out);
    ExpectErrorNaming([&] { AudioEncoder(out, OutputKind::Ogg, Ogg(0, 2, 128)); }, out);
    EXPECT_THROW(AudioEncoder(out, OutputKind::Wma, Wma(99)), AudioError);
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(EncoderTest, MisuseIsAnErrorNotACrash) {
    const QString out = Path("misuse.wav");
    AudioEncoder e(out, OutputKind::Wav, OutputSettings{});
    const float frame[2] = {0.1f, 0.2f};
    EXPECT_THROW(e.Write(frame, 1), AudioError);
    EXPECT_THROW(e.SetSourceFormat(0, 2), AudioError);
    EXPECT_THROW(e.SetSourceFormat(44100, 0), AudioError);
    e.SetSourceFormat(44100, 2);
    e.Write(frame, 1);
    e.Finish();
    EXPECT_THROW(e.Write(frame, 1), AudioError);
    EXPECT_EQ(DecodeWithFfmpeg(out).size(), 2u);
}

TEST_F(EncoderTest, AnAbandonedFileLeavesTheOldOneInPlace) {
    const QString out = Path("keep.mp3");
    {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    const Segment source = Source(44100, 2, 44100);
    {
        AudioEncoder e(out, OutputKind::Mp3, Mp3Cbr(44100, 128, 2));
        e.SetSourceFormat(44100, 2);
        e.Write(source.samples.data(), source.Frames());
    }  // destroyed unfinished
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).filter("keep").size(), 1);
}

// A full disk: a tiny tmpfs.
TEST_F(EncoderTest, AFullDiskIsAnErrorAndKeepsTheOldFile) {
    const QString mountPoint = Path("tiny");
    const test::TmpfsMount tiny(mountPoint, "64k");
    QUILLET_REQUIRE_MOUNT(tiny);

    const QString out = mountPoint + "/full.wav";
    {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    const Segment source = Source(44100, 2, 44100);  // 176 kB of 16-bit WAV
    ExpectErrorNaming([&] { Encode(out, OutputKind::Wav, Wav(44100, 2, 16), {source}); }, out);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
}  // namespace quillet
