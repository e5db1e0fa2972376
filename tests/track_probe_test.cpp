#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "platform/audio/TAudioFile2.h"
#include "support/Oracle.h"
#include "tracks/TrackProbe.h"

using quillet::ProbeTrack;
using quillet::TAudioFile2;
using quillet::TrackProbe;
using Outcome = quillet::TrackProbe::Outcome;

namespace {

// Bytes this process has read so far (rchar of /proc/self/io): counts what the engine reads,
// without timing anything.
qint64 BytesReadSoFar() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:")) return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray RandomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator rng(1234);
    rng.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

class TrackProbeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tmp_.isValid()); }
    QString Path(const QString& name) const { return tmp_.path() + "/" + name; }

    QTemporaryDir tmp_;
    TAudioFile2 file_;
};

struct Format {
    const char* ext;
    QStringList options;
};

class TrackProbeFormats : public TrackProbeTest, public ::testing::WithParamInterface<Format> {};

}  // namespace

TEST_P(TrackProbeFormats, RealFileGivesItsLengthAndIsClosedAfterwards) {
    const QString path = Path(QStringLiteral("tone é 'x'.") + GetParam().ext);
    quillet::test::MakeTone(path, 66150, 44100, 2, GetParam().options);  // 1.5 s
    const TrackProbe probe = ProbeTrack(file_, path);
    ASSERT_EQ(probe.outcome, Outcome::Usable);
    EXPECT_FALSE(file_.IsOpen());

    const auto decoded = quillet::test::DecodeWithFfmpeg(path);
    const int oracleFrames = static_cast<int>(decoded.size() / 2);
    EXPECT_NEAR(probe.length, oracleFrames, 2048) << "engine and ffmpeg disagree on the length";
    EXPECT_NEAR(probe.durationMs, int64_t{probe.length} * 1000 / 44100, 1);
    EXPECT_EQ(probe.durationMs / 1000, 1);

    // An upper-case extension is the same file kind.
    const QString upper = Path(QStringLiteral("TONE.") + QString(GetParam().ext).toUpper());
    ASSERT_TRUE(QFile::copy(path, upper));
    EXPECT_EQ(ProbeTrack(file_, upper).outcome, Outcome::Usable);
}

INSTANTIATE_TEST_SUITE_P(Formats, TrackProbeFormats,
                         ::testing::Values(Format{"wav", {"-c:a", "pcm_s16le"}},
                                           Format{"mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
                                           Format{"ogg", {"-c:a", "libvorbis", "-q:a", "3"}},
                                           Format{"wma", {"-c:a", "wmav2", "-b:a", "128k"}}),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return std::string(info.param.ext);
                         });

TEST_F(TrackProbeTest, SubSecondFileHasZeroWholeSeconds) {
    const QString path = Path("short.wav");
    quillet::test::MakeTone(path, 22050, 44100, 1, {"-c:a", "pcm_s16le"});
    const TrackProbe probe = ProbeTrack(file_, path);
    ASSERT_EQ(probe.outcome, Outcome::Usable);
    EXPECT_EQ(probe.length, 22050);
    EXPECT_EQ(probe.durationMs, 500);
}

TEST_F(TrackProbeTest, WhatIsNoFileIsRemoved) {
    EXPECT_EQ(ProbeTrack(file_, Path("missing.mp3")).outcome, Outcome::Removed);
    ASSERT_TRUE(QDir().mkpath(Path("folder.mp3")));
    EXPECT_EQ(ProbeTrack(file_, Path("folder.mp3")).outcome, Outcome::Removed);
    ASSERT_EQ(::symlink("/nonexistent.mp3", QFile::encodeName(Path("broken.mp3")).constData()), 0);
    EXPECT_EQ(ProbeTrack(file_, Path("broken.mp3")).outcome, Outcome::Removed);
}

TEST_F(TrackProbeTest, NonAudioIsInvalidAndLeavesTheObjectClosed) {
    const QString wav = Path("open.wav");
    quillet::test::MakeTone(wav, 4410, 44100, 1, {"-c:a", "pcm_s16le"});
    WriteBytes(Path("text.mp3"), "This is not a song.\n");
    WriteBytes(Path("empty.wav"), {});
    WriteBytes(Path("empty.ogg"), {});
    // A WAV header that announces data it does not have.
    QFile head(wav);
    ASSERT_TRUE(head.open(QIODevice::ReadOnly));
    WriteBytes(Path("header-only.wav"), head.read(44));
    for (const char* name : {"text.mp3", "empty.wav", "empty.ogg", "header-only.wav"}) {
        file_.OpenForRead(wav, 0, 1);  // the probe closes what was open before
        EXPECT_EQ(ProbeTrack(file_, Path(name)).outcome, Outcome::Invalid) << name;
        EXPECT_FALSE(file_.IsOpen()) << name;
    }
    // The input files are never changed.
    QFile text(Path("text.mp3"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(text.readAll(), "This is not a song.\n");
}

TEST_F(TrackProbeTest, LargeNoiseWithAnAudioExtensionIsNotReadWhole) {
    const qsizetype size = 64 << 20;
    const QByteArray noise = RandomBytes(size);
    for (const char* ext : {"mp3", "wav", "ogg", "wma"}) {
        const QString path = Path(QStringLiteral("noise.") + ext);
        WriteBytes(path, noise);
        const qint64 before = BytesReadSoFar();
        EXPECT_EQ(ProbeTrack(file_, path).outcome, Outcome::Invalid) << ext;
        const qint64 read = BytesReadSoFar() - before;
        EXPECT_LT(read, size / 4) << ext << ": validation read " << read << " bytes";
        QFile::remove(path);
    }
}

// FFmpeg's MP3 parser keeps growing its buffer over a long run of zero bytes (ffprobe reads such
// a file whole); our own frame scan must give up long before that.
TEST_F(TrackProbeTest, LargeZeroFilledMp3IsNotReadWhole) {
    const QString path = Path("zeros.mp3");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(qint64{256} << 20));  // sparse: no disk used
    f.close();
    const qint64 before = BytesReadSoFar();
    EXPECT_EQ(ProbeTrack(file_, path).outcome, Outcome::Invalid);
    EXPECT_LT(BytesReadSoFar() - before, qint64{64} << 20);
}
