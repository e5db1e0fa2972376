#include <dirent.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <memory>

#include "editor/PeakBuilder.h"
#include "editor/PeakCache.h"
#include "editor/SampleReader.h"
#include "editor/WaveformPeaks.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::Ffmpeg;
using test::RunTool;

int ThreadCount() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

// Lets queued deliveries in for a while: what a cancelled job might still send would arrive.
void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// sox's own figures for a file: "Maximum amplitude", "RMS     amplitude"... over all channels
// together, after the effects given (remix, trim).
struct SoxStat {
    explicit SoxStat(const QString& path, const QStringList& effects = {}) {
        const test::ToolResult r =
            RunTool("sox", QStringList{path, "-n"} + effects + QStringList{"stat"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        text = r.err;
    }
    double operator()(const char* name) const {
        for (const QByteArray& line : text.split('\n'))
            if (line.startsWith(name)) return line.mid(line.indexOf(':') + 1).trimmed().toDouble();
        ADD_FAILURE() << "sox stat has no " << name;
        return 0.0;
    }
    QByteArray text;
};

struct Outcome {
    bool finished = false;
    QString failure;
    std::vector<qint64> ready;
    bool offThread = false;  // a signal came on a thread other than the builder's
};

Outcome RunBuilder(PeakBuilder& builder, const QString& path, int64_t expected = -1) {
    Outcome out;
    QEventLoop loop;
    QObject guard;
    QObject::connect(&builder, &PeakBuilder::Progress, &guard, [&](qint64 ready, qint64) {
        out.ready.push_back(ready);
        out.offThread |= QThread::currentThread() != builder.thread();
    });
    QObject::connect(&builder, &PeakBuilder::Finished, &guard, [&] {
        out.finished = true;
        loop.quit();
    });
    QObject::connect(&builder, &PeakBuilder::Failed, &guard, [&](const QString& m) {
        out.failure = m;
        loop.quit();
    });
    QTimer::singleShot(180000, &loop, &QEventLoop::quit);
    builder.Start(path, expected);
    loop.exec();
    return out;
}

class Peaks : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        // Left: a sine of amplitude 0.5 with a period of 64 frames (44100 / 64 = 689.0625 Hz),
        // so every 256-frame bucket holds four whole periods and a crest; right: silence.
        Ffmpeg({"-f", "lavfi", "-i", "aevalsrc=0.5*sin(2*PI*689.0625*t)|0:s=44100:d=3", "-c:a",
                "pcm_s16le", Path("sine.wav")});
        // Silence but for one frame of 0.9 at frame 100000 and one of -0.75 at 300001.
        Ffmpeg({"-f", "lavfi", "-i",
                "aevalsrc=if(eq(n\\,100000)\\,0.9\\,if(eq(n\\,300001)\\,-0.75\\,0)):s=44100:d=10",
                "-c:a", "pcm_f32le", Path("clicks.wav")});
        // The sine as MP3, and six minutes of it to have a job that runs for a while.
        Ffmpeg({"-i", Path("sine.wav"), "-c:a", "libmp3lame", "-b:a", "192k", Path("sine.mp3")});
        Ffmpeg({"-f", "lavfi", "-i", "aevalsrc=0.5*sin(2*PI*689.0625*t):s=44100:d=360", "-c:a",
                "libmp3lame", "-b:a", "64k", Path("long.mp3")});
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
        cache_ = std::make_unique<QTemporaryDir>();
        builder_.SetCacheDir(cache_->path() + "/peaks");
    }

    static QString Path(const QString& name) { return dir_->filePath(name); }
    // A copy of a fixture that a test may change or delete.
    QString Copy(const QString& name, const QString& as = QString()) {
        const QString to = cache_->filePath(as.isEmpty() ? "copy-" + name : as);
        EXPECT_TRUE(QFile::copy(Path(name), to));
        return to;
    }
    QString CacheFile(const QString& audio) const {
        return PeakCache(cache_->path() + "/peaks").FileFor(audio);
    }

    static std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QTemporaryDir> cache_;
    PeakBuilder builder_;
};

std::unique_ptr<QTemporaryDir> Peaks::dir_;

constexpr float kStep = 1.0f / 32767;  // one quantisation step of the stored peaks

TEST_F(Peaks, ASineOfAmplitudeHalfAndSilence) {
    const Outcome out = RunBuilder(builder_, Path("sine.wav"));
    ASSERT_TRUE(out.finished) << out.failure.toStdString();
    const WaveformPeaks& p = builder_.Peaks();
    ASSERT_EQ(p.Channels(), 2);
    EXPECT_EQ(p.SampleRate(), 44100);
    ASSERT_EQ(p.Frames(), 132300);
    // 132300 / 256 = 516 whole buckets and one of 204 frames; one level only below 1025.
    ASSERT_EQ(p.BaseBuckets(), 517);
    EXPECT_EQ(p.LevelCount(), 1);
    EXPECT_TRUE(p.Complete());
    for (int64_t b = 0; b < 516; ++b) {
        const PeakValue left = p.At(0, b, 0);
        const PeakValue right = p.At(0, b, 1);
        // Four whole periods: peak 0.5, RMS 0.5 / sqrt(2) = 0.353553.
        ASSERT_NEAR(left.max, 0.5f, 2 * kStep) << b;
        ASSERT_NEAR(left.min, -0.5f, 2 * kStep) << b;
        ASSERT_NEAR(left.rms, 0.353553f, 2e-4f) << b;
        ASSERT_EQ(right.min, 0.0f);
        ASSERT_EQ(right.max, 0.0f);
        ASSERT_EQ(right.rms, 0.0f);
    }
    // The last bucket still holds three whole periods.
    EXPECT_NEAR(p.At(0, 516, 0).max, 0.5f, 2 * kStep);
    // Both channels together over the whole file: RMS sqrt((0.125 + 0) / 2) = 0.25.
    PeakValue all;
    ASSERT_TRUE(p.Summary(0, -1, 0, p.Frames(), all));
    EXPECT_NEAR(all.max, 0.5f, 2 * kStep);
    EXPECT_NEAR(all.rms, 0.25f, 1e-3f);
    EXPECT_FALSE(out.offThread);
    EXPECT_EQ(out.ready.back(), 132300);
}

TEST_F(Peaks, SingleFramesLandInTheirBucketsAtEveryLevel) {
    const Outcome out = RunBuilder(builder_, Path("clicks.wav"));
    ASSERT_TRUE(out.finished) << out.failure.toStdString();
    const WaveformPeaks& p = builder_.Peaks();
    ASSERT_EQ(p.Channels(), 1);
    // 441000 frames: 1723 buckets of 256 frames, 431 of 1024.
    ASSERT_EQ(p.BaseBuckets(), 1723);
    ASSERT_EQ(p.LevelCount(), 2);
    ASSERT_EQ(p.Buckets(1), 431);
    EXPECT_EQ(p.FramesPerBucket(1), 1024);
    // Frame 100000 is in bucket 390 (99840..100095) and 97 (99328..100351); 300001 in 1171
    // (299776..300031) and 292 (299008..300031). One frame of 0.9 among 256 has an RMS of
    // 0.9 / 16 = 0.05625, among 1024 of 0.9 / 32 = 0.028125; -0.75 gives 0.046875, 0.0234375.
    for (int64_t b = 0; b < p.BaseBuckets(); ++b) {
        const PeakValue v = p.At(0, b, 0);
        if (b == 390) {
            EXPECT_NEAR(v.max, 0.9f, kStep);
            EXPECT_EQ(v.min, 0.0f);
            EXPECT_NEAR(v.rms, 0.05625f, kStep);
        } else if (b == 1171) {
            EXPECT_NEAR(v.min, -0.75f, kStep);
            EXPECT_EQ(v.max, 0.0f);
            EXPECT_NEAR(v.rms, 0.046875f, kStep);
        } else {
            ASSERT_EQ(v.max, 0.0f) << b;
            ASSERT_EQ(v.min, 0.0f) << b;
        }
    }
    EXPECT_NEAR(p.At(1, 97, 0).max, 0.9f, kStep);
    EXPECT_NEAR(p.At(1, 97, 0).rms, 0.028125f, 2 * kStep);
    EXPECT_NEAR(p.At(1, 292, 0).min, -0.75f, kStep);
    EXPECT_NEAR(p.At(1, 292, 0).rms, 0.0234375f, 2 * kStep);
    EXPECT_EQ(p.At(1, 96, 0).max, 0.0f);
    EXPECT_EQ(p.At(1, 98, 0).max, 0.0f);
    // A picture of 4000 frames per pixel draws from the 1024-frame level.
    EXPECT_EQ(p.LevelFor(4000), 1);
    EXPECT_EQ(p.LevelFor(1023), 0);
    PeakValue whole;
    ASSERT_TRUE(p.Summary(1, 0, 0, p.Frames(), whole));
    EXPECT_NEAR(whole.max, 0.9f, kStep);
    EXPECT_NEAR(whole.min, -0.75f, kStep);
    PeakValue quiet;
    ASSERT_TRUE(p.Summary(0, 0, 100096, 299776, quiet));
    EXPECT_EQ(quiet.max, 0.0f);
}

TEST_F(Peaks, NoiseAgreesWithSoxOverTheWholeFile) {
    const QString noise = Path("noise.wav");
    ASSERT_EQ(RunTool("sox", {"-n", "-r", "48000", "-c", "2", "-b", "16", noise, "synth", "20",
                              "pinknoise", "vol", "0.4"})
                  .exitCode,
              0);
    const SoxStat field(noise);
    const Outcome out = RunBuilder(builder_, noise);
    ASSERT_TRUE(out.finished) << out.failure.toStdString();
    const WaveformPeaks& p = builder_.Peaks();
    ASSERT_EQ(p.LevelCount(), 2);  // 960000 frames: 3750 buckets, then 938
    PeakValue all;
    ASSERT_TRUE(p.Summary(p.LevelCount() - 1, -1, 0, p.Frames(), all));
    EXPECT_NEAR(all.max, field("Maximum amplitude"), 2 * kStep);
    EXPECT_NEAR(all.min, field("Minimum amplitude"), 2 * kStep);
    // RMS of RMS values of equal buckets is the RMS of the file, but for rounding.
    EXPECT_NEAR(all.rms, field("RMS     amplitude"), 0.002);
}

TEST_F(Peaks, TheMp3DecoderOfTheEngineIsUsed) {
    const Outcome out = RunBuilder(builder_, Path("sine.mp3"));
    ASSERT_TRUE(out.finished) << out.failure.toStdString();
    const WaveformPeaks& p = builder_.Peaks();
    // The LAME tag's delay and padding are removed: the length is the WAV's.
    ASSERT_EQ(p.Frames(), 132300);
    // LAME gives the sine back a little lower than it was (0.343 for 0.354): the oracle is
    // ffmpeg's decoding measured by sox, over buckets 20 to 499 of the left channel.
    const QString decoded = cache_->filePath("sine-decoded.wav");
    Ffmpeg({"-i", Path("sine.mp3"), "-c:a", "pcm_f32le", decoded});
    const SoxStat oracle(decoded, {"remix", "1", "trim", "5120s", "=128000s"});
    PeakValue left;
    ASSERT_TRUE(p.Summary(0, 0, 20 * 256, 500 * 256, left));
    EXPECT_NEAR(left.max, oracle("Maximum amplitude"), 2 * kStep);
    EXPECT_NEAR(left.min, oracle("Minimum amplitude"), 2 * kStep);
    EXPECT_NEAR(left.rms, oracle("RMS     amplitude"), 2e-4);
    PeakValue right;
    ASSERT_TRUE(p.Summary(0, 1, 20 * 256, 500 * 256, right));
    EXPECT_LT(right.max, 0.01f);
}

TEST_F(Peaks, ASecondOpeningComesFromTheCache) {
    const QString wav = Copy("clicks.wav");
    Outcome first = RunBuilder(builder_, wav);
    ASSERT_TRUE(first.finished);
    EXPECT_FALSE(builder_.FromCache());
    ASSERT_TRUE(QFileInfo::exists(CacheFile(wav)));
    const std::vector<int16_t> computed = builder_.Peaks().BaseValues();

    PeakBuilder again;
    again.SetCacheDir(cache_->path() + "/peaks");
    ASSERT_TRUE(RunBuilder(again, wav).finished);
    EXPECT_TRUE(again.FromCache());
    EXPECT_EQ(again.Peaks().BaseValues(), computed);
    EXPECT_EQ(again.Peaks().LevelCount(), 2);
    EXPECT_NEAR(again.Peaks().At(1, 97, 0).max, 0.9f, kStep);

    // A length other than the program's is not trusted.
    ASSERT_TRUE(RunBuilder(again, wav, 441001).finished);
    EXPECT_FALSE(again.FromCache());

    // The cache folder may go at any time.
    ASSERT_TRUE(QDir(cache_->path() + "/peaks").removeRecursively());
    ASSERT_TRUE(RunBuilder(again, wav).finished);
    EXPECT_FALSE(again.FromCache());
    EXPECT_EQ(again.Peaks().BaseValues(), computed);
}

TEST_F(Peaks, ATouchedFileIsReadAgainAndADeletedOneGivesAMessage) {
    const QString wav = Copy("sine.wav");
    ASSERT_TRUE(RunBuilder(builder_, wav).finished);
    ASSERT_TRUE(RunBuilder(builder_, wav).finished);
    ASSERT_TRUE(builder_.FromCache());

    QFile file(wav);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    file.close();
    ASSERT_TRUE(RunBuilder(builder_, wav).finished);
    EXPECT_FALSE(builder_.FromCache());
    // Rewritten for the new time.
    ASSERT_TRUE(RunBuilder(builder_, wav).finished);
    EXPECT_TRUE(builder_.FromCache());

    ASSERT_TRUE(QFile::remove(wav));
    const Outcome gone = RunBuilder(builder_, wav);
    EXPECT_FALSE(gone.finished);
    EXPECT_TRUE(gone.failure.contains("is not there")) << gone.failure.toStdString();
    EXPECT_TRUE(gone.failure.contains(wav)) << gone.failure.toStdString();
    EXPECT_TRUE(builder_.Peaks().Empty());
}

TEST_F(Peaks, ADamagedOrForeignCacheFileIsIgnoredAndReplaced) {
    const QString wav = Copy("clicks.wav");
    ASSERT_TRUE(RunBuilder(builder_, wav).finished);
    const std::vector<int16_t> computed = builder_.Peaks().BaseValues();
    const QString cached = CacheFile(wav);
    QFile f(cached);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();

    QByteArray flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x40);
    QByteArray version = good;
    version[8] = static_cast<char>(version[8] + 1);  // the version field follows the magic
    const QList<QByteArray> damaged{
        flipped,       version,      good.left(good.size() - 9),
        good.left(20), QByteArray(), QByteArray("not a peak file at all\n")};
    for (const QByteArray& bytes : damaged) {
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        ASSERT_TRUE(RunBuilder(builder_, wav).finished);
        EXPECT_FALSE(builder_.FromCache()) << bytes.size();
        EXPECT_EQ(builder_.Peaks().BaseValues(), computed);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), good) << "rebuilt and stored again";
        f.close();
    }

    // Another file's peaks under this file's name are not this file's.
    const QString other = Copy("sine.wav");
    ASSERT_TRUE(RunBuilder(builder_, other).finished);
    ASSERT_TRUE(QFile::remove(cached));
    ASSERT_TRUE(QFile::copy(CacheFile(other), cached));
    ASSERT_TRUE(RunBuilder(builder_, wav).finished);
    EXPECT_FALSE(builder_.FromCache());
    EXPECT_EQ(builder_.Peaks().Channels(), 1);
}

TEST_F(Peaks, ACacheThatCannotBeWrittenOnlyCostsTheNextOpening) {
    // A file where the folder should be: no folder can be made there, whoever runs this.
    const QString blocked = cache_->filePath("blocked");
    QFile block(blocked);
    ASSERT_TRUE(block.open(QIODevice::WriteOnly));
    block.close();
    builder_.SetCacheDir(blocked + "/peaks");
    ASSERT_TRUE(RunBuilder(builder_, Path("sine.wav")).finished);
    EXPECT_TRUE(builder_.Peaks().Complete());
    ASSERT_TRUE(RunBuilder(builder_, Path("sine.wav")).finished);
    EXPECT_FALSE(builder_.FromCache());
}

TEST_F(Peaks, AFileTheDecoderRefusesGivesItsMessage) {
    const QString fake = cache_->filePath("notes.mp3");
    QFile f(fake);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("These are notes, not sound.\n");
    f.close();
    const Outcome out = RunBuilder(builder_, fake);
    EXPECT_FALSE(out.finished);
    EXPECT_TRUE(out.failure.startsWith("The waveform cannot be shown: "))
        << out.failure.toStdString();
    EXPECT_TRUE(out.failure.contains("notes.mp3")) << out.failure.toStdString();
    EXPECT_FALSE(builder_.IsRunning());
}

// The long MP3 takes a while to decode, so the job is surely still running when it has opened.
class PeaksWhileRunning : public Peaks {
  protected:
    // Starts on the file and runs `act` as soon as the file is open; then waits for the end.
    Outcome StartAndThen(const QString& path, const std::function<void()>& act) {
        Outcome out;
        QEventLoop loop;
        QObject guard;
        QObject::connect(&builder_, &PeakBuilder::Started, &guard, [&] {
            act();
            // A cancel ends the job without a word: wait a little for anything late instead.
            if (!builder_.IsRunning()) QTimer::singleShot(300, &loop, &QEventLoop::quit);
        });
        QObject::connect(&builder_, &PeakBuilder::Progress, &guard,
                         [&](qint64 ready, qint64) { out.ready.push_back(ready); });
        QObject::connect(&builder_, &PeakBuilder::Finished, &guard, [&] {
            out.finished = true;
            loop.quit();
        });
        QObject::connect(&builder_, &PeakBuilder::Failed, &guard, [&](const QString& m) {
            out.failure = m;
            loop.quit();
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        builder_.Start(path);
        loop.exec();
        return out;
    }
};

TEST_F(PeaksWhileRunning, ArriveInPiecesAndInOrder) {
    const Outcome out = RunBuilder(builder_, Path("long.mp3"));
    ASSERT_TRUE(out.finished) << out.failure.toStdString();
    ASSERT_GE(out.ready.size(), 3u);
    for (size_t i = 1; i < out.ready.size(); ++i) EXPECT_GE(out.ready[i], out.ready[i - 1]);
    EXPECT_EQ(out.ready.back(), 360 * 44100);
    EXPECT_LT(out.ready.front(), 360 * 44100);
}

TEST_F(PeaksWhileRunning, CancelStopsTheThreadAndNothingFollows) {
    const int threads = ThreadCount();
    bool cancelled = false;
    const Outcome out = StartAndThen(Path("long.mp3"), [&] {
        builder_.Cancel();
        cancelled = true;
        EXPECT_FALSE(builder_.IsRunning());
        EXPECT_LE(ThreadCount(), threads);
    });
    ASSERT_TRUE(cancelled);
    // The loop ended on its guard timer only if something came after the cancel; give late
    // deliveries a chance anyway.
    Settle(200);
    EXPECT_FALSE(out.finished);
    EXPECT_TRUE(out.failure.isEmpty());
    EXPECT_TRUE(out.ready.empty());
    EXPECT_LE(ThreadCount(), threads);
    EXPECT_FALSE(QFileInfo::exists(CacheFile(Path("long.mp3"))));
}

TEST_F(PeaksWhileRunning, DestroyingTheBuilderMidwayLeavesNoThread) {
    const int threads = ThreadCount();
    {
        PeakBuilder doomed;
        doomed.SetCacheDir(cache_->path() + "/peaks");
        QEventLoop loop;
        QObject::connect(&doomed, &PeakBuilder::Progress, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        doomed.Start(Path("long.mp3"));
        loop.exec();
        EXPECT_TRUE(doomed.IsRunning());
        EXPECT_GT(ThreadCount(), threads);
    }
    // Other threads of the process (a finished tool's) may have gone meanwhile; none came.
    EXPECT_LE(ThreadCount(), threads);
    Settle(100);
}

TEST_F(PeaksWhileRunning, AFileThatChangesOrGoesWhileReadEndsWithAMessage) {
    const QString changing = Copy("long.mp3");
    const Outcome changed = StartAndThen(changing, [&] {
        QFile f(changing);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(4096, '\0'));
    });
    EXPECT_FALSE(changed.finished);
    EXPECT_TRUE(changed.failure.contains("the file changed while it was read"))
        << changed.failure.toStdString();
    EXPECT_FALSE(QFileInfo::exists(CacheFile(changing)));
    EXPECT_TRUE(builder_.Peaks().Empty());

    const QString going = Copy("long.mp3", "going.mp3");
    const Outcome gone = StartAndThen(going, [&] { ASSERT_TRUE(QFile::remove(going)); });
    EXPECT_FALSE(gone.finished);
    EXPECT_TRUE(gone.failure.contains("the file was removed while it was read"))
        << gone.failure.toStdString();
    EXPECT_FALSE(builder_.IsRunning());
}

TEST(PeakMemory, ASixtyMinuteStereoFileTakesTenMegabytes) {
    // 158,760,000 frames: 620,157 buckets, then 155,040, 38,760, 9,690, 2,423 and 606; 826,676
    // buckets of 2 channels x 3 values x 2 bytes = 9,920,112 bytes.
    const WaveformPeaks p(2, 44100, int64_t{60} * 60 * 44100);
    EXPECT_EQ(p.BaseBuckets(), 620157);
    EXPECT_EQ(p.LevelCount(), 6);
    EXPECT_EQ(p.Buckets(5), 606);
    EXPECT_EQ(p.MemoryBytes(), 9920112u);
}

// ---- Samples for the closest zoom ----

class Samples : public Peaks {
  protected:
    bool WaitFor(SampleReader& reader, QString* failure = nullptr) {
        QEventLoop loop;
        bool ready = false;
        QObject guard;
        QObject::connect(&reader, &SampleReader::Ready, &guard, [&] {
            ready = true;
            loop.quit();
        });
        QObject::connect(&reader, &SampleReader::Failed, &guard, [&](const QString& m) {
            if (failure) *failure = m;
            loop.quit();
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        return ready;
    }
};

TEST_F(Samples, AreTheFilesOwnAtThatPlace) {
    const std::vector<float> oracle = test::DecodeWithFfmpeg(Path("sine.wav"));
    ASSERT_EQ(oracle.size(), 132300u * 2);
    SampleReader reader;
    reader.Open(Path("sine.wav"));
    // Later requests replace earlier ones that have not been read.
    reader.Request(0, 10);
    reader.Request(55125, 300);
    ASSERT_TRUE(WaitFor(reader));
    while (reader.First() != 55125) ASSERT_TRUE(WaitFor(reader));
    ASSERT_EQ(reader.Channels(), 2);
    ASSERT_EQ(reader.Count(), 300);
    EXPECT_TRUE(reader.Covers(55200, 55425));
    EXPECT_FALSE(reader.Covers(55000, 55200));
    for (int64_t i = 0; i < 600; ++i)
        ASSERT_NEAR(reader.Samples()[i], oracle[55125 * 2 + i], 1e-6f) << i;
    // Cut at the end of the file.
    reader.Request(132200, 500);
    ASSERT_TRUE(WaitFor(reader));
    EXPECT_EQ(reader.Count(), 100);
}

TEST_F(Samples, AFileThatGoesOrChangesGivesAMessage) {
    const QString wav = Copy("sine.wav");
    SampleReader reader;
    reader.Open(wav);
    reader.Request(0, 100);
    ASSERT_TRUE(WaitFor(reader));
    QFile f(wav);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("x");
    f.close();
    QString failure;
    reader.Request(100, 100);
    EXPECT_FALSE(WaitFor(reader, &failure));
    EXPECT_TRUE(failure.contains("has changed since it was opened")) << failure.toStdString();
    EXPECT_FALSE(reader.IsOpen());

    ASSERT_TRUE(QFile::remove(wav));
    reader.Open(wav);
    reader.Request(0, 100);
    EXPECT_FALSE(WaitFor(reader, &failure));
    EXPECT_TRUE(failure.contains("is not there any more")) << failure.toStdString();
}

}  // namespace
}  // namespace quillet
