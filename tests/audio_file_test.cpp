// TAudioFile2 as the program drives it: every output kind from every input kind through the
// Cut road (open, seek, create, announce, copy, close), judged by ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "platform/audio/AudioError.h"
#include "platform/audio/TAudioFile2.h"
#include "support/AudioMatch.h"
#include "support/Oracle.h"
#include "support/TmpfsMount.h"

namespace quillet {
namespace {

using test::DecodeWithFfmpeg;
using test::ProbeStream;

constexpr int kRate = 44100;
constexpr int kFrames = 66150;  // 1.5 s
constexpr int32_t kStart = 10000;
constexpr int32_t kCount = 30000;

struct Input {
    const char* ext;
    QStringList options;
};

const Input kInputs[] = {
    {"mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}},
    {"wav", {"-c:a", "pcm_s16le"}},
    {"wma", {"-c:a", "wmav2", "-b:a", "160k"}},
    {"ogg", {"-c:a", "libvorbis", "-b:a", "160k"}},
};

struct Output {
    const char* ext;
    const char* codec;
    int tolerance;  // extra frames allowed at the end (ASF cannot record padding)
    double minCorrelation;
};

const Output kOutputs[] = {
    {"mp3", "mp3", 0, 0.99},
    {"wav", "pcm_s16le", 0, 0.9999},
    {"wma", "wmav2", 2047, 0.98},
    {"ogg", "vorbis", 0, 0.99},
};

// The writer configured as the program's defaults would: MP3 and OGG at the input's rate so
// that ffmpeg's decode of the input is the reference without resampling.
void Configure(TAudioFile2& writer) {
    TAudioFile2LameEnc lame;
    lame.SetSampleRate(kRate);
    lame.SetBitrate(128);
    lame.SetChannels(2);
    lame.SetQuality(5);
    lame.SetConstantBitrate(true);
    ASSERT_TRUE(writer.CheckMp3Format(lame.SampleRate(), lame.Bitrate(), lame.Channels()));
    writer.SetMp3Encoder(lame);
    writer.SetWmaProfile(10);
    ASSERT_TRUE(writer.CheckOggFormat(kRate, 2, 128, 128, 128));
    writer.SetOggFormat(kRate, 2, 128, 128, 128, -1);
}

// Copies positions [start, start + count) in arrays of rate x channels positions, as Cut does.
void Copy(TAudioFile2& reader, TAudioFile2& writer, int32_t start, int32_t count) {
    reader.SeekPosition(start, 3);
    writer.SetSourceFormat(reader.SampleRate(), reader.Channels());
    const int32_t block = reader.SampleRate() * reader.Channels();
    while (count > 0) {
        const SampleArray a = reader.ReadSamples(std::min(count, block));
        if (a.Empty()) break;
        count -= static_cast<int32_t>(static_cast<int64_t>(a.UpperBound() + 1) /
                                      reader.BytesPerPosition());
        writer.WriteSamples(a);
    }
}

class AudioFileTest : public ::testing::Test {
  protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QString MakeInput(const Input& in) {
        const QString path = Path(QStringLiteral("in.%1").arg(in.ext));
        if (!QFile::exists(path)) test::MakeChirp(path, kFrames, kRate, 2, in.options);
        return path;
    }
    QTemporaryDir dir_;
};

TEST_F(AudioFileTest, EveryOutputKindFromEveryInputKind) {
    TAudioFile2 reader;
    TAudioFile2 writer;
    Configure(writer);
    for (const Input& in : kInputs) {
        const QString inPath = MakeInput(in);
        const std::vector<float> whole = DecodeWithFfmpeg(inPath);
        ASSERT_GE(whole.size(), size_t{(kStart + kCount) * 2});
        const std::vector<float> reference(whole.begin() + kStart * 2,
                                           whole.begin() + (kStart + kCount) * 2);
        for (const Output& out : kOutputs) {
            SCOPED_TRACE(std::string(in.ext) + " -> " + out.ext);
            const QString outPath = Path(QStringLiteral("%1_to.%2").arg(in.ext, out.ext));
            if (reader.IsOpen()) reader.Close();
            reader.OpenForRead(inPath, 0, 1);
            EXPECT_EQ(reader.Length(), static_cast<int64_t>(whole.size()) / 2);
            EXPECT_EQ(reader.BytesPerPosition(), 8);
            if (writer.IsOpen()) writer.Close();
            writer.CreateForWrite(outPath, 0);
            Copy(reader, writer, kStart, kCount);
            reader.Close();
            writer.Close();
            EXPECT_FALSE(writer.IsOpen());

            EXPECT_EQ(ProbeStream(outPath, "codec_name"), out.codec);
            EXPECT_EQ(ProbeStream(outPath, "sample_rate").toInt(), kRate);
            EXPECT_EQ(ProbeStream(outPath, "channels").toInt(), 2);
            const std::vector<float> decoded = DecodeWithFfmpeg(outPath);
            const int64_t frames = test::FramesOf(outPath, decoded, 2);
            EXPECT_GE(frames, kCount);
            EXPECT_LE(frames, kCount + out.tolerance);
            const test::Match m = test::BestMatch(reference, decoded, 2, 1200);
            EXPECT_EQ(m.lag, 0);
            EXPECT_GE(m.correlation, out.minCorrelation);
        }
    }
}

TEST_F(AudioFileTest, Wav16ToWav16IsBitExactAndKeepsItsFormat) {
    const QString in = MakeInput(kInputs[1]);
    TAudioFile2 reader;
    TAudioFile2 writer;
    writer.SetWavFormat(kRate, 2, 16);
    reader.OpenForRead(in, 0, 1);
    writer.CreateForWrite(Path("copy.WAV"), 0);  // extensions in any case
    Copy(reader, writer, kStart, kCount);
    writer.Close();
    const std::vector<float> source = DecodeWithFfmpeg(in);
    const std::vector<float> copy = DecodeWithFfmpeg(Path("copy.WAV"));
    ASSERT_EQ(copy.size(), size_t{kCount * 2});
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), source.begin() + kStart * 2));
}

// Join: one output open across rows of different formats; the writer's own WAV choice follows
// the first row.
TEST_F(AudioFileTest, JoinOfDifferentFormatsAddsUp) {
    const QString mono = Path("mono.ogg");
    test::MakeChirp(mono, 22050, 22050, 1, {"-c:a", "libvorbis"});
    const QString stereo = MakeInput(kInputs[0]);
    TAudioFile2 reader;
    TAudioFile2 writer;
    const QString out = Path("join.wav");
    writer.CreateForWrite(out, 0);
    for (const QString& in : {mono, stereo}) {
        reader.OpenForRead(in, 0, 1);
        Copy(reader, writer, 0, reader.Length());
        reader.Close();
    }
    writer.Close();
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "22050");
    EXPECT_EQ(ProbeStream(out, "channels"), "1");
    EXPECT_EQ(ProbeStream(out, "codec_name"), "pcm_s16le");
    const int64_t frames = static_cast<int64_t>(DecodeWithFfmpeg(out).size());
    EXPECT_NEAR(frames, 22050 + kFrames / 2, 2);
}

TEST_F(AudioFileTest, SettingsStayForEveryLaterFile) {
    TAudioFile2 writer;
    writer.SetWavFormat(8000, 1, 8);
    for (const char* name : {"a.wav", "b.wav"}) {
        writer.CreateForWrite(Path(name), 0);
        writer.SetSourceFormat(kRate, 2);
        writer.Close();
        EXPECT_EQ(ProbeStream(Path(name), "codec_name"), "pcm_u8");
        EXPECT_EQ(ProbeStream(Path(name), "sample_rate"), "8000");
    }
}

TEST_F(AudioFileTest, OpeningAgainClosesFirst) {
    const QString in = MakeInput(kInputs[1]);
    TAudioFile2 file;
    file.CreateForWrite(Path("first.ogg"), 0);
    file.SetSourceFormat(kRate, 2);
    const std::vector<uint8_t> silence(4410 * 8, 0);
    file.WriteSamples(SampleArray(silence));
    file.OpenForRead(in, 0, 1);  // completes first.ogg
    EXPECT_EQ(ProbeStream(Path("first.ogg"), "duration_ts"), "4410");
    EXPECT_EQ(file.Length(), kFrames);
    file.CreateForWrite(Path("second.wav"), 0);
    EXPECT_THROW(file.Length(), AudioError);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(AudioFileTest, ReadsArraysOfFloats) {
    const QString in = MakeInput(kInputs[1]);
    TAudioFile2 file;
    file.OpenForRead(in, 0, 1);
    file.SeekPosition(kFrames - 1000, 3);
    const SampleArray a = file.ReadSamples(4410);
    EXPECT_EQ(a.UpperBound() + 1, 1000 * file.BytesPerPosition());
    std::vector<float> got(1000 * 2);
    std::memcpy(got.data(), a.Data(), a.ByteCount());
    const std::vector<float> whole = DecodeWithFfmpeg(in);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.end() - 2000));
    EXPECT_EQ(file.ReadSamples(4410).UpperBound(), -1);
}

TEST_F(AudioFileTest, MisuseAndBadPathsAreClearErrors) {
    TAudioFile2 file;
    SampleArray none;
    EXPECT_THROW(file.WriteSamples(none), AudioError);
    EXPECT_THROW(file.SetSourceFormat(kRate, 2), AudioError);
    EXPECT_THROW(file.ReadSamples(10), AudioError);
    EXPECT_THROW(file.SetWmaProfile(0), AudioError);
    EXPECT_THROW(file.SetWmaProfile(48), AudioError);
    try {
        file.CreateForWrite(Path("out.flac"), 0);
        ADD_FAILURE();
    } catch (const AudioError& e) {
        EXPECT_NE(std::string(e.what()).find("out.flac"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(QFile::exists(Path("out.flac")));
    EXPECT_THROW(file.CreateForWrite(Path("missing/out.mp3"), 0), AudioError);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_THROW(file.OpenForRead(Path("missing.wav"), 0, 1), AudioError);
    EXPECT_FALSE(file.IsOpen());
}

// An input never changes, even when the output replaces it (Cut into the input's own folder
// under the same name): the new file takes its place only once complete.
TEST_F(AudioFileTest, WritingOverTheInputBeingRead) {
    const QString in = Path("self.wav");
    test::MakeChirp(in, kFrames, kRate, 2);
    const std::vector<float> before = DecodeWithFfmpeg(in);
    TAudioFile2 reader;
    TAudioFile2 writer;
    reader.OpenForRead(in, 0, 1);
    writer.CreateForWrite(in, 0);
    Copy(reader, writer, 0, kFrames);
    reader.Close();
    writer.Close();
    EXPECT_TRUE(DecodeWithFfmpeg(in) == before);
}

// A full disk (tiny tmpfs): the error reaches the caller, the object ends up closed, and nothing
// is left on the disk.
TEST_F(AudioFileTest, FullDiskLeavesTheObjectClosed) {
    const test::TmpfsMount tiny(Path("tiny"), "32k");
    QUILLET_REQUIRE_MOUNT(tiny);

    const QString in = MakeInput(kInputs[1]);
    TAudioFile2 reader;
    TAudioFile2 writer;
    reader.OpenForRead(in, 0, 1);
    writer.CreateForWrite(Path("tiny/out.wav"), 0);
    bool failed = false;
    try {
        Copy(reader, writer, 0, kFrames);
    } catch (const AudioError&) {
        failed = true;
    }
    try {
        writer.Close();
    } catch (const AudioError& e) {
        failed = true;
        EXPECT_NE(std::string(e.what()).find("out.wav"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_TRUE(QDir(Path("tiny")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    writer.CreateForWrite(Path("after.wav"), 0);  // still usable
    writer.Close();
    EXPECT_EQ(ProbeStream(Path("after.wav"), "codec_name"), "pcm_s16le");
}

// Positions are 32-bit: a longer file is refused rather than misread. A sparse 8-bit mono WAV
// of 2^31 + 4096 frames costs no disk space.
TEST_F(AudioFileTest, FilesBeyondThirtyTwoBitPositionsAreRefused) {
    const QString path = Path("huge.wav");
    const uint32_t dataBytes = (1u << 31) + 4096;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    auto le32 = [](uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [](uint16_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(8000) +
            le32(8000) + le16(1) + le16(8) + "data" + le32(dataBytes));
    ASSERT_TRUE(f.resize(44 + qint64{dataBytes}));
    f.close();
    TAudioFile2 file;
    try {
        file.OpenForRead(path, 0, 1);
        ADD_FAILURE() << "length " << file.Length();
    } catch (const AudioError& e) {
        EXPECT_NE(std::string(e.what()).find("huge.wav"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace quillet
